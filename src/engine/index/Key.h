// Index keys: the key expression of a tag and the encoding of its keys.
//
// A tag's key is a fixed number of bytes that compare with memcmp in the
// tag's order, so sorting, the B+tree and seeks never need to know the types
// of the fields behind a key. Key.cpp explains the encoding of each part.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

// The kinds of field a key part can be built from. The numbers are stored in
// index files.
enum class KeyPartType : uint8_t {
  Character = 1,  // fixed length ANSI text, blank padded
  Integer = 2,    // 32-bit signed integer
  Double = 3,     // IEEE double
  Date = 4,       // 32-bit day number that orders by date (DateValue.h)
  Logical = 5,    // false < true
};

// A field of the table, as the caller describes it.
struct KeyField {
  std::string Name;
  KeyPartType Type = KeyPartType::Character;
  uint32_t Length = 0;  // characters of a character field (1..65000); ignored for the others
};

// Tag options that change the keys.
struct KeyOptions {
  bool Descending = false;       // the tag lists its keys from the largest down
  bool CaseInsensitive = false;  // character parts are upper-cased through the table first
};

// One field of a key expression and where its bytes sit in the key.
struct KeyPart {
  std::string FieldName;    // the field's name as the table spells it
  uint32_t FieldIndex = 0;  // position in the field list the expression was built from
  KeyPartType Type = KeyPartType::Character;
  uint32_t Length = 0;  // characters of a character part; 0 for the others
  uint32_t Offset = 0;  // first byte of the part in the key
  uint32_t Width = 0;   // bytes of the part, its NULL flag included
  bool Descending = false;
  bool CaseInsensitive = false;  // only character parts use it
};

// The value of one key part for one record. Build with the named makers.
struct KeyValue {
  KeyPartType Type = KeyPartType::Character;
  bool IsNull = true;
  std::string_view Text;  // character: the field's bytes (shorter values are blank padded)
  int32_t Int = 0;        // integer, or the day number of a date
  double Real = 0;        // double
  bool Bool = false;      // logical

  static KeyValue Null(KeyPartType type) { return KeyValue{type, true, {}, 0, 0, false}; }
  static KeyValue Char(std::string_view text) {
    return KeyValue{KeyPartType::Character, false, text, 0, 0, false};
  }
  static KeyValue Integer(int32_t value) {
    return KeyValue{KeyPartType::Integer, false, {}, value, 0, false};
  }
  static KeyValue Number(double value) {
    return KeyValue{KeyPartType::Double, false, {}, 0, value, false};
  }
  static KeyValue Date(int32_t day_number) {
    return KeyValue{KeyPartType::Date, false, {}, day_number, 0, false};
  }
  static KeyValue Logical(bool value) {
    return KeyValue{KeyPartType::Logical, false, {}, 0, 0, value};
  }
};

// The longest key any page size admits; the page size of a file may admit less.
inline constexpr uint32_t kMaxKeyLength = 4076;

class KeyExpression {
 public:
  KeyExpression() = default;

  // Builds the expression of `text`: field names separated by ";", blanks
  // around names ignored, names compared without regard to case. Errors:
  // an unknown field (named in the message), an empty name, a field that
  // cannot be indexed, a key longer than kMaxKeyLength.
  static Result<KeyExpression> Parse(std::string_view text, std::span<const KeyField> fields,
                                     KeyOptions options,
                                     const CharTable& table = DefaultCharTable());

  // Rebuilds an expression from parts read back from an index file; Offset
  // and Width are computed again, FieldIndex is the part's position.
  static Result<KeyExpression> FromParts(std::vector<KeyPart> parts,
                                         const CharTable& table = DefaultCharTable());

  const std::vector<KeyPart>& Parts() const { return parts_; }
  uint32_t KeyLength() const { return key_length_; }

  // Writes the key of one record: `values` holds one value per part, in part
  // order. Fails on a count or type mismatch and on a text longer than its
  // field, leaving `key` unspecified.
  Status Encode(std::span<const KeyValue> values, uint8_t* key) const;

  // The smallest key whose leading parts are `values` (fewer values than parts
  // allowed; the other parts take the lowest bytes), for seeks. A text may be
  // shorter than its field: it is blank padded.
  Result<std::vector<uint8_t>> EncodePrefix(std::span<const KeyValue> values) const;

  // True when every part of `key` is NULL or, for a character part, blanks
  // only. A unique tag refuses such keys.
  bool IsEmpty(const uint8_t* key) const;

  // The key as text for messages: parts separated by ";", character parts
  // right-trimmed, dates as YYYY-MM-DD, logicals T/F, NULL as nothing.
  std::string Format(const uint8_t* key) const;

  // A checksum of the character table the expression encodes with; stored
  // with each tag so that a reader with another table can tell.
  uint32_t CollationChecksum() const { return collation_checksum_; }

 private:
  static Result<KeyExpression> Build(std::vector<KeyPart> parts, const CharTable& table);

  std::vector<KeyPart> parts_;
  uint32_t key_length_ = 0;
  std::array<uint8_t, 256> weight_{};        // byte -> sort weight
  std::array<uint8_t, 256> weight_upper_{};  // byte -> sort weight of its upper-case form
  std::array<uint8_t, 256> unweight_{};      // sort weight -> byte
  uint32_t collation_checksum_ = 0;
};

// The checksum of a character table as KeyExpression::CollationChecksum gives it.
uint32_t CollationChecksumOf(const CharTable& table);

}  // namespace engine
