#include "common/DatGenStringsFunctions.h"

#include <gtest/gtest.h>

#include "LocaleFixture.h"
#include "common/TStringList.h"

namespace {

TEST(YesNo, TextsBothWays) {
  EXPECT_EQ(BoolToYN(true), "Y");
  EXPECT_EQ(BoolToYN(false), "N");
  for (const char* yes : {"Y", "y", "TRUE", "true", "True"}) EXPECT_TRUE(YNToBool(yes)) << yes;
  for (const char* no : {"", "N", "YES", "1", " Y", "T"}) EXPECT_FALSE(YNToBool(no)) << no;
}

struct DatePatternCase {
  const char* short_date;
  bool with_time;
  const char* expected;
};

class FileDatePatternTest : public ::testing::TestWithParam<DatePatternCase> {};

TEST_P(FileDatePatternTest, FollowsDayMonthOrderOfShortDate) {
  ScopedLocale locale(GetParam().short_date);
  EXPECT_EQ(GetFileDatePattern(GetParam().with_time), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Orders, FileDatePatternTest,
                         ::testing::Values(DatePatternCase{"dd/MM/yyyy", false, "ddmmyyyy"},
                                           DatePatternCase{"M/d/yyyy", false, "mmddyyyy"},
                                           DatePatternCase{"yyyy-MM-dd", false, "mmddyyyy"},
                                           DatePatternCase{"yyyy-MM-dd", true, "mmddyyyy-hhmmss"},
                                           DatePatternCase{"yy.dd.MM", true, "ddmmyyyy-hhmmss"},
                                           DatePatternCase{"yyyy", false, ""},
                                           DatePatternCase{"", false, "ddmmyyyy"},
                                           DatePatternCase{"ggyy", true, "ddmmyyyy-hhmmss"}));

TEST(Tokens, CutTokenTakesTextBeforeDelimiter) {
  std::string source = "a;b;x";
  EXPECT_EQ(CutToken(source, ";"), "a");
  EXPECT_EQ(source, "b;x");
  source = "abx";
  EXPECT_EQ(CutToken(source, ";"), "abx");
  EXPECT_EQ(source, "");
  source = "ab::cd";
  EXPECT_EQ(CutToken(source, "::"), "ab");
  EXPECT_EQ(source, "cd");
}

TEST(Tokens, CutTokenIntTrimsAndFallsBack) {
  std::string source = " 192 .x. -3.4000000000";
  EXPECT_EQ(CutTokenInt(source, ".", -1), 192);
  EXPECT_EQ(CutTokenInt(source, ".", -1), -1);
  EXPECT_EQ(CutTokenInt(source, ".", -1), -3);
  EXPECT_EQ(CutTokenInt(source, ".", -1), -1);  // beyond the 32-bit range
  EXPECT_EQ(source, "");
  EXPECT_EQ(CutTokenInt(source, ".", 7), 7);  // empty
}

struct ReplaceCase {
  const char* text;
  const char* find;
  const char* replacement;
  int flags;
  const char* expected;
};

class ReplaceTextTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceTextTest, Replaces) {
  ScopedLocale locale;
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(ReplaceText(c.text, c.find, c.replacement, c.flags), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, ReplaceTextTest,
    ::testing::Values(ReplaceCase{"aXbXc", "X", "-", 0, "a-bXc"},
                      ReplaceCase{"aXbXc", "X", "-", rfReplaceAll, "a-b-c"},
                      ReplaceCase{"aXbxc", "x", "-", rfReplaceAll, "aXb-c"},
                      ReplaceCase{"aXbxc", "x", "-", rfReplaceAll | rfIgnoreCase, "a-b-c"},
                      // Replacement is not searched again.
                      ReplaceCase{"aa", "a", "aa", rfReplaceAll, "aaaa"},
                      ReplaceCase{"abc", "", "z", rfReplaceAll, "abc"},
                      // ANSI letters fold too: e acute against E acute.
                      ReplaceCase{"caf\xE9!", "\xC9", "e", rfIgnoreCase, "cafe!"}));

TEST(Replace, ReplaceAllCaseIsCaseSensitiveAndIgnoresEmptyFind) {
  EXPECT_EQ(ReplaceAllCase("%MSG% and %msg% and %MSG%", "%MSG%", "x"), "x and %msg% and x");
  EXPECT_EQ(ReplaceAllCase("abc", "", "x"), "abc");
}

TEST(Replace, HebrewCodePageFoldsOnlyAsciiLetters) {
  ScopedLocale locale("dd/MM/yyyy", '/', ':', 1255);
  EXPECT_EQ(AnsiUpperCase("ab\xE9"), "AB\xE9");
  EXPECT_FALSE(SameText("\xE9", "\xC9"));
}

TEST(TextAfterTest, FirstOccurrenceCaseSensitive) {
  EXPECT_EQ(TextAfter("\\\\srv\\share\\DB", "\\share"), "\\DB");
  EXPECT_EQ(TextAfter("a=b=c", "="), "b=c");
  EXPECT_EQ(TextAfter("abc", "B"), "");
  EXPECT_EQ(TextAfter("\\\\srv\\share\\DB", ""), "");  // an empty marker marks nothing
}

struct UrlCase {
  const char* text;
  const char* expected;
};

class EncodeUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(EncodeUrlTest, Escapes) {
  EXPECT_EQ(EncodeUrl(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EncodeUrlTest,
    ::testing::Values(
        UrlCase{"a b,x\r\nd", "a%20b%2Cx%20d"},
        // A run of breaks is one space; a run ends at any other character.
        UrlCase{"a\r\n\r\n\tb", "a%20b"}, UrlCase{"a\n \nb", "a%20%20%20b"},
        UrlCase{"$&+,/:;=?@ <>#%{}|\\^~[]`\"",
                "%24%26%2B%2C%2F%3A%3B%3D%3F%40%20%3C%3E%23%25%7B%7D%7C%5C%5E%7E%5B%5D%60%22"},
        // Unreserved and high characters are copied.
        UrlCase{"A-z_0.9!*'()\xE9", "A-z_0.9!*'()\xE9"}, UrlCase{"", ""}));

TEST(NameValue, GetListValueFindsFirstMatchIgnoringCase) {
  TStringList list;
  list.Add("Server=one");
  list.Add("path=C:\\a=b");
  list.Add("PATH=second");
  std::string value;
  int index = 0;
  EXPECT_TRUE(GetListValue(list, "Path", value, index));
  EXPECT_EQ(value, "C:\\a=b");
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(GetListValue(list, "Port", value, index));
  EXPECT_EQ(value, "");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(MakeKeyValue("Contacts.ADT", "Y"), "Contacts.ADT=Y");
}

TEST(Lines, SplitOnEveryLineEnd) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(Numbers, StrToIntDefAcceptsOnlyPlainDecimal) {
  EXPECT_EQ(StrToIntDef("42", 0), 42);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), -2147483648LL);
  for (const char* bad : {"", "-", "4 2", "2147483648", "0x10", "1.5"})
    EXPECT_EQ(StrToIntDef(bad, -9), -9) << bad;
}

}  // namespace
