// The condition grammar: which records a filter lets through, and where a
// bad condition is reported.
#include <gtest/gtest.h>

#include "TableTestSupport.h"
#include "engine/expr/Condition.h"
#include "engine/expr/ConditionEval.h"
#include "engine/table/TableCursor.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine_test::DatabaseFolder;

class Conditions : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<FieldDef> fields = {
        {"Type", FieldType::Character, 3}, {"TABLE_NAME", FieldType::Character, 20},
        {"N", FieldType::Integer, 0},      {"AMOUNT", FieldType::Double, 0},
        {"BORN", FieldType::Date, 0},      {"ACTIVE", FieldType::Logical, 0},
        {"NOTE", FieldType::Character, 10}};
    const auto null = std::nullopt;
    ASSERT_TRUE(engine_test::MakeTable(db_.Connection(), "Cond.ADT", fields,
                                       {
                                           {"U", "Contacts", "5", "1.5", "2000-01-01", "T", "x"},
                                           {"S", "SysLock", "-3", "2", "1999-12-31", "F", ""},
                                           {"U", "Accounts", "10", null, null, null, null},
                                           {"u", "Lower", "0", "-1e3", "2024-02-29", "T", "it's"},
                                           {null, "Orphan", null, "0", "1900-01-01", "F", "\xE9"},
                                       })
                    .ok());
    table_ = engine_test::OpenOrFail(db_.Connection(), "Cond.ADT");
    ASSERT_TRUE(table_);
  }

  // The record numbers the filter lets through, or the error's code.
  std::vector<uint32_t> Matching(const std::string& filter) {
    engine::TableCursor cursor(*table_);
    const engine::Status set = cursor.SetFilter(filter);
    EXPECT_TRUE(set.ok()) << filter << ": " << set.Message();
    std::vector<uint32_t> recnos;
    EXPECT_TRUE(cursor.First().ok());
    while (!cursor.Eof()) {
      recnos.push_back(cursor.RecNo());
      EXPECT_TRUE(cursor.Next().ok());
    }
    return recnos;
  }

  DatabaseFolder db_;
  std::unique_ptr<engine::Table> table_;
};

TEST_F(Conditions, FiltersLetThroughExactlyTheRecordsTheyDescribe) {
  using R = std::vector<uint32_t>;
  const std::vector<std::pair<std::string, R>> cases = {
      // Character comparisons ignore trailing blanks, on either side.
      {"Type = 'U' ", {1, 3}},
      {"TYPE='U'", {1, 3}},
      {"Type = 'U  '", {1, 3}},
      {"'U' = Type", {1, 3}},
      {"[Type] = 'U'", {1, 3}},
      {"\"type\" = 'U'", {1, 3}},
      {"Type = 'u'", {4}},
      {"NOTE = ''", {2}},
      {"NOTE = 'it''s'", {4}},
      // Character order is the character table's: 'A' sorts before 'b',
      // and e-acute right after 'e', whatever their byte values.
      {"TABLE_NAME < 'b'", {3}},
      {"TABLE_NAME > 'M'", {2, 5}},
      {"NOTE < 'f'", {2, 5}},
      {"NOTE >= 'f'", {1, 4}},
      // Numbers, dates and logicals by value.
      {"N > 0", {1, 3}},
      {"N >= 0", {1, 3, 4}},
      {"N <= -3", {2}},
      {"N = 5.0", {1}},
      {"N = '5'", {1}},
      {"N <> 5", {2, 3, 4}},
      {"N != 5", {2, 3, 4}},
      {"5 < N", {3}},
      {"AMOUNT < -999.5", {4}},
      {"AMOUNT > N", {2}},
      {"BORN < '2000-01-01'", {2, 5}},
      {"BORN = '2024-02-29'", {4}},
      {"ACTIVE = TRUE", {1, 4}},
      {"ACTIVE = 'F'", {2, 5}},
      {"ACTIVE <> false", {1, 4}},
      // NULL: IS NULL finds it; a comparison with it is unknown, and NOT of
      // unknown is still unknown.
      {"Type IS NULL", {5}},
      {"Type IS NOT NULL", {1, 2, 3, 4}},
      {"n is null", {5}},
      {"Type <> 'U'", {2, 4}},
      {"NOT Type = 'U'", {2, 4}},
      {"NOT ACTIVE = TRUE", {2, 5}},
      // AND before OR; parentheses and NOT.
      {"Type = 'U' AND N > 5", {3}},
      {"Type = 'U' OR Type = 'S'", {1, 2, 3}},
      {"Type = 'S' OR Type = 'U' AND N > 5", {2, 3}},
      {"(Type = 'S' OR Type = 'U') AND N > 5", {3}},
      {"NOT (Type = 'U' OR N < 0)", {4}},
      {"NOT NOT Type = 'S'", {2}},
      {"Type = 'U' or Type IS NULL", {1, 3, 5}},
      {"Type IS NULL OR N > 100", {5}},
      // Literals on both sides are decided once.
      {"1 = 1", {1, 2, 3, 4, 5}},
      {"'a' = 'b'", {}},
      {"TRUE = FALSE", {}},
      {"-1 < +1", {1, 2, 3, 4, 5}},
  };
  for (const auto& [filter, expected] : cases) EXPECT_EQ(Matching(filter), expected) << filter;
}

