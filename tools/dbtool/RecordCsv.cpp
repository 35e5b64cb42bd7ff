#include "RecordCsv.h"

#include "Csv.h"
#include "FieldSpec.h"
#include "engine/record/ValueText.h"

namespace dbtool {

namespace {

constexpr size_t kFlushAt = 1u << 20;

bool Write(std::FILE* to, const std::string& bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), to) == bytes.size();
}

}  // namespace

RecordCsvWriter::RecordCsvWriter(std::FILE* to, const engine::TableSchema& schema, bool crlf)
    : to_(to), schema_(schema), line_end_(crlf ? "\r\n" : "\n") {}

bool RecordCsvWriter::WriteHeader() {
  for (size_t i = 0; i < schema_.FieldCount(); ++i) {
    if (i) out_.push_back(',');
    out_ += FieldSpecText(schema_.Field(i));
  }
  out_ += line_end_;
  return FlushIfFull();
}

bool RecordCsvWriter::WriteRecord(const engine::RecordView& record) {
  for (size_t i = 0; i < schema_.FieldCount(); ++i) {
    if (i) out_.push_back(',');
    if (record.IsNull(i)) continue;
    if (schema_.Field(i).Type == engine::FieldType::Character) {
      AppendCsvText(out_, record.TrimmedChars(i));
    } else {
      engine::AppendFieldText(out_, record, i);
    }
  }
  out_ += line_end_;
  return FlushIfFull();
}

bool RecordCsvWriter::FlushIfFull() {
  if (out_.size() < kFlushAt) return true;
  const bool written = Write(to_, out_);
  out_.clear();
  return written;
}

bool RecordCsvWriter::Finish() {
  const bool written = Write(to_, out_);
  out_.clear();
  return written && std::fflush(to_) == 0;
}

}  // namespace dbtool
