// The field types of a table and the limits of the table format
// (docs/engine-format.md lists them for readers outside the code).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

enum class FieldType : uint8_t {
  Character = 1,  // ANSI bytes, blank padded to the field's length
  Integer = 2,    // signed 32-bit
  Double = 3,     // IEEE-754 binary64
  Date = 4,       // day number (DateValue.h), so that dates order as numbers
  Logical = 5,    // true or false
};

inline constexpr size_t kMaxFieldNameLength = 128;      // bytes
inline constexpr uint32_t kMaxCharacterLength = 65000;  // bytes of one character field
inline constexpr size_t kMaxFieldCount = 2048;
inline constexpr uint32_t kMaxRecordLength = 1u << 20;  // state byte and null bitmap included
inline constexpr uint32_t kMaxRecordCount = 0xFFFFFFFEu;

// A field as a caller declares it when creating a table.
struct FieldDef {
  std::string Name;
  FieldType Type = FieldType::Character;
  uint32_t Length = 0;  // character fields: 1..65000; the other types have a fixed length
};

// Bytes a field of `type` takes in a record (`declared` for character fields).
uint32_t StorageLength(FieldType type, uint32_t declared);

// The letter of a type in the text form "NAME:TYPE[:LENGTH]": C, I, N, D, L.
char TypeLetter(FieldType type);
std::optional<FieldType> TypeFromLetter(char letter);  // either case

// "character", "integer", "double", "date", "logical".
const char* TypeName(FieldType type);

// The type byte of a stored descriptor, when it names a known type.
std::optional<FieldType> TypeFromCode(uint8_t code);

// Whether `name` is a sound field name: 1..128 bytes, a letter, "_" or a byte
// above 127 first, then letters, digits, "_" or bytes above 127. (Names stay
// usable unquoted in filters and in the "NAME:TYPE" header of dbtool's CSV.)
bool IsValidFieldName(std::string_view name);

}  // namespace engine
