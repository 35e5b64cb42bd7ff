#include "engine/table/TableCursor.h"

#include "engine/record/ValueText.h"
#include "engine/util/LastError.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

TableCursor::TableCursor(const Table& table) : table_(&table), scanner_(table.Scan()) {
  if (table.NeedsPassword()) Park();
}

void TableCursor::Park() {
  recno_ = 0;
  current_ = nullptr;
  single_.clear();
  bof_ = eof_ = true;
}

Status TableCursor::Locked() {
  Park();
  return NoteError(table_->PasswordNotEnabled());
}

Status TableCursor::SetFilter(std::string_view text) {
  recno_ = 0;
  current_ = nullptr;
  bof_ = table_->NeedsPassword();  // a locked table stays at both ends
  eof_ = true;
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    filter_.reset();
    filter_text_.clear();
    return Status::Ok();
  }
  auto compiled = CompileCondition(text, table_->Schema(), table_->Environment().Chars);
  if (!compiled) return NoteError(compiled.status());
  filter_.emplace(std::move(compiled.value()));
  filter_text_ = std::string(text);
  return Status::Ok();
}

bool TableCursor::Admits(const uint8_t* record) const {
  return !filter_ || filter_->Matches(RecordView(table_->Schema(), record));
}

void TableCursor::Land(uint32_t recno, const uint8_t* record) {
  recno_ = recno;
  current_ = record;
  bof_ = eof_ = false;
}

Status TableCursor::ScanForward(uint32_t from) {
  scanner_.Reset(from);
  while (scanner_.Next()) {
    if (Admits(scanner_.Record().Bytes())) {
      Land(scanner_.RecNo(), scanner_.Record().Bytes());
      return Status::Ok();
    }
  }
  recno_ = 0;
  current_ = nullptr;
  eof_ = true;
  return NoteError(scanner_.status());
}

Status TableCursor::ScanBackward(uint32_t from) {
  for (uint32_t recno = std::min(from, table_->RecordCount()); recno >= 1; --recno) {
    if (Status s = table_->ReadRecord(recno, single_); !s) return s;
    if (single_[0] == kRecordDeleted) continue;
    if (single_[0] != kRecordLive) {
      return NoteError(Status(AE_RECORD_DAMAGED, "Record " + std::to_string(recno) + " of \"" +
                                                     table_->Path() + "\" is damaged"));
    }
    if (Admits(single_.data())) {
      Land(recno, single_.data());
      return Status::Ok();
    }
  }
  recno_ = 0;
  current_ = nullptr;
  bof_ = true;
  return Status::Ok();
}

Status TableCursor::First() {
  if (table_->NeedsPassword()) return Locked();
  Status status = ScanForward(1);
  if (recno_ == 0) bof_ = eof_ = true;
  return status;
}

Status TableCursor::Last() {
  if (table_->NeedsPassword()) return Locked();
  Status status = ScanBackward(table_->RecordCount());
  if (recno_ == 0) bof_ = eof_ = true;
  return status;
}

Status TableCursor::Next() {
  if (table_->NeedsPassword()) return Locked();
  if (recno_ == 0) return bof_ && !eof_ ? First() : Status::Ok();
  return ScanForward(recno_ + 1);
}

Status TableCursor::Prior() {
  if (table_->NeedsPassword()) return Locked();
  if (recno_ == 0) return eof_ && !bof_ ? Last() : Status::Ok();
  if (recno_ == 1) {
    recno_ = 0;
    current_ = nullptr;
    bof_ = true;
    return Status::Ok();
  }
  return ScanBackward(recno_ - 1);
}

Status TableCursor::GoTo(uint32_t recno) {
  if (table_->NeedsPassword()) return Locked();
  std::vector<uint8_t> record;
  if (Status s = table_->ReadRecord(recno, record); !s) return s;
  if (record[0] != kRecordLive || !Admits(record.data())) {
    return NoteError(
        Status(AE_NO_CURRENT_RECORD, "Record " + std::to_string(recno) + " of table \"" +
                                         table_->Name() + "\" is " +
                                         (record[0] != kRecordLive ? "deleted" : "filtered out")));
  }
  single_ = std::move(record);
  Land(recno, single_.data());
  return Status::Ok();
}

Status TableCursor::Refresh() {
  if (table_->NeedsPassword()) return Locked();
  if (recno_ == 0) return Status::Ok();
  const uint32_t recno = recno_;
  std::vector<uint8_t> record;
  if (Status s = table_->ReadRecord(recno, record); !s) return s;
  if (record[0] == kRecordLive && Admits(record.data())) {
    single_ = std::move(record);
    Land(recno, single_.data());
    return Status::Ok();
  }
  return ScanForward(recno + 1);
}

Result<size_t> TableCursor::CurrentField(std::string_view name) const {
  const auto field = table_->Schema().FindField(name);
  if (!field) {
    return NoteError(Status(AE_FIELD_NOT_FOUND, "Table \"" + table_->Name() + "\" has no field \"" +
                                                    std::string(name) + "\""));
  }
  if (table_->NeedsPassword()) return NoteError(table_->PasswordNotEnabled());
  if (recno_ == 0) {
    return NoteError(Status(AE_NO_CURRENT_RECORD, "Table \"" + table_->Name() + "\" is at " +
                                                      (bof_ && !eof_ ? "the start" : "end") +
                                                      " of data: there is no current record"));
  }
  return *field;
}

Result<std::string> TableCursor::FieldText(std::string_view name) const {
  auto field = CurrentField(name);
  if (!field) return field.status();
  return engine::FieldText(Record(), *field);
}

Result<bool> TableCursor::IsNull(std::string_view name) const {
  auto field = CurrentField(name);
  if (!field) return field.status();
  return Record().IsNull(*field);
}

Result<uint32_t> TableCursor::CountMatching() const {
  TableScanner scanner = table_->Scan();
  uint32_t count = 0;
  while (scanner.Next()) {
    if (Admits(scanner.Record().Bytes())) ++count;
  }
  if (!scanner.status()) return NoteError(scanner.status());
  return count;
}

}  // namespace engine
