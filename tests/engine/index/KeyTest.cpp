#include "engine/index/Key.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/record/DateValue.h"
#include "engine/util/IndexFileErrors.h"

namespace {

using engine::KeyExpression;
using engine::KeyField;
using engine::KeyOptions;
using engine::KeyPartType;
using engine::KeyValue;

const std::vector<KeyField> kFields = {
    {"RecId", KeyPartType::Character, 16},   {"LASTNAME", KeyPartType::Character, 12},
    {"Score", KeyPartType::Integer, 0},      {"Balance", KeyPartType::Double, 0},
    {"Born", KeyPartType::Date, 0},          {"Active", KeyPartType::Logical, 0},
    {"Notes", KeyPartType::Character, 5000},
};

KeyExpression MustParse(const std::string& text, KeyOptions options = {}) {
  auto parsed = KeyExpression::Parse(text, kFields, options);
  EXPECT_TRUE(parsed.ok()) << parsed.status().Message();
  return parsed.ok() ? parsed.value() : KeyExpression();
}

std::vector<uint8_t> Encode(const KeyExpression& key, std::vector<KeyValue> values) {
  std::vector<uint8_t> bytes(key.KeyLength());
  engine::Status status = key.Encode(values, bytes.data());
  EXPECT_TRUE(status.ok()) << status.Message();
  return bytes;
}

TEST(KeyExpression, ParsesNamesSeparatedBySemicolons) {
  const KeyExpression key = MustParse("  lastname ; RECID;score ");
  ASSERT_EQ(key.Parts().size(), 3u);
  EXPECT_EQ(key.Parts()[0].FieldName, "LASTNAME");
  EXPECT_EQ(key.Parts()[0].FieldIndex, 1u);
  EXPECT_EQ(key.Parts()[1].FieldName, "RecId");
  EXPECT_EQ(key.Parts()[1].FieldIndex, 0u);
  EXPECT_EQ(key.Parts()[2].FieldIndex, 2u);
  // Flag byte plus value bytes per part, one after the other.
  EXPECT_EQ(key.Parts()[1].Offset, 13u);
  EXPECT_EQ(key.Parts()[2].Offset, 30u);
  EXPECT_EQ(key.KeyLength(), 13u + 17u + 5u);
}

TEST(KeyExpression, RefusesBadExpressions) {
  struct Case {
    const char* text;
    int code;
    const char* in_message;
  } cases[] = {
      {"LASTNAME;CITY", engine::AE_INDEX_UNKNOWN_FIELD, "CITY"},
      {"NOSUCH", engine::AE_INDEX_UNKNOWN_FIELD, "NOSUCH"},
      {"", engine::AE_INDEX_BAD_EXPRESSION, "empty"},
      {"   ", engine::AE_INDEX_BAD_EXPRESSION, "empty"},
      {"LASTNAME;;SCORE", engine::AE_INDEX_BAD_EXPRESSION, "empty field name"},
      {"LASTNAME;", engine::AE_INDEX_BAD_EXPRESSION, "empty field name"},
      {"NOTES", engine::AE_INDEX_KEY_TOO_LONG, "5001"},
  };
  for (const Case& c : cases) {
    auto parsed = KeyExpression::Parse(c.text, kFields, {});
    ASSERT_FALSE(parsed.ok()) << c.text;
    EXPECT_EQ(parsed.status().Code(), c.code) << c.text;
    EXPECT_NE(parsed.status().Message().find(c.in_message), std::string::npos)
        << parsed.status().Message();
  }
  const std::vector<KeyField> zero_length = {{"NAME", KeyPartType::Character, 0}};
  EXPECT_EQ(KeyExpression::Parse("NAME", zero_length, {}).status().Code(),
            engine::AE_INDEX_BAD_FIELD);
}

// Values of each type listed in ascending order, NULL first; the encoded
// keys must sort the same way, and in reverse for a descending key.
TEST(KeyEncoding, EachTypeOrdersByValueWithNullFirst) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* field;
    std::vector<KeyValue> ascending;
  } cases[] = {
      {"Score",
       {KeyValue::Null(KeyPartType::Integer), KeyValue::Integer(INT32_MIN),
        KeyValue::Integer(-70000), KeyValue::Integer(-1), KeyValue::Integer(0),
        KeyValue::Integer(1), KeyValue::Integer(256), KeyValue::Integer(INT32_MAX)}},
      {"Balance",
       {KeyValue::Null(KeyPartType::Double), KeyValue::Number(-inf), KeyValue::Number(-1e300),
        KeyValue::Number(-2), KeyValue::Number(-1e-310), KeyValue::Number(0),
        KeyValue::Number(4.9e-324), KeyValue::Number(0.5), KeyValue::Number(3),
        KeyValue::Number(1e300), KeyValue::Number(inf),
        KeyValue::Number(std::numeric_limits<double>::quiet_NaN())}},
      {"Born",
       {KeyValue::Null(KeyPartType::Date), KeyValue::Date(engine::DayNumberFromCivil(1899, 12, 30)),
        KeyValue::Date(engine::DayNumberFromCivil(1970, 1, 1)),
        KeyValue::Date(engine::DayNumberFromCivil(2000, 2, 29)),
        KeyValue::Date(engine::DayNumberFromCivil(2024, 1, 1))}},
      {"Active",
       {KeyValue::Null(KeyPartType::Logical), KeyValue::Logical(false), KeyValue::Logical(true)}},
      // Controls before blanks before symbols, digits, letters; small before
      // capital; accented after the plain letter; shorter texts blank padded.
      {"LASTNAME",
       {KeyValue::Null(KeyPartType::Character), KeyValue::Char("\x01"), KeyValue::Char(""),
        KeyValue::Char("!"), KeyValue::Char("9"), KeyValue::Char("a"), KeyValue::Char("ab"),
        KeyValue::Char("A"), KeyValue::Char("b"), KeyValue::Char("e"), KeyValue::Char("\xE9"),
        KeyValue::Char("\xC9"), KeyValue::Char("f"), KeyValue::Char("Smith"),
        KeyValue::Char("Smithson")}},
  };
  for (const Case& c : cases) {
    for (bool descending : {false, true}) {
      const KeyExpression key = MustParse(c.field, KeyOptions{descending, false});
      for (size_t i = 1; i < c.ascending.size(); ++i) {
        const auto lower = Encode(key, {c.ascending[i - 1]});
        const auto higher = Encode(key, {c.ascending[i]});
        const int order = std::memcmp(lower.data(), higher.data(), key.KeyLength());
        EXPECT_TRUE(descending ? order > 0 : order < 0)
            << c.field << (descending ? " descending" : "") << " values " << i - 1 << " and " << i;
      }
    }
  }
}

