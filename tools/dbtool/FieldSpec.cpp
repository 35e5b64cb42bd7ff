#include "FieldSpec.h"

#include "engine/record/ValueText.h"

namespace dbtool {

namespace {

// `text` in double quotes. Built by appending: GCC 12 warns falsely
// (-Wrestrict) about a literal prepended to a string.
std::string Quoted(std::string_view text) {
  std::string out(1, '"');
  out.append(text).push_back('"');
  return out;
}

}  // namespace

bool ParseFieldSpec(std::string_view cell, engine::FieldDef& field, std::string& error) {
  const size_t first = cell.find(':');
  if (first == std::string_view::npos) {
    error = Quoted(cell) + " is not NAME:TYPE[:LENGTH]";
    return false;
  }
  field.Name = std::string(cell.substr(0, first));
  const std::string_view rest = cell.substr(first + 1);
  const size_t second = rest.find(':');
  const std::string_view type = rest.substr(0, second);
  const auto parsed = type.size() == 1 ? engine::TypeFromLetter(type[0]) : std::nullopt;
  if (!parsed) {
    error = Quoted(cell) + ": the type is C, I, N, D or L, not " + Quoted(type);
    return false;
  }
  field.Type = *parsed;
  field.Length = 0;
  if (field.Type == engine::FieldType::Character) {
    int32_t length = 0;
    if (second == std::string_view::npos ||
        !engine::ParseInteger(rest.substr(second + 1), length) || length < 1 ||
        length > static_cast<int32_t>(engine::kMaxCharacterLength)) {
      error = Quoted(cell) + ": a character field needs a length from 1 to " +
              std::to_string(engine::kMaxCharacterLength) + " (NAME:C:LENGTH)";
      return false;
    }
    field.Length = static_cast<uint32_t>(length);
  } else if (second != std::string_view::npos) {
    error = Quoted(cell) + ": only character fields take a length";
    return false;
  }
  if (!engine::IsValidFieldName(field.Name)) {
    error = Quoted(field.Name) +
            " is not a valid field name (letters, digits and _, not starting with a digit)";
    return false;
  }
  return true;
}

std::string FieldSpecText(const engine::FieldInfo& field) {
  std::string text = field.Name;
  text.push_back(':');
  text.push_back(engine::TypeLetter(field.Type));
  if (field.Type == engine::FieldType::Character) {
    text.push_back(':');
    text += std::to_string(field.Length);
  }
  return text;
}

}  // namespace dbtool
