#include "engine/record/TableSchema.h"

#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"

namespace engine {

Result<TableSchema> TableSchema::Make(const std::vector<FieldDef>& fields) {
  if (fields.empty()) return Status(AE_INVALID_FIELD, "A table needs at least one field");
  if (fields.size() > kMaxFieldCount) {
    return Status(AE_RECORD_TOO_LONG, "A table holds at most " + std::to_string(kMaxFieldCount) +
                                          " fields, not " + std::to_string(fields.size()));
  }
  TableSchema schema;
  schema.null_bitmap_size_ = static_cast<uint32_t>((fields.size() + 7) / 8);
  uint64_t offset = 1 + schema.null_bitmap_size_;
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& def = fields[i];
    if (!IsValidFieldName(def.Name)) {
      return Status(AE_INVALID_FIELD,
                    "Field " + std::to_string(i + 1) + ": \"" + def.Name +
                        "\" is not a valid field name (1 to 128 letters, digits or _, "
                        "not starting with a digit)");
    }
    for (size_t j = 0; j < i; ++j) {
      if (EqualsIgnoringCase(fields[j].Name, def.Name)) {
        return Status(AE_INVALID_FIELD, "Field name \"" + def.Name + "\" is used twice");
      }
    }
    if (def.Type == FieldType::Character && (def.Length < 1 || def.Length > kMaxCharacterLength)) {
      return Status(AE_INVALID_FIELD, "Field \"" + def.Name + "\": a character field is 1 to " +
                                          std::to_string(kMaxCharacterLength) +
                                          " bytes long, not " + std::to_string(def.Length));
    }
    if (!TypeFromCode(static_cast<uint8_t>(def.Type))) {
      return Status(AE_INVALID_FIELD, "Field \"" + def.Name + "\" has an unknown type");
    }
    FieldInfo info{def.Name, def.Type, StorageLength(def.Type, def.Length),
                   static_cast<uint32_t>(offset)};
    offset += info.Length;
    if (offset > kMaxRecordLength) {
      return Status(AE_RECORD_TOO_LONG, "Field \"" + def.Name + "\" makes the record longer than " +
                                            std::to_string(kMaxRecordLength) + " bytes");
    }
    schema.fields_.push_back(std::move(info));
  }
  schema.record_length_ = static_cast<uint32_t>(offset);
  return schema;
}

std::vector<FieldDef> TableSchema::Definitions() const {
  std::vector<FieldDef> defs;
  defs.reserve(fields_.size());
  for (const FieldInfo& f : fields_)
    defs.push_back(FieldDef{f.Name, f.Type, f.Type == FieldType::Character ? f.Length : 0});
  return defs;
}

std::optional<size_t> TableSchema::FindField(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (EqualsIgnoringCase(fields_[i].Name, name)) return i;
  }
  return std::nullopt;
}

}  // namespace engine
