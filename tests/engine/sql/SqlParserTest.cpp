// The SQL statements the engine runs: what they parse into, where a bad one
// is reported, and that no input makes the parser fall over.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/expr/ConditionEval.h"
#include "engine/record/Record.h"
#include "engine/sql/SqlParser.h"
#include "engine/util/CharTable.h"
#include "engine/util/SqlErrors.h"

namespace {

using engine::ConditionNode;
using engine::ConditionTree;
using engine::NodeKind;
using engine::Operand;
using engine::OperandKind;

std::string Describe(const Operand& operand) {
  switch (operand.Kind) {
    case OperandKind::Field:
      return operand.Text;
    case OperandKind::Text:
      return "'" + operand.Text + "'";
    case OperandKind::Number:
      return operand.Text;
    case OperandKind::True:
      return "TRUE";
    case OperandKind::False:
      return "FALSE";
    case OperandKind::Null:
      return "NULL";
  }
  return "?";
}

std::string Describe(const ConditionTree& tree, int index) {
  const ConditionNode& node = tree.Nodes[static_cast<size_t>(index)];
  static const char* const kOps[] = {"=", "<>", "<", ">", "<=", ">="};
  switch (node.Kind) {
    case NodeKind::And:
      return "(" + Describe(tree, node.First) + " AND " + Describe(tree, node.Second) + ")";
    case NodeKind::Or:
      return "(" + Describe(tree, node.First) + " OR " + Describe(tree, node.Second) + ")";
    case NodeKind::Not:
      return "NOT " + Describe(tree, node.First);
    case NodeKind::IsNull:
      return Describe(node.Left) + " IS NULL";
    case NodeKind::IsNotNull:
      return Describe(node.Left) + " IS NOT NULL";
    case NodeKind::Compare:
      return Describe(node.Left) + " " + kOps[static_cast<int>(node.Op)] + " " +
             Describe(node.Right);
  }
  return "?";
}

// One line that says everything a statement was parsed into.
std::string Describe(const engine::SqlStatement& statement) {
  if (const auto* create = statement.CreateIndex()) {
    std::string noise;
    for (const std::string& word : create->Words.NoiseWords) noise += "<" + word + ">";
    return "CREATE " + create->IndexName + " ON " + create->Table.Name + " (" + create->Expression +
           ") MIN " + std::to_string(create->Words.MinWordLength) + " MAX " +
           std::to_string(create->Words.MaxWordLength) + " NOISE " + noise;
  }
  const auto* del = statement.Delete();
  std::string text = "DELETE " + del->Table.Name;
  if (del->Where)
    text += " WHERE " + Describe(*del->Where, del->Where->Root) + " {" + del->WhereText + "}";
  return text;
}

TEST(SqlParser, StatementsParseIntoWhatTheySay) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // The record-id repair of the rebuild, exactly as it builds it.
      {"delete from Contacts where RECID is null  or RECID = ''",
       "DELETE Contacts WHERE (RECID IS NULL OR RECID = '') {RECID is null  or RECID = ''}"},
      {"DELETE FROM Contacts", "DELETE Contacts"},
      {"  Delete\r\nFrom Contacts.ADT ; ", "DELETE Contacts.ADT"},
      {"delete from \"Contacts.ADT\" where not (Type = 'U' and N > -5);",
       "DELETE Contacts.ADT WHERE NOT (Type = 'U' AND N > -5) {not (Type = 'U' and N > -5)}"},
      {"delete from [My Table] where [RECID] is not null",
       "DELETE My Table WHERE RECID IS NOT NULL {[RECID] is not null}"},
      {"delete from T.1 where A = 'it''s'", "DELETE T.1 WHERE A = 'it's' {A = 'it''s'}"},
      {"delete from Backup.Contacts.ADT", "DELETE Backup.Contacts.ADT"},
      {"delete from [on]", "DELETE on"},
      // The full-text statement as the rebuild formats it: no options and no
      // noise words leave two blanks after CONTENT.
      {"CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT  ",
       "CREATE FTS_Notes ON Contacts (Notes) MIN 1 MAX 60 NOISE "},
      {"CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT MIN_WORD_LENGTH 3 'a b'",
       "CREATE FTS_Notes ON Contacts (Notes) MIN 3 MAX 60 NOISE <a><b>"},
      // A noise word section with an empty value gives two blanks.
      {"CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT  'a  b'",
       "CREATE FTS_Notes ON Contacts (Notes) MIN 1 MAX 60 NOISE <a><b>"},
      {"create index Ft on Contacts.ADT ( Notes;Comments ; [Other Notes] ) content "
       "max_word_length=20 Min_Word_Length 2 ' the\tan  A '",
       "CREATE Ft ON Contacts.ADT (Notes;Comments;Other Notes) MIN 2 MAX 20 NOISE <the><an><A>"},
      {"CREATE INDEX [Notes index] ON \"CWorkers.adt\" (Notes) CONTENT '';",
       "CREATE Notes index ON CWorkers.adt (Notes) MIN 1 MAX 60 NOISE "},
      {"CREATE INDEX X ON T (A) CONTENT MIN_WORD_LENGTH 120 MAX_WORD_LENGTH 120",
       "CREATE X ON T (A) MIN 120 MAX 120 NOISE "},
      {"CREATE INDEX X ON T (A) CONTENT MAX_WORD_LENGTH 1", "CREATE X ON T (A) MIN 1 MAX 1 NOISE "},
      {"CREATE INDEX X ON T (A) CONTENT 'a don''t'",
       "CREATE X ON T (A) MIN 1 MAX 60 NOISE <a><don't>"},
  };
  for (const auto& [text, expected] : cases) {
    size_t position = 99;
    const auto parsed = engine::ParseSql(text, &position);
    ASSERT_TRUE(parsed.ok()) << text << ": " << parsed.status().Message();
    EXPECT_EQ(Describe(parsed.value()), expected) << text;
    EXPECT_EQ(parsed->Text, text);
    EXPECT_EQ(position, 99u) << "an error position was set for a good statement";
  }
}

