// Reading a table in the order of one of its index tags: from the first key,
// or from the first key at or after given values, giving live records only.
//
// The scan holds the index file it started with, so it stays sound while it
// lives even if the table's index file is rewritten meanwhile (it then shows
// the tag as it was). Each record is read from the table as the scan comes
// to it; a record deleted since the tag was built is skipped.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index/IndexFile.h"
#include "engine/record/Record.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"

namespace engine {

class TableIndexScan {
 public:
  // A scan of the tag `tag` (its name, without regard to case) of `table`,
  // before its first entry until First() or Seek(). Errors: 8208 when the
  // table has no such tag (or no index file), those of reading the file.
  // REQUIRES: `table` outlives the scan.
  static Result<std::unique_ptr<TableIndexScan>> Open(const Table& table, std::string_view tag);

  const IndexTagInfo& Tag() const { return *tag_; }

  Status First();
  // The first entry at or after `values` (the leading key parts) in the
  // tag's order.
  Status Seek(std::span<const KeyValue> values);
  // The same with the values as texts separated by ";" ("Smith;Ann" for
  // LASTNAME;FIRSTNAME), each read as a value of its key part's type:
  // characters as they stand, integers and doubles as decimal numbers,
  // dates YYYY-MM-DD, logicals T or F. An empty text is the empty character
  // value, or NULL for a part of another type.
  Status SeekText(std::string_view values);
  Status Next();

  bool Eof() const { return cursor_.Eof(); }
  uint32_t RecNo() const { return cursor_.RecordNumber(); }  // REQUIRES: !Eof()
  RecordView Record() const { return RecordView(table_.Schema(), record_.data()); }

 private:
  TableIndexScan(const Table& table, std::shared_ptr<const IndexFile> file,
                 const IndexTagInfo& tag);
  // Moves on from the cursor's entry to the first one whose record is live.
  Status SettleOnLive(Status moved);

  const Table& table_;
  std::shared_ptr<const IndexFile> file_;
  const IndexTagInfo* tag_;
  TagCursor cursor_;
  std::vector<uint8_t> record_;
};

}  // namespace engine
