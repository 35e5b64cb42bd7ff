// CSV as dbtool reads and writes it: cells separated by commas, records by
// LF or CR LF; a cell in double quotes may hold commas, quotes (written
// twice) and line breaks. Whether a cell was quoted is kept, because an
// empty unquoted cell is NULL and "" is the empty text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace dbtool {

struct CsvRecord {
  struct Cell {
    size_t Offset = 0;  // into Text
    size_t Length = 0;
    bool Quoted = false;
  };
  std::string Text;  // the cells' texts, quotes undone, one after another
  std::vector<Cell> Cells;
  uint64_t Line = 0;  // the line the record starts on, from 1

  size_t Size() const { return Cells.size(); }
  std::string_view CellText(size_t i) const {
    return std::string_view(Text).substr(Cells[i].Offset, Cells[i].Length);
  }
  bool IsQuoted(size_t i) const { return Cells[i].Quoted; }
};

class CsvReader {
 public:
  // Reads from `file` (not closed here), in large blocks.
  explicit CsvReader(std::FILE* file);

  // The next record; false at the end of the input or on an error (then
  // Error() says what and where).
  bool Next(CsvRecord& record);
  const std::string& Error() const { return error_; }
  uint64_t BytesRead() const { return bytes_read_; }

 private:
  bool Refill();
  bool Fail(const std::string& what);

  std::FILE* file_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  uint64_t line_ = 1;
  uint64_t bytes_read_ = 0;
  std::string error_;
};

// Appends `text` as one CSV cell: quoted when it must be (an empty text, or
// a comma, quote, CR or LF inside), as it is otherwise.
void AppendCsvText(std::string& out, std::string_view text);

}  // namespace dbtool
