// Key encoding. A key is the concatenation of its parts; each part starts
// with a flag byte, 0x00 for NULL and 0x01 for a value, followed by bytes
// whose memcmp order is the order of the values:
//
//   TYPE       WIDTH     VALUE BYTES
//   character  1 + L     each byte mapped to its sort weight in the character
//                        table (case-insensitive parts map the upper-case form),
//                        blank padded to the field length L
//   integer    1 + 4     big-endian with the sign bit flipped
//   date       1 + 4     the day number, as an integer
//   double     1 + 8     IEEE bits big-endian: sign bit flipped for positive
//                        numbers, every bit flipped for negative ones; -0 is
//                        stored as +0 and every NaN as one NaN after +infinity
//   logical    1 + 1     0 false, 1 true
//
// A NULL part is its flag byte followed by zeros, so NULL sorts before every
// value. A descending part has all its bytes inverted, which reverses its
// order exactly (NULL then comes last). Because every part has a fixed width,
// memcmp of whole keys compares part by part, the first part first.
#include "engine/index/Key.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/record/DateValue.h"
#include "engine/util/Checksum.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

namespace {

constexpr uint8_t kNullFlag = 0x00;
constexpr uint8_t kValueFlag = 0x01;

uint32_t ValueWidth(KeyPartType type, uint32_t length) {
  switch (type) {
    case KeyPartType::Character:
      return length;
    case KeyPartType::Integer:
    case KeyPartType::Date:
      return 4;
    case KeyPartType::Double:
      return 8;
    case KeyPartType::Logical:
      return 1;
  }
  return 0;
}

bool IsKnownType(KeyPartType type) {
  const auto raw = static_cast<uint8_t>(type);
  return raw >= static_cast<uint8_t>(KeyPartType::Character) &&
         raw <= static_cast<uint8_t>(KeyPartType::Logical);
}

// "a character value", "an integer value", ...
const char* ValueName(KeyPartType type) {
  switch (type) {
    case KeyPartType::Character:
      return "a character value";
    case KeyPartType::Integer:
      return "an integer value";
    case KeyPartType::Double:
      return "a double value";
    case KeyPartType::Date:
      return "a date value";
    case KeyPartType::Logical:
      return "a logical value";
  }
  return "a value of unknown type";
}

void PutBigEndian32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

uint32_t GetBigEndian32(const uint8_t* in) {
  return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) |
         uint32_t{in[3]};
}

uint64_t OrderedDoubleBits(double value) {
  uint64_t bits;
  if (std::isnan(value)) {
    bits = 0x7FF8000000000000ull;
  } else {
    if (value == 0) value = 0;  // -0 and +0 are one key
    std::memcpy(&bits, &value, 8);
  }
  return (bits & 0x8000000000000000ull) ? ~bits : bits ^ 0x8000000000000000ull;
}

double DoubleOfOrderedBits(uint64_t ordered) {
  const uint64_t bits =
      (ordered & 0x8000000000000000ull) ? ordered ^ 0x8000000000000000ull : ~ordered;
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

uint32_t CollationChecksumOf(const CharTable& table) {
  const uint32_t crc = Crc32c(table.Upper.data(), table.Upper.size());
  return Crc32c(table.SortWeight.data(), table.SortWeight.size(), crc);
}

Result<KeyExpression> KeyExpression::Parse(std::string_view text, std::span<const KeyField> fields,
                                           KeyOptions options, const CharTable& table) {
  std::vector<KeyPart> parts;
  if (TrimBlanks(text).empty())
    return Status(AE_INDEX_BAD_EXPRESSION, "The index expression is empty");
  std::string_view rest = text;
  while (true) {
    const size_t semicolon = rest.find(';');
    const std::string_view name = TrimBlanks(rest.substr(0, semicolon));
    if (name.empty()) {
      return Status(AE_INDEX_BAD_EXPRESSION,
                    "The index expression \"" + std::string(text) + "\" has an empty field name");
    }
    const std::string wanted = AsciiUpper(name);
    bool found = false;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (AsciiUpper(fields[i].Name) != wanted) continue;
      const KeyField& field = fields[i];
      if (!IsKnownType(field.Type)) {
        return Status(AE_INDEX_BAD_FIELD,
                      "The field " + field.Name + " has a type that cannot be indexed");
      }
      if (field.Type == KeyPartType::Character && (field.Length == 0 || field.Length > 65000)) {
        return Status(AE_INDEX_BAD_FIELD, "The character field " + field.Name + " has the length " +
                                              std::to_string(field.Length));
      }
      KeyPart part;
      part.FieldName = field.Name;
      part.FieldIndex = static_cast<uint32_t>(i);
      part.Type = field.Type;
      part.Length = field.Type == KeyPartType::Character ? field.Length : 0;
      part.Descending = options.Descending;
      part.CaseInsensitive = options.CaseInsensitive && field.Type == KeyPartType::Character;
      parts.push_back(std::move(part));
      found = true;
      break;
    }
    if (!found) {
      return Status(AE_INDEX_UNKNOWN_FIELD, "Unknown field " + std::string(name) +
                                                " in the index expression \"" + std::string(text) +
                                                "\"");
    }
    if (semicolon == std::string_view::npos) break;
    rest.remove_prefix(semicolon + 1);
  }
  return Build(std::move(parts), table);
}

