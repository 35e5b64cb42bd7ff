#include "common/DatGenFieldsExtractor.h"

#include <gtest/gtest.h>

namespace {

using Fields = std::vector<std::pair<int, std::string>>;

Fields Extract(const std::string& line, const std::string& quote = "\"",
               const std::string& separator = ",") {
  Fields fields;
  TFieldsExtractor extractor;
  extractor.SetDelimiters(quote, separator);
  extractor.SetFieldCallback(
      [&](TFieldsExtractor&, int n, const std::string& text) { fields.emplace_back(n, text); });
  extractor.ExtractFieldsFromRec(line);
  return fields;
}

struct ExtractCase {
  const char* line;
  Fields expected;
};

class ExtractFieldsTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractFieldsTest, ReportsQuotedFields) {
  EXPECT_EQ(Extract(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ExtractFieldsTest,
    ::testing::Values(
        ExtractCase{R"("a","b x")", {{1, "a"}, {2, "b x"}}},
        ExtractCase{R"( "x" , "y" )", {{1, "x"}, {2, "y"}}},
        // A quote followed by a letter, or a blank and a letter, stays in the text.
        ExtractCase{R"("He said "hi" there","z")", {{1, R"(He said "hi" there)"}, {2, "z"}}},
        ExtractCase{R"("a",,"b")", {{1, R"(a",,"b)"}}}, ExtractCase{R"("a")", {{1, "a"}}},
        ExtractCase{R"("abc)", {}}, ExtractCase{R"(abc,"d")", {{1, "d"}}},
        // Fields before an unterminated one are still reported.
        ExtractCase{R"("a","b)", {{1, "a"}}}, ExtractCase{R"("","x")", {{1, ""}, {2, "x"}}},
        ExtractCase{"\t\"a\",\"b\"  \t", {{1, "a"}, {2, "b"}}}, ExtractCase{"", {}},
        ExtractCase{"   ", {}}, ExtractCase{"plain text, only", {}}));

TEST(FieldsExtractor, OtherDelimiters) {
  EXPECT_EQ(Extract("'a';'b;c'", "'", ";"), (Fields{{1, "a"}, {2, "b;c"}}));
}

TEST(FieldsExtractor, SetDelimitersClearsTheCallback) {
  int calls = 0;
  TFieldsExtractor extractor;
  extractor.SetFieldCallback([&](TFieldsExtractor&, int, const std::string&) { ++calls; });
  extractor.SetDelimiters("\"", ",");
  extractor.ExtractFieldsFromRec(R"("a")");
  EXPECT_EQ(calls, 0);
}

}  // namespace
