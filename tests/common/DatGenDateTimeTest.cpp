#include "common/DatGenDateTime.h"

#include <gtest/gtest.h>

#include "LocaleFixture.h"

namespace {

const platform::LocalTime kApril3 = {2020, 4, 3, 14, 5, 9, 7};

TEST(DateTimeValue, KnownDaysFromTheEpoch) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1, 12, 0, 0, 0}), 2.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
}

TEST(DateTimeValue, DecodeIsTheInverseToTheMillisecond) {
  for (const platform::LocalTime& t : {kApril3, platform::LocalTime{1999, 12, 31, 23, 59, 59, 999},
                                       platform::LocalTime{2024, 2, 29, 0, 0, 0, 1}}) {
    const platform::LocalTime back = DecodeDateTime(EncodeDateTime(t));
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", back),
              FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t));
  }
}

struct FormatCase {
  const char* pattern;
  const char* expected;
};

class FormatDateTimeTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatDateTimeTest, PatternLetters) {
  ScopedLocale locale("dd.MM.yyyy", '.', '-');
  EXPECT_EQ(FormatDateTime(GetParam().pattern, kApril3), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Letters, FormatDateTimeTest,
    ::testing::Values(
        // "/" and ":" are the system's separators; "mm" after an hour is minutes.
        FormatCase{"dd/mm/yyyy hh:mm:ss:zzz", "03.04.2020 14-05-09-007"},
        FormatCase{"ddmmyyyy_hhmmss", "03042020_140509"},
        FormatCase{"mmddyyyy-hhmmss", "04032020-140509"},
        // Three year letters already give the four-digit year.
        FormatCase{"ddmmyyy_hhmmss", "03042020_140509"}, FormatCase{"yy", "20"},
        FormatCase{"d-m h:n:s z", "3-4 14-5-9 7"}, FormatCase{"'dd/mm' dd", "dd/mm 03"},
        FormatCase{"DD_MM_YYYY", "03_04_2020"}));

}  // namespace
