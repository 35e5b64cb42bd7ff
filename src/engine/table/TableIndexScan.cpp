#include "engine/table/TableIndexScan.h"

#include "engine/record/DateValue.h"
#include "engine/record/ValueText.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/LastError.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

Result<std::unique_ptr<TableIndexScan>> TableIndexScan::Open(const Table& table,
                                                             std::string_view tag) {
  auto indexes = table.Indexes();
  if (!indexes.ok()) return indexes.status();
  const IndexTagInfo* info = *indexes ? (*indexes)->FindTag(tag) : nullptr;
  if (!info) {
    return NoteError(Status(AE_INDEX_TAG_NOT_FOUND,
                            "Table \"" + table.Name() + "\" has no index " + std::string(tag)));
  }
  if (info->Kind != IndexTagKind::BTree) {
    return NoteError(Status(AE_INDEX_TAG_KIND, "The index " + info->Name + " of table \"" +
                                                   table.Name() + "\" cannot be walked in order"));
  }
  return std::unique_ptr<TableIndexScan>(new TableIndexScan(table, *indexes, *info));
}

TableIndexScan::TableIndexScan(const Table& table, std::shared_ptr<const IndexFile> file,
                               const IndexTagInfo& tag)
    : table_(table), file_(std::move(file)), tag_(&tag), cursor_(*file_, tag) {}

Status TableIndexScan::SettleOnLive(Status moved) {
  Status status = std::move(moved);
  while (status.ok() && !cursor_.Eof()) {
    const uint32_t recno = cursor_.RecordNumber();
    if (recno < 1 || recno > table_.RecordCount()) {
      return NoteError(Status(AE_INDEX_CORRUPT, "The index " + tag_->Name + " of table \"" +
                                                    table_.Name() + "\" points at record " +
                                                    std::to_string(recno) +
                                                    ", which the table lacks"));
    }
    status = table_.ReadRecord(recno, record_);
    if (!status.ok()) break;
    if (record_[0] == kRecordLive) return Status::Ok();
    if (record_[0] != kRecordDeleted) {
      return NoteError(Status(AE_RECORD_DAMAGED, "Record " + std::to_string(recno) + " of \"" +
                                                     table_.Path() + "\" is damaged"));
    }
    status = cursor_.Next();
  }
  return NoteError(status);
}

Status TableIndexScan::First() {
  return SettleOnLive(cursor_.First());
}

Status TableIndexScan::Seek(std::span<const KeyValue> values) {
  return SettleOnLive(cursor_.Seek(values));
}

Status TableIndexScan::Next() {
  if (cursor_.Eof()) return Status::Ok();
  return SettleOnLive(cursor_.Next());
}

Status TableIndexScan::SeekText(std::string_view text) {
  const std::vector<KeyPart>& parts = tag_->Key.Parts();
  std::vector<std::string_view> texts;
  while (true) {
    const size_t semicolon = text.find(';');
    texts.push_back(text.substr(0, semicolon));
    if (semicolon == std::string_view::npos) break;
    text.remove_prefix(semicolon + 1);
  }
  if (texts.size() > parts.size()) {
    return NoteError(Status(AE_INDEX_BAD_KEY_VALUE,
                            "The index " + tag_->Name + " has " + std::to_string(parts.size()) +
                                " key parts, not " + std::to_string(texts.size())));
  }
  std::vector<KeyValue> values;
  for (size_t i = 0; i < texts.size(); ++i) {
    const KeyPart& part = parts[i];
    const std::string_view value = texts[i];
    const auto bad = [&](const char* what) {
      std::string message(1, '"');  // appended, not prepended: see Table.cpp
      message.append(value).append("\" is not ").append(what).append(" for the key part ");
      return NoteError(Status(AE_INDEX_BAD_KEY_VALUE, message + part.FieldName));
    };
    if (part.Type == KeyPartType::Character) {
      values.push_back(KeyValue::Char(value));
      continue;
    }
    if (value.empty()) {
      values.push_back(KeyValue::Null(part.Type));
      continue;
    }
    switch (part.Type) {
      case KeyPartType::Integer: {
        int32_t number = 0;
        if (!ParseInteger(value, number)) return bad("an integer");
        values.push_back(KeyValue::Integer(number));
        break;
      }
      case KeyPartType::Double: {
        double number = 0;
        if (!ParseDouble(value, number)) return bad("a number");
        values.push_back(KeyValue::Number(number));
        break;
      }
      case KeyPartType::Date: {
        const auto day = ParseIsoDate(value);
        if (!day) return bad("a date (YYYY-MM-DD)");
        values.push_back(KeyValue::Date(*day));
        break;
      }
      case KeyPartType::Logical: {
        bool flag = false;
        if (!ParseLogical(value, flag)) return bad("a logical (T or F)");
        values.push_back(KeyValue::Logical(flag));
        break;
      }
      case KeyPartType::Character:
        break;
    }
  }
  return Seek(values);
}

}  // namespace engine
