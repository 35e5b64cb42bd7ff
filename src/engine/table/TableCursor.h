// Record-by-record reading of an open table, optionally through a filter:
// first / next / last / prior, a record by number, the current record
// number, and field values as text by field name. Deleted records are never
// visited.
//
// Where the cursor stands:
//   on a record      RecNo() > 0, Bof() and Eof() false;
//   past the end     Eof(): Next() went past the last record, or the cursor
//                    is new or its filter was just changed;
//   before the start Bof(): Prior() went before the first record;
//   nothing to show  Bof() and Eof() both: First() or Last() found no record,
//                    or the table is encrypted and its password not enabled
//                    (every move then answers 8334 and stays here).
// Forward moves read many records per system call; backward moves read one
// record at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/ConditionEval.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"

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
  Status Next();  // from before the start: the first record
  Status Last();
  Status Prior();  // from past the end: the last record

  // Places the cursor on record `recno`, which must be live and pass the
  // filter (8123 for a number outside the table, 8124 otherwise; the cursor
  // then stays where it was).
  Status GoTo(uint32_t recno);

  // Reads the current record again from the file (nothing when the cursor
  // is not on a record). A record deleted meanwhile moves the cursor on to
  // the next one.
  Status Refresh();

  // Leaves the current record: nothing to show (both ends). The table does
  // this when its password is disabled.
  void Park();

  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  uint32_t RecNo() const { return recno_; }

  // The current record's field `name` (ignoring case) as text (ValueText.h):
  // the empty text when the field is NULL, which IsNull tells apart from an
  // empty character value.
  Result<std::string> FieldText(std::string_view name) const;
  Result<bool> IsNull(std::string_view name) const;

  // REQUIRES: RecNo() > 0.
  RecordView Record() const { return RecordView(table_->Schema(), current_); }

  // The records the filter lets through, counted by a scan of their own.
  Result<uint32_t> CountMatching() const;

 private:
  bool Admits(const uint8_t* record) const;
  // Park() and the table's 8334, when its password is not enabled.
  Status Locked();
  // Forward from record `from` on; backward from record `from` down.
  Status ScanForward(uint32_t from);
  Status ScanBackward(uint32_t from);
  void Land(uint32_t recno, const uint8_t* record);
  Result<size_t> CurrentField(std::string_view name) const;

  const Table* table_;
  TableScanner scanner_;
  std::vector<uint8_t> single_;  // a record read on its own (backward moves, GoTo)
  std::optional<CompiledCondition> filter_;
  std::string filter_text_;
  uint32_t recno_ = 0;  // the current record, 0 when not on one
  const uint8_t* current_ = nullptr;
  bool bof_ = false;
  bool eof_ = true;
};

}  // namespace engine