TEST(SqlParser, NamesKeepTheirPlaceInTheStatement) {
  const std::string text = "CREATE INDEX FTS_Notes ON Contacts.ADT ( Notes ) CONTENT";
  const auto parsed = engine::ParseSql(text);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed->CreateIndex()->IndexNamePosition, text.find("FTS_Notes") + 1);
  EXPECT_EQ(parsed->CreateIndex()->Table.Position, text.find("Contacts") + 1);
}

// The condition of a DELETE binds to a table's fields like a filter, and its
// positions (for binding errors) count in the whole statement.
TEST(SqlParser, DeleteConditionBindsAndSelectsTheRecordsWithoutRecordId) {
  const auto schema = engine::TableSchema::Make(
      {{"RECID", engine::FieldType::Character, 16}, {"N", engine::FieldType::Integer, 0}});
  ASSERT_TRUE(schema.ok());
  const std::string text = "delete from Contacts where RECID is null  or RECID = ''";
  const auto parsed = engine::ParseSql(text);
  ASSERT_TRUE(parsed.ok());
  const auto compiled = engine::CompiledCondition::Compile(
      *parsed->Delete()->Where, parsed->Text, schema.value(), engine::DefaultCharTable());
  ASSERT_TRUE(compiled.ok()) << compiled.status().Message();

  struct Row {
    std::optional<std::string> recid;
    bool deleted;
  };
  const std::vector<Row> rows = {{std::nullopt, true}, {"", true},     {"   ", true},
                                 {"a1", false},        {" a1", false}, {"0", false}};
  for (const Row& row : rows) {
    engine::RecordBuilder record(schema.value());
    if (row.recid) {
      ASSERT_TRUE(record.SetChars(0, *row.recid).ok());
    }
    EXPECT_EQ(compiled->Matches(record.View()), row.deleted)
        << (row.recid ? "'" + *row.recid + "'" : "NULL");
  }

  const std::string unknown = "delete from Contacts where NOPE = 1";
  const auto bad = engine::ParseSql(unknown);
  ASSERT_TRUE(bad.ok());
  const auto not_bound = engine::CompiledCondition::Compile(
      *bad->Delete()->Where, bad->Text, schema.value(), engine::DefaultCharTable());
  ASSERT_FALSE(not_bound.ok());
  EXPECT_NE(
      not_bound.status().Message().find("position " + std::to_string(unknown.find("NOPE") + 1)),
      std::string::npos)
      << not_bound.status().Message();
}

struct BadStatement {
  std::string text;
  std::string at;  // the error is at the first occurrence of this text; "" for the end
  std::string says;
  int code = engine::AE_SQL_SYNTAX;
};

