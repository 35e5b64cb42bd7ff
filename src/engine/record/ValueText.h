// The text form of field values, shared by cursors, filters and dbtool:
// character values right-trimmed of blanks, integers in decimal, doubles in
// the shortest form that reads back to the same number, dates YYYY-MM-DD,
// logicals T or F, and NULL as the empty text.
#pragma once

#include <string>
#include <string_view>

#include "engine/record/Record.h"
#include "engine/util/EngineError.h"
#include "engine/util/NumberText.h"

namespace engine {

// Appends the text form of `field` (nothing for NULL).
void AppendFieldText(std::string& out, const RecordView& record, size_t field);
std::string FieldText(const RecordView& record, size_t field);

// Stores the value that `text` is the text form of. Integers are an optional
// sign and decimal digits within 32 bits; doubles any finite decimal number;
// dates YYYY-MM-DD; logicals T or F (either case). An error (8112, 8113)
// names the field and says what is wrong; the builder's field is then
// unspecified.
Status SetFieldFromText(RecordBuilder& builder, size_t field, std::string_view text);

// The same readings one value at a time (the filter's literals use them).
// ParseInteger and ParseDouble are in NumberText.h.
bool ParseLogical(std::string_view text, bool& value);

}  // namespace engine
