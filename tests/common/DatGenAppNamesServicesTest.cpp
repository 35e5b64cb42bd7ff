#include "common/DatGenAppNamesServices_Unit.h"

#include <gtest/gtest.h>

#include "LocaleFixture.h"

namespace {

struct SubstitutionCase {
  const char* text;
  const char* name;
  const char* expected;
};

class ReplaceProductNamesTest : public ::testing::TestWithParam<SubstitutionCase> {};

TEST_P(ReplaceProductNamesTest, Substitutes) {
  ScopedLocale locale;
  const SubstitutionCase& c = GetParam();
  EXPECT_EQ(ReplaceProductNames(c.text, c.name), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReplaceProductNamesTest,
    ::testing::Values(
        // A "VorlexCRM" brought in by the name survives the "Vorlex" step.
        SubstitutionCase{"About VorlexCRM and Vorlex tools", "VorlexCRM Pro",
                         "About VorlexCRM Pro and VorlexCRM Pro tools"},
        SubstitutionCase{"vorlexcrm.ini", "CRM", "CRM.ini"},
        SubstitutionCase{"VORLEXServer.sr1", "CRM", "CRMServer.sr1"},
        SubstitutionCase{"Welcome to \xE5\xE5\xF8\xEC\xF7\xF1!", "Acme", "Welcome to Acme!"},
        SubstitutionCase{"Run ***vlxgenprod107349*** now", "Acme", "Run Acme now"},
        // An empty name removes the product words.
        SubstitutionCase{"VorlexCRM Vorlex x", "", "  x"},
        SubstitutionCase{"nothing to change", "Acme", "nothing to change"}));

TEST(ProductToken, OnlyTheTokenIsReplaced) {
  EXPECT_EQ(ReplaceProductToken("VorlexCRM ***VlxGenProd107349*** ***VLXGENPROD107349***", "Acme"),
            "VorlexCRM Acme Acme");
}

TEST(ProductName, SetAndRead) {
  const std::string previous = GetProductName();
  SetProductName("VorlexCRM Enterprise");
  EXPECT_EQ(GetProductName(), "VorlexCRM Enterprise");
  SetProductName(previous);
}

}  // namespace
