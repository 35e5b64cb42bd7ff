// The fields of a table and where each one sits in a record.
//
// A record is laid out as
//
//   OFFSET  SIZE  DESCRIPTION
//        0     1  state: 0 live, 1 deleted
//        1     B  null bitmap, B = ceil(field count / 8); bit (i % 8) of byte
//                 i / 8 set means field i is NULL
//      1+B   ...  the fields in declaration order, each at its fixed length
//
// so the layout follows from the field list alone; a stored table must match
// it exactly, which is how damaged descriptors are recognised.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record/FieldTypes.h"
#include "engine/util/EngineError.h"

namespace engine {

struct FieldInfo {
  std::string Name;
  FieldType Type = FieldType::Character;
  uint32_t Length = 0;  // bytes in the record
  uint32_t Offset = 0;  // from the start of the record
};

class TableSchema {
 public:
  TableSchema() = default;

  // Lays out `fields`; an error (8109, 8110) names the first field that is not
  // sound: a bad or repeated name (names are compared ignoring case), a
  // character length outside 1..65000, too many fields, a record too long.
  static Result<TableSchema> Make(const std::vector<FieldDef>& fields);

  size_t FieldCount() const { return fields_.size(); }
  const FieldInfo& Field(size_t index) const { return fields_[index]; }
  const std::vector<FieldInfo>& Fields() const { return fields_; }
  std::vector<FieldDef> Definitions() const;

  // The index of the field named `name` ignoring ASCII case.
  std::optional<size_t> FindField(std::string_view name) const;

  uint32_t RecordLength() const { return record_length_; }
  uint32_t NullBitmapSize() const { return null_bitmap_size_; }

 private:
  std::vector<FieldInfo> fields_;
  uint32_t record_length_ = 0;
  uint32_t null_bitmap_size_ = 0;
};

}  // namespace engine
