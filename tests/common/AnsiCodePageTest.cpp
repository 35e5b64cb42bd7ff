#include "common/AnsiCodePage.h"

#include <gtest/gtest.h>

#include "LocaleFixture.h"

namespace {

TEST(AnsiCodePage, Windows1252BothWays) {
  ScopedLocale locale("dd/MM/yyyy", '/', ':', 1252);
  // e acute, euro sign, S caron: the last two differ from Latin-1.
  EXPECT_EQ(AnsiToUtf8("caf\xE9 \x80 \x8A"), "caf\xC3\xA9 \xE2\x82\xAC \xC5\xA0");
  EXPECT_EQ(Utf8ToAnsi("caf\xC3\xA9 \xE2\x82\xAC \xC5\xA0"), "caf\xE9 \x80 \x8A");
}

TEST(AnsiCodePage, Windows1255HebrewLetters) {
  ScopedLocale locale("dd/MM/yyyy", '/', ':', 1255);
  // alef, tav
  EXPECT_EQ(AnsiToUtf8("\xE0\xFA"), "\xD7\x90\xD7\xAA");
  EXPECT_EQ(Utf8ToAnsi("\xD7\x90\xD7\xAA"), "\xE0\xFA");
}

TEST(AnsiCodePage, EveryByteSurvivesARoundTrip) {
  for (int code_page : {1252, 1255}) {
    ScopedLocale locale("dd/MM/yyyy", '/', ':', code_page);
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all) << code_page;
  }
}

TEST(AnsiCodePage, UnmappableAndMalformedBecomeQuestionMarks) {
  ScopedLocale locale("dd/MM/yyyy", '/', ':', 1252);
  EXPECT_EQ(Utf8ToAnsi("a\xD7\x90z"), "a?z");  // alef has no windows-1252 byte
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");        // cut short
  EXPECT_EQ(Utf8ToAnsi("a\xFF"
                       "b"),
            "a?b");                                // not UTF-8 at all
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");  // beyond the BMP
}

}  // namespace