TEST_F(Conditions, SyntaxErrorsGiveThePosition) {
  const std::vector<std::pair<std::string, size_t>> cases = {
      {"", 1},
      {"Type = ", 8},
      {"Type 'U'", 6},
      {"Type = 'U", 8},
      {"(Type = 'U'", 12},
      {"Type = 'U')", 11},
      {"Type = 'U' AND", 15},
      {"Type = 'U' Type = 'S'", 12},
      {"Type IS 'U'", 9},
      {"AND = 1", 1},
      {"Type # 'U'", 6},
      {"N = -", 6},
      {"[Type = 'U'", 1},
      {"Type = 'U' AND NOT", 19},
  };
  for (const auto& [text, position] : cases) {
    auto tree = engine::ParseCondition(text);
    ASSERT_FALSE(tree.ok()) << text;
    EXPECT_EQ(tree.status().Code(), engine::AE_FILTER_SYNTAX) << text;
    EXPECT_NE(tree.status().Message().find("position " + std::to_string(position) + " "),
              std::string::npos)
        << text << ": " << tree.status().Message();
  }
}

TEST_F(Conditions, ComparisonsOfValuesThatDoNotCompareAreErrors) {
  const std::vector<std::tuple<std::string, int, size_t>> cases = {
      {"Type = 5", engine::AE_FILTER_TYPE, 8},
      {"N = 'abc'", engine::AE_FILTER_TYPE, 5},
      {"BORN = '2000-13-01'", engine::AE_FILTER_TYPE, 8},
      {"BORN = 20000101", engine::AE_FILTER_TYPE, 8},
      {"ACTIVE = 1", engine::AE_FILTER_TYPE, 10},
      {"Type = N", engine::AE_FILTER_TYPE, 1},
      {"Type = NULL", engine::AE_FILTER_TYPE, 8},
      {"'a' = 1", engine::AE_FILTER_TYPE, 7},
      {"Nope = 'x'", engine::AE_FIELD_NOT_FOUND, 1},
      {"Type = 'U' AND [Not There] IS NULL", engine::AE_FIELD_NOT_FOUND, 16},
  };
  for (const auto& [text, code, position] : cases) {
    auto compiled = engine::CompileCondition(text, table_->Schema(), table_->Environment().Chars);
    ASSERT_FALSE(compiled.ok()) << text;
    EXPECT_EQ(compiled.status().Code(), code) << text << ": " << compiled.status().Message();
    EXPECT_NE(compiled.status().Message().find("position " + std::to_string(position) + " "),
              std::string::npos)
        << text << ": " << compiled.status().Message();
  }
}

TEST_F(Conditions, NestingIsBoundedAndLongConditionsDoNotExhaustTheStack) {
  const auto repeat = [](const std::string& part, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += part;
    return text;
  };
  const size_t limit = engine::kMaxConditionNesting;
  // At the limit the filter works.
  EXPECT_EQ(Matching(repeat("(", limit) + "Type = 'S'" + repeat(")", limit)),
            std::vector<uint32_t>{2});
  EXPECT_EQ(Matching(repeat("NOT ", limit) + "Type = 'S'"), std::vector<uint32_t>{2});
  EXPECT_EQ(Matching(repeat("NOT (", limit / 2) + "Type = 'S'" + repeat(")", limit / 2)),
            std::vector<uint32_t>{2});
  // One past it, or far past it, is a syntax error at the first level too many.
  const struct {
    std::string text;
    size_t position;
  } too_deep[] = {
      {repeat("(", limit + 1) + "Type = 'S'" + repeat(")", limit + 1), limit + 1},
      {repeat("(", 10000) + "Type = 'S'" + repeat(")", 10000), limit + 1},
      {repeat("(", 10000), limit + 1},
      {repeat("NOT ", 10000) + "Type = 'S'", 4 * limit + 1},
      {repeat("NOT (", 5000), 5 * (limit / 2) + 1},
  };
  for (const auto& c : too_deep) {
    engine::TableCursor cursor(*table_);
    const engine::Status set = cursor.SetFilter(c.text);
    ASSERT_FALSE(set.ok()) << c.text.substr(0, 40);
    EXPECT_EQ(set.Code(), engine::AE_FILTER_SYNTAX);
    EXPECT_NE(set.Message().find("position " + std::to_string(c.position) + " "), std::string::npos)
        << set.Message().substr(0, 200);
  }
  // A long chain of ORs and ANDs nests nothing and is evaluated whole.
  EXPECT_EQ(Matching(repeat("N = 99 OR ", 100000) + "Type = 'S'"), std::vector<uint32_t>{2});
  EXPECT_EQ(Matching(repeat("N > -99 AND ", 100000) + "Type = 'S'"), std::vector<uint32_t>{2});
}

TEST(ConditionParser, AStatementParserTakesTheConditionAndGoesOnAfterIt) {
  const std::string statement = "delete from Contacts where RECID is null  or RECID = '' ;";
  engine::ConditionLexer lexer(statement, statement.find("RECID"));
  auto tree = engine::ParseConditionFrom(lexer);
  ASSERT_TRUE(tree.ok()) << tree.status().Message();
  EXPECT_EQ(lexer.Peek().Kind, engine::TokenKind::Semicolon);
  EXPECT_EQ(lexer.Peek().Position, statement.size());
  const engine::ConditionNode& root = tree->Nodes[static_cast<size_t>(tree->Root)];
  EXPECT_EQ(root.Kind, engine::NodeKind::Or);
  EXPECT_EQ(tree->Nodes[static_cast<size_t>(root.First)].Kind, engine::NodeKind::IsNull);

  // Errors count positions in the whole statement.
  const std::string bad = "delete from T where RECID = ";
  engine::ConditionLexer bad_lexer(bad, bad.find("RECID"));
  auto failed = engine::ParseConditionFrom(bad_lexer);
  ASSERT_FALSE(failed.ok());
  EXPECT_NE(failed.status().Message().find("position 29 "), std::string::npos)
      << failed.status().Message();
}

}  // namespace