TEST(KeyEncoding, EqualValuesGiveEqualKeys) {
  const KeyExpression ci = MustParse("LASTNAME", KeyOptions{false, true});
  EXPECT_EQ(Encode(ci, {KeyValue::Char("m\xFCller")}), Encode(ci, {KeyValue::Char("M\xDCLLER")}));
  EXPECT_NE(Encode(ci, {KeyValue::Char("muller")}), Encode(ci, {KeyValue::Char("m\xFCller")}));
  const KeyExpression cs = MustParse("LASTNAME");
  EXPECT_NE(Encode(cs, {KeyValue::Char("smith")}), Encode(cs, {KeyValue::Char("SMITH")}));
  EXPECT_EQ(Encode(cs, {KeyValue::Char("ab")}), Encode(cs, {KeyValue::Char("ab   ")}));
  const KeyExpression real = MustParse("Balance");
  EXPECT_EQ(Encode(real, {KeyValue::Number(-0.0)}), Encode(real, {KeyValue::Number(0.0)}));
  EXPECT_EQ(Encode(real, {KeyValue::Number(std::nan("1"))}),
            Encode(real, {KeyValue::Number(-std::nan("2"))}));
}

TEST(KeyEncoding, PartsCompareFirstPartFirst) {
  const KeyExpression key = MustParse("Active;Score");
  const auto a = Encode(key, {KeyValue::Logical(false), KeyValue::Integer(INT32_MAX)});
  const auto b = Encode(key, {KeyValue::Logical(true), KeyValue::Integer(INT32_MIN)});
  const auto c = Encode(key, {KeyValue::Logical(true), KeyValue::Null(KeyPartType::Integer)});
  EXPECT_LT(std::memcmp(a.data(), b.data(), key.KeyLength()), 0);
  EXPECT_LT(std::memcmp(c.data(), b.data(), key.KeyLength()), 0);
}

TEST(KeyEncoding, RefusesValuesThatDoNotSuitThePart) {
  const KeyExpression key = MustParse("LASTNAME;Score");
  std::vector<uint8_t> bytes(key.KeyLength());
  struct Case {
    std::vector<KeyValue> values;
  } cases[] = {
      {{KeyValue::Char("x")}},                                              // too few
      {{KeyValue::Char("x"), KeyValue::Integer(1), KeyValue::Integer(2)}},  // too many
      {{KeyValue::Integer(1), KeyValue::Integer(1)}},                       // wrong type
      {{KeyValue::Char("thirteen char"), KeyValue::Integer(1)}},            // longer than the field
  };
  for (const Case& c : cases) {
    EXPECT_EQ(key.Encode(c.values, bytes.data()).Code(), engine::AE_INDEX_BAD_KEY_VALUE);
  }
}

