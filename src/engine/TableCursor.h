// Record-by-record reading of an open table, optionally through a filter:
// first / next / end of data, the current record number, and field values
// as text by field name. Deleted records are never visited.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/ConditionEval.h"
#include "engine/EngineError.h"
#include "engine/Table.h"

namespace engine {

class TableCursor {
 public:
  // REQUIRES: `table` outlives the cursor. The cursor starts at end of data
  // until First() is called.
  explicit TableCursor(const Table& table);

  // Sets the filter condition (Condition.h); an empty or blank text clears
  // it. A bad condition is an error and leaves the previous filter in force.
  // Either way the cursor is at end of data until First().
  Status SetFilter(std::string_view text);
  const std::string& Filter() const { return filter_text_; }

  Status First();
  Status Next();
  bool Eof() const { return !positioned_; }
  uint32_t RecNo() const { return positioned_ ? scanner_.RecNo() : 0; }

  // The current record's field `name` (ignoring case) as text (ValueText.h):
  // the empty text when the field is NULL, which IsNull tells apart from an
  // empty character value.
  Result<std::string> FieldText(std::string_view name) const;
  Result<bool> IsNull(std::string_view name) const;

  // REQUIRES: !Eof().
  RecordView Record() const { return scanner_.Record(); }

  // The records the filter lets through, counted by a scan of their own.
  Result<uint32_t> CountMatching() const;

 private:
  Status Advance();
  Result<size_t> CurrentField(std::string_view name) const;

  const Table* table_;
  TableScanner scanner_;
  std::optional<CompiledCondition> filter_;
  std::string filter_text_;
  bool positioned_ = false;
};

}  // namespace engine