Result<KeyExpression> KeyExpression::FromParts(std::vector<KeyPart> parts, const CharTable& table) {
  for (size_t i = 0; i < parts.size(); ++i) parts[i].FieldIndex = static_cast<uint32_t>(i);
  return Build(std::move(parts), table);
}

Result<KeyExpression> KeyExpression::Build(std::vector<KeyPart> parts, const CharTable& table) {
  if (parts.empty()) return Status(AE_INDEX_BAD_EXPRESSION, "The index expression has no fields");
  KeyExpression expression;
  uint64_t length = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    KeyPart& part = parts[i];
    if (!IsKnownType(part.Type)) {
      return Status(AE_INDEX_BAD_FIELD, "The key part " + part.FieldName + " has an unknown type");
    }
    if (part.Type == KeyPartType::Character && (part.Length == 0 || part.Length > 65000)) {
      return Status(AE_INDEX_BAD_FIELD, "The character key part " + part.FieldName +
                                            " has the length " + std::to_string(part.Length));
    }
    if (part.Type != KeyPartType::Character) {
      part.Length = 0;
      part.CaseInsensitive = false;
    }
    part.Offset = static_cast<uint32_t>(length);
    part.Width = 1 + ValueWidth(part.Type, part.Length);
    length += part.Width;
  }
  if (length > kMaxKeyLength) {
    return Status(AE_INDEX_KEY_TOO_LONG, "The index key is " + std::to_string(length) +
                                             " bytes long; at most " +
                                             std::to_string(kMaxKeyLength) + " bytes are possible");
  }
  expression.parts_ = std::move(parts);
  expression.key_length_ = static_cast<uint32_t>(length);
  for (int b = 0; b < 256; ++b) {
    expression.weight_[b] = table.SortWeight[b];
    expression.weight_upper_[b] = table.SortWeight[table.Upper[b]];
    expression.unweight_[table.SortWeight[b]] = static_cast<uint8_t>(b);
  }
  expression.collation_checksum_ = CollationChecksumOf(table);
  return expression;
}

Status KeyExpression::Encode(std::span<const KeyValue> values, uint8_t* key) const {
  if (values.size() != parts_.size()) {
    return Status(AE_INDEX_BAD_KEY_VALUE, "The key has " + std::to_string(parts_.size()) +
                                              " parts, not " + std::to_string(values.size()));
  }
  for (size_t i = 0; i < parts_.size(); ++i) {
    const KeyPart& part = parts_[i];
    const KeyValue& value = values[i];
    uint8_t* out = key + part.Offset;
    if (value.Type != part.Type) {
      return Status(AE_INDEX_BAD_KEY_VALUE, "The key part " + part.FieldName + " takes " +
                                                ValueName(part.Type) + ", not " +
                                                ValueName(value.Type));
    }
    if (value.IsNull) {
      out[0] = kNullFlag;
      std::memset(out + 1, 0, part.Width - 1);
    } else {
      out[0] = kValueFlag;
      switch (part.Type) {
        case KeyPartType::Character: {
          if (value.Text.size() > part.Length) {
            return Status(AE_INDEX_BAD_KEY_VALUE, "The value for " + part.FieldName +
                                                      " is longer than its " +
                                                      std::to_string(part.Length) + " characters");
          }
          const std::array<uint8_t, 256>& map = part.CaseInsensitive ? weight_upper_ : weight_;
          const auto* text = reinterpret_cast<const uint8_t*>(value.Text.data());
          const size_t size = value.Text.size();
          for (size_t j = 0; j < size; ++j) out[1 + j] = map[text[j]];
          std::memset(out + 1 + size, map[' '], part.Length - size);
          break;
        }
        case KeyPartType::Integer:
        case KeyPartType::Date:
          PutBigEndian32(out + 1, static_cast<uint32_t>(value.Int) ^ 0x80000000u);
          break;
        case KeyPartType::Double: {
          const uint64_t bits = OrderedDoubleBits(value.Real);
          PutBigEndian32(out + 1, static_cast<uint32_t>(bits >> 32));
          PutBigEndian32(out + 5, static_cast<uint32_t>(bits));
          break;
        }
        case KeyPartType::Logical:
          out[1] = value.Bool ? 1 : 0;
          break;
      }
    }
    if (part.Descending) {
      for (uint32_t j = 0; j < part.Width; ++j) out[j] = static_cast<uint8_t>(~out[j]);
    }
  }
  return Status::Ok();
}