TEST(KeyEncoding, EmptyKeysAreThoseWithoutAnyValue) {
  const KeyExpression key = MustParse("LASTNAME;Score");
  const KeyValue null_text = KeyValue::Null(KeyPartType::Character);
  const KeyValue null_int = KeyValue::Null(KeyPartType::Integer);
  struct Case {
    KeyValue text, number;
    bool empty;
  } cases[] = {
      {null_text, null_int, true},
      {KeyValue::Char(""), null_int, true},
      {KeyValue::Char("   "), null_int, true},
      {KeyValue::Char("x"), null_int, false},
      {null_text, KeyValue::Integer(0), false},
      {KeyValue::Char(" "), KeyValue::Integer(0), false},
  };
  for (bool descending : {false, true}) {
    const KeyExpression k = MustParse("LASTNAME;Score", KeyOptions{descending, true});
    for (const Case& c : cases) {
      const auto bytes = Encode(k, {c.text, c.number});
      EXPECT_EQ(k.IsEmpty(bytes.data()), c.empty) << "'" << c.text.Text << "' " << c.number.Int;
    }
  }
}

TEST(KeyEncoding, FormatsKeysForMessages) {
  for (bool descending : {false, true}) {
    const KeyExpression key =
        MustParse("LASTNAME;Score;Balance;Born;Active", KeyOptions{descending, false});
    const auto bytes = Encode(
        key, {KeyValue::Char("M\xFCller"), KeyValue::Integer(-42), KeyValue::Number(2.5),
              KeyValue::Date(engine::DayNumberFromCivil(2024, 2, 29)), KeyValue::Logical(true)});
    EXPECT_EQ(key.Format(bytes.data()), "M\xFCller;-42;2.5;2024-02-29;T");
    const auto nulls =
        Encode(key, {KeyValue::Null(KeyPartType::Character), KeyValue::Null(KeyPartType::Integer),
                     KeyValue::Null(KeyPartType::Double), KeyValue::Null(KeyPartType::Date),
                     KeyValue::Logical(false)});
    EXPECT_EQ(key.Format(nulls.data()), ";;;;F");
  }
  const KeyExpression ci = MustParse("LASTNAME", KeyOptions{false, true});
  EXPECT_EQ(ci.Format(Encode(ci, {KeyValue::Char("smith")}).data()), "SMITH");
}

TEST(KeyEncoding, PrefixKeysSortAtOrBeforeEveryKeyWithThatPrefix) {
  for (bool descending : {false, true}) {
    const KeyExpression key = MustParse("LASTNAME;Score", KeyOptions{descending, false});
    auto prefix = key.EncodePrefix(std::vector<KeyValue>{KeyValue::Char("Smith")});
    ASSERT_TRUE(prefix.ok());
    // ...and after every key whose first part comes earlier in the tag.
    const auto smaller =
        Encode(key, {KeyValue::Char(descending ? "Smiu" : "Smit"), KeyValue::Integer(INT32_MAX)});
    EXPECT_GT(std::memcmp(prefix->data(), smaller.data(), key.KeyLength()), 0) << descending;
    for (KeyValue score : {KeyValue::Null(KeyPartType::Integer), KeyValue::Integer(INT32_MIN),
                           KeyValue::Integer(INT32_MAX)}) {
      const auto full = Encode(key, {KeyValue::Char("Smith"), score});
      EXPECT_LE(std::memcmp(prefix->data(), full.data(), key.KeyLength()), 0);
    }
  }
}

TEST(DayNumbers, JulianDayNumbersRoundTrip) {
  EXPECT_EQ(engine::DayNumberFromCivil(1970, 1, 1), 2440588);
  EXPECT_EQ(engine::DayNumberFromCivil(2000, 1, 1), 2451545);
  struct Case {
    int y, m, d;
    const char* text;
  } cases[] = {{1899, 12, 30, "1899-12-30"}, {1900, 2, 28, "1900-02-28"},
               {1900, 3, 1, "1900-03-01"},   {2000, 2, 29, "2000-02-29"},
               {2024, 12, 31, "2024-12-31"}, {1, 1, 1, "0001-01-01"}};
  for (const Case& c : cases) {
    EXPECT_EQ(engine::FormatIsoDate(engine::DayNumberFromCivil(c.y, c.m, c.d)), c.text);
  }
  EXPECT_EQ(engine::DayNumberFromCivil(1900, 3, 1) - engine::DayNumberFromCivil(1900, 2, 28),
            1);  // 1900 is no leap year
}

}  // namespace
