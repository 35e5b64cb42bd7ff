#include "engine/record/FieldTypes.h"

namespace engine {

uint32_t StorageLength(FieldType type, uint32_t declared) {
  switch (type) {
    case FieldType::Character:
      return declared;
    case FieldType::Integer:
      return 4;
    case FieldType::Double:
      return 8;
    case FieldType::Date:
      return 4;
    case FieldType::Logical:
      return 1;
  }
  return 0;
}

char TypeLetter(FieldType type) {
  switch (type) {
    case FieldType::Character:
      return 'C';
    case FieldType::Integer:
      return 'I';
    case FieldType::Double:
      return 'N';
    case FieldType::Date:
      return 'D';
    case FieldType::Logical:
      return 'L';
  }
  return '?';
}

std::optional<FieldType> TypeFromLetter(char letter) {
  switch (letter) {
    case 'C':
    case 'c':
      return FieldType::Character;
    case 'I':
    case 'i':
      return FieldType::Integer;
    case 'N':
    case 'n':
      return FieldType::Double;
    case 'D':
    case 'd':
      return FieldType::Date;
    case 'L':
    case 'l':
      return FieldType::Logical;
    default:
      return std::nullopt;
  }
}

const char* TypeName(FieldType type) {
  switch (type) {
    case FieldType::Character:
      return "character";
    case FieldType::Integer:
      return "integer";
    case FieldType::Double:
      return "double";
    case FieldType::Date:
      return "date";
    case FieldType::Logical:
      return "logical";
  }
  return "unknown";
}

std::optional<FieldType> TypeFromCode(uint8_t code) {
  if (code >= 1 && code <= 5) return static_cast<FieldType>(code);
  return std::nullopt;
}

bool IsValidFieldName(std::string_view name) {
  if (name.empty() || name.size() > kMaxFieldNameLength) return false;
  auto letter = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
  };
  if (!letter(static_cast<unsigned char>(name[0]))) return false;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

}  // namespace engine
