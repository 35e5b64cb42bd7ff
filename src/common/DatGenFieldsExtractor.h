// TFieldsExtractor: splits one line of quoted, separated fields.
//
// Only quoted fields count. Text outside quotes is skipped and does not
// advance the field number. A quote closes a field only when what follows it,
// blanks ignored, is the end of the line, or a separator followed (blanks
// ignored) by the end of the line or by a quote; any other quote belongs to
// the field's text. So with the double quote and the comma,
//   "He said "hi" there","z"   gives  He said "hi" there | z
//   "a",,"b"                   gives  a",,"b   (one field)
//   abc,"d"                    gives  d        (field 1)
// A field without a closing quote is not reported.
#pragma once

#include <functional>
#include <string>

class TFieldsExtractor {
 public:
  // Called once per field: the extractor, the field number (from 1), the text.
  using TFieldEvent =
      std::function<void(TFieldsExtractor& sender, int field_number, const std::string& text)>;

  TFieldsExtractor() = default;
  ~TFieldsExtractor() { OnField = nullptr; }
  TFieldsExtractor(const TFieldsExtractor&) = delete;
  TFieldsExtractor& operator=(const TFieldsExtractor&) = delete;

  // Sets the quote and separator characters; also clears the callback.
  void SetDelimiters(const std::string& quote, const std::string& separator);

  // Sets the callback (bind the owning object into it).
  void SetFieldCallback(TFieldEvent callback) { OnField = std::move(callback); }

  // Reports each field of `record` through OnField, in order.
  void ExtractFieldsFromRec(const std::string& record);

  std::string QuoteChar = "\"";
  std::string SeparatorChar = ",";
  TFieldEvent OnField;
};