TEST(SqlParser, BadStatementsAreSyntaxErrorsWithTheirPosition) {
  const std::string deep(300, '(');
  const std::string nots = [] {
    std::string text;
    for (int i = 0; i < 250; ++i) text += "NOT ";
    return text;
  }();
  const std::vector<BadStatement> cases = {
      {"", "", "a statement is expected"},
      {"   ", "", "a statement is expected"},
      {"SELECT * FROM Contacts", "SELECT", "does not begin a statement"},
      {"'delete'", "'", "does not begin a statement"},
      {"# comment", "#", "unexpected character '#'"},
      {"CREATE TABLE T (A)", "TABLE", "INDEX is expected after CREATE"},
      {"CREATE INDEX ON Contacts (Notes) CONTENT", "ON", "not the keyword ON"},
      {"CREATE INDEX FTS-Notes ON Contacts (Notes) CONTENT", "-", "ON is expected"},
      {"CREATE INDEX FTS_Notes Contacts (Notes) CONTENT", "Contacts", "ON is expected"},
      {"CREATE INDEX F ON Contacts Notes CONTENT", "Notes", "'(' opening the indexed fields"},
      {"CREATE INDEX F ON T ( ) CONTENT", ")", "a field name is expected"},
      {"CREATE INDEX F ON T (A, B) CONTENT", ",", "separated by ';', not ','"},
      {"CREATE INDEX F ON T (A;) CONTENT", ")", "a field name is expected"},
      {"CREATE INDEX F ON T (A", "", "';' or ')' after the field A"},
      {"CREATE INDEX F ON T (A)", "", "CONTENT is expected"},
      {"CREATE INDEX F ON T (A) WHERE", "WHERE", "CONTENT is expected"},
      // Options texts a definition file may hold: each is named.
      {"CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT X 'a b'", "X 'a",
       "the content option X is not known"},
      {"CREATE INDEX F ON T (A) CONTENT MINWORDLENGTH 3", "MINWORDLENGTH",
       "the content option MINWORDLENGTH is not known"},
      {"CREATE INDEX F ON T (A) CONTENT *X", "*", "the content option '*' is not known"},
      {"CREATE INDEX F ON T (A) CONTENT 3", "3", "the content option '3' is not known"},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH", "",
       "a whole number after MIN_WORD_LENGTH"},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH 2.5", "2.5", "a whole number"},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH -2", "-", "a whole number"},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH 0", "0",
       "MIN_WORD_LENGTH 0 is outside 1..120", engine::AE_SQL_VALUE},
      {"CREATE INDEX F ON T (A) CONTENT max_word_length 121", "121",
       "MAX_WORD_LENGTH 121 is outside 1..120", engine::AE_SQL_VALUE},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH 99999999999999999999999", "9",
       "is outside 1..120", engine::AE_SQL_VALUE},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH 5 MAX_WORD_LENGTH 4", "MAX",
       "MIN_WORD_LENGTH 5 is more than MAX_WORD_LENGTH 4", engine::AE_SQL_VALUE},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH 70", "MIN",
       "MAX_WORD_LENGTH 60 (its default)", engine::AE_SQL_VALUE},
      {"CREATE INDEX F ON T (A) CONTENT MIN_WORD_LENGTH 2 min_word_length 3", "min_",
       "MIN_WORD_LENGTH is given twice"},
      {"CREATE INDEX F ON T (A) CONTENT 'a' 'b'", "'b'", "the noise word list ends the statement"},
      {"CREATE INDEX F ON T (A) CONTENT 'a' MIN_WORD_LENGTH 2", "MIN", "noise word list ends"},
      // A quote inside a noise word must be written twice.
      {"CREATE INDEX F ON T (A) CONTENT 'don't'", "t'", "the noise word list ends the statement"},
      {"delete Contacts", "Contacts", "FROM is expected after DELETE"},
      {"delete from", "", "a table name is expected, not the end"},
      {"delete from where A = 1", "where", "not the keyword where"},
      {"delete from []", "[", "a table name is empty"},
      {"delete from Contacts. where A = 1", ".", "ends with a dot"},
      {"delete from Contacts where", "", "(in the condition)"},
      {"delete from Contacts where RECID is nul", "nul", "NULL is expected after IS"},
      {"delete from Contacts where RECID = 'x' garbage", "garbage",
       "is not expected after the end"},
      {"delete from Contacts where A = 1 AND (B = 2", "", "')' is expected"},
      {"delete from Contacts where A = 'open", "'open", "a text is not closed"},
      {"delete from Contacts; x", "x", "nothing may follow the ';'"},
      {"delete from Contacts @", "@", "unexpected character '@'"},
      {"delete from Contacts where " + deep + "A = 1", "(", "nests deeper than 200"},
      {"delete from Contacts where " + nots + "A = 1", "NOT", "nests deeper than 200"},
  };
  for (const BadStatement& bad : cases) {
    size_t position = 0;
    const auto parsed = engine::ParseSql(bad.text, &position);
    ASSERT_FALSE(parsed.ok()) << bad.text;
    const std::string& message = parsed.status().Message();
    EXPECT_EQ(parsed.status().Code(), bad.code) << message;
    size_t expected = bad.at.empty() ? bad.text.size() + 1 : bad.text.find(bad.at) + 1;
    // The nesting limit is met inside the run of "(" or NOTs, not at its start.
    if (bad.says.find("nests deeper") != std::string::npos) {
      EXPECT_GT(position, bad.text.find(bad.at)) << message;
      expected = position;
    }
    EXPECT_EQ(position, expected) << bad.text << "\n" << message;
    EXPECT_NE(message.find("at position " + std::to_string(expected) + " of the statement \"" +
                           bad.text + "\""),
              std::string::npos)
        << message;
    EXPECT_NE(message.find(bad.says), std::string::npos) << message;
  }
}

