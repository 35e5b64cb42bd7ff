#include "Csv.h"

#include <cerrno>
#include <cstring>

namespace dbtool {

namespace {

constexpr size_t kBlock = 1u << 20;

}  // namespace

CsvReader::CsvReader(std::FILE* file) : file_(file), buffer_(kBlock) {}

bool CsvReader::Refill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  const size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
  if (n == 0) {
    eof_ = true;
    if (std::ferror(file_)) error_ = std::string("cannot read the input: ") + std::strerror(errno);
    return false;
  }
  end_ += n;
  bytes_read_ += n;
  return true;
}

bool CsvReader::Fail(const std::string& what) {
  error_ = "line " + std::to_string(line_) + ": " + what;
  return false;
}

bool CsvReader::Next(CsvRecord& record) {
  record.Text.clear();
  record.Cells.clear();
  record.Line = line_;
  if (!error_.empty()) return false;
  if (pos_ == end_ && !Refill()) return false;  // the end of the input: no record

  CsvRecord::Cell cell;
  bool in_quotes = false;
  bool after_quote = false;  // a quoted cell closed; only "," or a line break may follow
  auto finish_cell = [&] {
    cell.Length = record.Text.size() - cell.Offset;
    record.Cells.push_back(cell);
    cell = CsvRecord::Cell{record.Text.size(), 0, false};
    after_quote = false;
  };
  while (true) {
    if (pos_ == end_ && !Refill()) {
      if (!error_.empty()) return false;
      if (in_quotes) return Fail("a quoted cell is not closed before the end of the input");
      finish_cell();
      return true;
    }
    const char c = buffer_[pos_];
    if (in_quotes) {
      if (c == '"') {
        if (pos_ + 1 == end_ && !Refill()) {
          if (!error_.empty()) return false;
          ++pos_;
          in_quotes = false;
          after_quote = true;
          continue;
        }
        if (buffer_[pos_ + 1] == '"') {
          record.Text.push_back('"');
          pos_ += 2;
        } else {
          ++pos_;
          in_quotes = false;
          after_quote = true;
        }
        continue;
      }
      if (c == '\n') ++line_;
      record.Text.push_back(c);
      ++pos_;
      continue;
    }
    switch (c) {
      case ',':
        ++pos_;
        finish_cell();
        continue;
      case '\n':
        ++pos_;
        ++line_;
        finish_cell();
        return true;
      case '\r':
        if (pos_ + 1 == end_) Refill();
        if (pos_ + 1 < end_ && buffer_[pos_ + 1] == '\n') {
          pos_ += 2;
          ++line_;
          finish_cell();
          return true;
        }
        return Fail("a CR that does not end a line");
      case '"':
        if (after_quote || record.Text.size() != cell.Offset)
          return Fail("a quote inside a cell that is not quoted");
        cell.Quoted = true;
        in_quotes = true;
        ++pos_;
        continue;
      default:
        if (after_quote) return Fail("text after the closing quote of a cell");
        // The common case: copy the rest of a plain cell at once.
        size_t stop = pos_;
        while (stop < end_ && buffer_[stop] != ',' && buffer_[stop] != '\n' &&
               buffer_[stop] != '\r' && buffer_[stop] != '"') {
          ++stop;
        }
        record.Text.append(buffer_.data() + pos_, stop - pos_);
        pos_ = stop;
        continue;
    }
  }
}

void AppendCsvText(std::string& out, std::string_view text) {
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(text);
    return;
  }
  out.push_back('"');
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace dbtool
