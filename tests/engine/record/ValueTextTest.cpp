// Field values as text: what reads as a value of each type, and dates as
// day numbers.
#include <gtest/gtest.h>

#include "engine/record/DateValue.h"
#include "engine/record/ValueText.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using engine::FieldType;

TEST(ValueText, TextsAreReadAsTheFieldsTypeOrRefused) {
  auto schema = engine::TableSchema::Make({{"C", FieldType::Character, 4},
                                           {"I", FieldType::Integer, 0},
                                           {"N", FieldType::Double, 0},
                                           {"D", FieldType::Date, 0},
                                           {"L", FieldType::Logical, 0}});
  ASSERT_TRUE(schema.ok());
  struct Case {
    size_t field;
    std::string text;
    const char* reads_as;  // nullptr: refused
  };
  const Case cases[] = {
      {0, "abcd", "abcd"},
      {0, "ab  ", "ab"},
      {0, "abcd   ", "abcd"},
      {0, "abcde", nullptr},
      {1, "0", "0"},
      {1, "+15", "15"},
      {1, "-2147483648", "-2147483648"},
      {1, "2147483648", nullptr},
      {1, "1.0", nullptr},
      {1, " 1", nullptr},
      {1, "", nullptr},
      {1, "+-1", nullptr},
      {1, "0x10", nullptr},
      {2, "1e3", "1000"},
      {2, ".5", "0.5"},
      {2, "-0.1", "-0.1"},
      {2, "+2.25", "2.25"},
      {2, "nan", nullptr},
      {2, "inf", nullptr},
      {2, "1e999", nullptr},
      {2, "1,5", nullptr},
      {3, "2024-02-29", "2024-02-29"},
      {3, "2023-02-29", nullptr},
      {3, "0000-01-01", nullptr},
      {3, "2024-2-9", nullptr},
      {3, "2024/02/09", nullptr},
      {3, "9999-12-31", "9999-12-31"},
      {4, "T", "T"},
      {4, "f", "F"},
      {4, "Y", nullptr},
      {4, "true", nullptr},
  };
  engine::RecordBuilder record(*schema);
  for (const Case& c : cases) {
    record.Clear();
    const engine::Status status = engine::SetFieldFromText(record, c.field, c.text);
    ASSERT_EQ(status.ok(), c.reads_as != nullptr)
        << c.field << " '" << c.text << "' " << status.Message();
    if (!status.ok()) {
      EXPECT_TRUE(status.Code() == engine::AE_INVALID_VALUE ||
                  status.Code() == engine::AE_VALUE_TOO_LONG);
      EXPECT_NE(status.Message().find(schema->Field(c.field).Name), std::string::npos);
      continue;
    }
    EXPECT_EQ(engine::FieldText(record.View(), c.field), c.reads_as) << c.text;
  }
}

TEST(DateValue, DayNumbersOrderAsDatesAndRoundTrip) {
  EXPECT_EQ(engine::DayNumberFromCivil(2000, 1, 1), 2451545);
  EXPECT_EQ(engine::DayNumberFromCivil(1970, 1, 1), 2440588);
  EXPECT_EQ(engine::DayNumberFromCivil(1, 1, 1), 1721426);
  const int32_t first = *engine::ParseIsoDate("0001-01-01");
  const int32_t last = *engine::ParseIsoDate("9999-12-31");
  int32_t previous = first - 1;
  for (int32_t day = first; day <= last; day += day < first + 800 || day > last - 800 ? 1 : 97) {
    const std::string text = engine::FormatIsoDate(day);
    const auto back = engine::ParseIsoDate(text);
    ASSERT_TRUE(back.has_value()) << text;
    ASSERT_EQ(*back, day) << text;
    ASSERT_GT(day, previous);
    previous = day;
  }
  // A damaged file's day number outside the years 1..9999 still formats.
  EXPECT_FALSE(engine::FormatIsoDate(last + 1).empty());
  EXPECT_FALSE(engine::FormatIsoDate(INT32_MIN).empty());
  EXPECT_FALSE(engine::FormatIsoDate(INT32_MAX).empty());
}

}  // namespace
