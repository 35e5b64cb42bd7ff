#include "engine/TableCursor.h"

#include "engine/EngineApi.h"
#include "engine/TableErrorCodes.h"
#include "engine/ValueText.h"

namespace engine {

TableCursor::TableCursor(const Table& table) : table_(&table), scanner_(table.Scan()) {}

Status TableCursor::SetFilter(std::string_view text) {
  positioned_ = false;
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

Status TableCursor::First() {
  scanner_.Reset(1);
  return Advance();
}

Status TableCursor::Next() {
  if (!positioned_) return Status::Ok();
  return Advance();
}

Status TableCursor::Advance() {
  positioned_ = false;
  while (scanner_.Next()) {
    if (!filter_ || filter_->Matches(scanner_.Record())) {
      positioned_ = true;
      return Status::Ok();
    }
  }
  return NoteError(scanner_.status());
}

Result<size_t> TableCursor::CurrentField(std::string_view name) const {
  const auto field = table_->Schema().FindField(name);
  if (!field) {
    return NoteError(Status(AE_FIELD_NOT_FOUND, "Table \"" + table_->Name() + "\" has no field \"" +
                                                    std::string(name) + "\""));
  }
  if (!positioned_) {
    return NoteError(
        Status(AE_NO_CURRENT_RECORD,
               "Table \"" + table_->Name() + "\" is at end of data: there is no current record"));
  }
  return *field;
}

Result<std::string> TableCursor::FieldText(std::string_view name) const {
  auto field = CurrentField(name);
  if (!field) return field.status();
  return engine::FieldText(scanner_.Record(), *field);
}

Result<bool> TableCursor::IsNull(std::string_view name) const {
  auto field = CurrentField(name);
  if (!field) return field.status();
  return scanner_.Record().IsNull(*field);
}

Result<uint32_t> TableCursor::CountMatching() const {
  TableScanner scanner = table_->Scan();
  uint32_t count = 0;
  while (scanner.Next()) {
    if (!filter_ || filter_->Matches(scanner.Record())) ++count;
  }
  if (!scanner.status()) return NoteError(scanner.status());
  return count;
}

}  // namespace engine
