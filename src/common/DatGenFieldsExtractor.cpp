#include "common/DatGenFieldsExtractor.h"

#include "common/DatGenStringsFunctions.h"

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

size_t SkipBlanks(const std::string& text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

}  // namespace

void TFieldsExtractor::SetDelimiters(const std::string& quote, const std::string& separator) {
  QuoteChar = quote;
  SeparatorChar = separator;
  OnField = nullptr;
}

void TFieldsExtractor::ExtractFieldsFromRec(const std::string& record) {
  if (QuoteChar.empty() || SeparatorChar.empty()) return;
  const char quote = QuoteChar[0];
  const char separator = SeparatorChar[0];
  const std::string line = Trim(record);

  // Whether the quote at `k` closes the field that is open.
  auto closes_field = [&](size_t k) {
    size_t after = SkipBlanks(line, k + 1);
    if (after >= line.size()) return true;
    if (line[after] != separator) return false;
    after = SkipBlanks(line, after + 1);
    return after >= line.size() || line[after] == quote;
  };

  int field_number = 1;
  size_t pos = 0;
  while (pos < line.size()) {
    const size_t open = line.find(quote, pos);
    if (open == std::string::npos) return;
    size_t close = std::string::npos;
    for (size_t k = line.find(quote, open + 1); k != std::string::npos;
         k = line.find(quote, k + 1)) {
      if (closes_field(k)) {
        close = k;
        break;
      }
    }
    if (close == std::string::npos) return;  // unterminated: not reported
    if (OnField) OnField(*this, field_number, line.substr(open + 1, close - open - 1));
    ++field_number;
    const size_t next_separator = line.find(separator, close + 1);
    pos = next_separator == std::string::npos ? line.size() : next_separator + 1;
  }
}