Result<std::vector<uint8_t>> KeyExpression::EncodePrefix(std::span<const KeyValue> values) const {
  if (values.size() > parts_.size()) {
    return Status(AE_INDEX_BAD_KEY_VALUE, "The key has " + std::to_string(parts_.size()) +
                                              " parts, not " + std::to_string(values.size()));
  }
  std::vector<uint8_t> key(key_length_, 0);
  // Encode with the given values and NULL for the rest, then lower the rest
  // to zeros: the smallest bytes whatever the part's direction.
  std::vector<KeyValue> all(values.begin(), values.end());
  for (size_t i = values.size(); i < parts_.size(); ++i)
    all.push_back(KeyValue::Null(parts_[i].Type));
  if (Status status = Encode(all, key.data()); !status.ok()) return status;
  if (values.size() < parts_.size()) {
    const uint32_t from = parts_[values.size()].Offset;
    std::memset(key.data() + from, 0, key_length_ - from);
  }
  return key;
}

bool KeyExpression::IsEmpty(const uint8_t* key) const {
  for (const KeyPart& part : parts_) {
    const uint8_t flip = part.Descending ? 0xFF : 0x00;
    const uint8_t* in = key + part.Offset;
    if ((in[0] ^ flip) == kNullFlag) continue;
    if (part.Type != KeyPartType::Character) return false;
    const uint8_t blank = static_cast<uint8_t>(weight_[' '] ^ flip);
    for (uint32_t j = 1; j < part.Width; ++j) {
      if (in[j] != blank) return false;
    }
  }
  return true;
}

std::string KeyExpression::Format(const uint8_t* key) const {
  std::string out;
  uint8_t bytes[9] = {};
  for (size_t i = 0; i < parts_.size(); ++i) {
    const KeyPart& part = parts_[i];
    if (i > 0) out += ';';
    const uint8_t flip = part.Descending ? 0xFF : 0x00;
    const uint8_t* in = key + part.Offset;
    if ((in[0] ^ flip) == kNullFlag) continue;
    if (part.Type == KeyPartType::Character) {
      std::string text(part.Length, ' ');
      for (uint32_t j = 0; j < part.Length; ++j)
        text[j] = static_cast<char>(unweight_[in[1 + j] ^ flip]);
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out += text;
      continue;
    }
    for (uint32_t j = 1; j < part.Width && j < sizeof bytes; ++j) bytes[j] = in[j] ^ flip;
    switch (part.Type) {
      case KeyPartType::Integer:
        out += std::to_string(static_cast<int32_t>(GetBigEndian32(bytes + 1) ^ 0x80000000u));
        break;
      case KeyPartType::Date:
        AppendIsoDate(out, static_cast<int32_t>(GetBigEndian32(bytes + 1) ^ 0x80000000u));
        break;
      case KeyPartType::Double: {
        const uint64_t ordered =
            (uint64_t{GetBigEndian32(bytes + 1)} << 32) | GetBigEndian32(bytes + 5);
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, DoubleOfOrderedBits(ordered));
        out.append(text, result.ptr);
        break;
      }
      case KeyPartType::Logical:
        out += bytes[1] ? 'T' : 'F';
        break;
      case KeyPartType::Character:
        break;
    }
  }
  return out;
}

}  // namespace engine