// Random texts built from the statements' own pieces, random bytes, and
// good statements with bytes changed: every one parses or fails with a
// position inside the text, and none brings the parser down.
TEST(SqlParser, RandomInputsNeverCrashAndErrorsStayInsideTheText) {
  std::mt19937 random(20240607);
  const std::vector<std::string> pieces = {"CREATE",
                                           "INDEX",
                                           "ON",
                                           "CONTENT",
                                           "DELETE",
                                           "FROM",
                                           "WHERE",
                                           "AND",
                                           "OR",
                                           "NOT",
                                           "IS",
                                           "NULL",
                                           "MIN_WORD_LENGTH",
                                           "MAX_WORD_LENGTH",
                                           "Contacts",
                                           "Contacts.ADT",
                                           ".",
                                           "(",
                                           ")",
                                           ";",
                                           ",",
                                           "=",
                                           "<>",
                                           "'",
                                           "''",
                                           "'a b'",
                                           "\"",
                                           "[",
                                           "]",
                                           "[x]",
                                           "1",
                                           "-",
                                           "2.5e3",
                                           "*",
                                           " ",
                                           "  ",
                                           "\t",
                                           "\r\n",
                                           "RECID",
                                           "!",
                                           "\xE9",
                                           std::string(1, '\0'),
                                           "((((",
                                           "NOT NOT"};
  const std::vector<std::string> good = {
      "delete from Contacts where RECID is null  or RECID = ''",
      "CREATE INDEX FTS_Notes ON Contacts ( Notes;Comments ) CONTENT MIN_WORD_LENGTH 3 'a b'"};
  auto check = [](const std::string& text) {
    size_t position = 0;
    const auto parsed = engine::ParseSql(text, &position);
    if (parsed.ok()) return;
    EXPECT_TRUE(parsed.status().Code() == engine::AE_SQL_SYNTAX ||
                parsed.status().Code() == engine::AE_SQL_VALUE)
        << parsed.status().Message();
    EXPECT_GE(position, 1u);
    EXPECT_LE(position, text.size() + 1) << parsed.status().Message();
  };
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 30);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    check(text);

    std::string bytes(random() % 40, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    check(bytes);

    std::string changed = good[random() % good.size()];
    for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits) {
      const size_t at = random() % changed.size();
      switch (random() % 3) {
        case 0:
          changed[at] = static_cast<char>(random() % 256);
          break;
        case 1:
          changed.erase(at, 1 + random() % 4);
          break;
        default:
          changed.insert(at, pieces[random() % pieces.size()]);
          break;
      }
      if (changed.empty()) changed = " ";
    }
    check(changed);
  }
  // Nesting far past the limit, in every way the condition parser recurses.
  check("delete from T where " + std::string(100000, '(') + "A = 1");
  std::string nots;
  for (int i = 0; i < 50000; ++i) nots += "NOT (";
  check("delete from T where " + nots + "A = 1");
}

}  // namespace
