// The engine's statements run on a connection: the rebuild's two statements
// and their variants, what a delete leaves (flagged records, exact tags),
// tables in use, errors with their cause and position, and that no
// statement leaves its table open or locked.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "TableTestSupport.h"
#include "engine/fulltext/FullTextTag.h"
#include "engine/sql/SqlExecute.h"
#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/SqlErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::Row;

const std::vector<FieldDef> kFields = {{"RECID", FieldType::Character, 8},
                                       {"NAME", FieldType::Character, 12},
                                       {"NOTES", FieldType::Character, 40},
                                       {"SCORE", FieldType::Integer, 0}};

const std::vector<Row> kRows = {
    {"r1", "Ann", "red apple pie", "10"},     {"", "Bob", "green apple", "20"},
    {std::nullopt, "Carl", "red wine", "30"}, {"r4", "Dora", std::nullopt, "40"},
    {"   ", "Eve", "Apple, RED!", "50"},      {"r6", "Finn", "pie", std::nullopt},
};

class SqlExecute : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_test::MakeTable(db_.Connection(), "Contacts.ADT", kFields, kRows).ok());
  }

  engine::Result<engine::SqlOutcome> Run(const std::string& sql) {
    return engine::ExecuteStatement(db_.Connection(), sql);
  }

  // The statement's table must be free again: an exclusive open succeeds.
  std::unique_ptr<engine::Table> OpenAlone() {
    return engine_test::OpenOrFail(db_.Connection(), "Contacts.ADT", OpenMode::Exclusive);
  }

  std::vector<uint32_t> LiveRecords() {
    auto table = OpenAlone();
    std::vector<uint32_t> live;
    if (!table) return live;
    engine::TableScanner scanner = table->Scan();
    while (scanner.Next()) live.push_back(scanner.RecNo());
    return live;
  }

  void ExpectIndexesExact() {
    auto table = OpenAlone();
    ASSERT_TRUE(table);
    const auto check = table->VerifyIndexes();
    ASSERT_TRUE(check.has_value());
    EXPECT_TRUE(check->Ok()) << ::testing::PrintToString(check->Lines());
  }

  void AddTags() {
    auto table = OpenAlone();
    ASSERT_TRUE(table);
    ASSERT_TRUE(table->AddIndex({"NAME", "NAME", {}}, 0).ok());
    ASSERT_TRUE(table->AddIndex({"SCORE", "SCORE;RECID", {false, true, false, false}}, 0).ok());
    ASSERT_TRUE(table->AddFullTextIndex({"FTS_Notes", "NOTES", {}}, 0).ok());
  }

  engine_test::DatabaseFolder db_;
};

TEST_F(SqlExecute, DeletesFlagTheRecordsTheConditionHoldsForAndKeepEveryTagExact) {
  const struct {
    const char* sql;
    std::vector<uint32_t> deleted;
  } cases[] = {
      {"delete from Contacts where RECID is null  or RECID = ''", {2, 3, 5}},
      {"DELETE FROM contacts.adt WHERE RECID IS NULL", {3}},
      {"delete from [Contacts.ADT] where (RECID = '') or (RECID is null);", {2, 3, 5}},
      {"delete from \"CONTACTS\" where SCORE >= 30 and not NAME = 'Eve'", {3, 4}},
      {"delete from Contacts where SCORE is null or NOTES is null", {4, 6}},
      {"delete from Contacts where RECID = 'nobody'", {}},
      {"delete from Contacts", {1, 2, 3, 4, 5, 6}},
  };
  for (bool with_tags : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.sql) + (with_tags ? " (with tags)" : " (no index file)"));
      ASSERT_TRUE(
          engine_test::MakeTableReplacing(db_.Connection(), "Contacts.ADT", kFields, kRows).ok());
      if (with_tags) AddTags();
      auto outcome = Run(c.sql);
      ASSERT_TRUE(outcome.ok()) << outcome.status().Message();
      EXPECT_EQ(outcome->What, engine::SqlOutcome::Kind::Deleted);
      EXPECT_EQ(outcome->RowsAffected, c.deleted.size());
      EXPECT_EQ(outcome->Table, "Contacts.ADT");
      std::vector<uint32_t> expected_live;
      for (uint32_t recno = 1; recno <= kRows.size(); ++recno) {
        if (std::find(c.deleted.begin(), c.deleted.end(), recno) == c.deleted.end())
          expected_live.push_back(recno);
      }
      EXPECT_EQ(LiveRecords(), expected_live);
      auto table = OpenAlone();
      ASSERT_TRUE(table);
      EXPECT_EQ(table->RecordCount(), kRows.size());  // flagged, not removed
      table.reset();
      if (with_tags) ExpectIndexesExact();
      // Nothing matches a second time.
      auto again = Run(c.sql);
      ASSERT_TRUE(again.ok()) << again.status().Message();
      EXPECT_EQ(again->RowsAffected, 0u);
    }
  }
}

TEST_F(SqlExecute, ContentIndexStatementsBuildTheTagTheyDescribe) {
  const struct {
    const char* sql;
    const char* tag;
    const char* search;
    std::vector<uint32_t> found;
  } cases[] = {
      {"CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT  ", "FTS_Notes", "red", {1, 3, 5}},
      {"CREATE INDEX FTS_Notes ON Contacts ( NOTES ) CONTENT MIN_WORD_LENGTH 4 "
       "MAX_WORD_LENGTH = 5 'green'",
       "FTS_Notes",
       "apple pie",
       {1, 2, 5}},  // "pie" is shorter than 4: left out
      {"create index FTS_Both on CONTACTS.adt (NAME; NOTES) content ''",
       "FTS_Both",
       "eve apple",
       {5}},
      {"CREATE INDEX [My Tag] ON \"Contacts.ADT\" ( NOTES ) CONTENT 'red';",
       "My Tag",
       "APPLE",
       {1, 2, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    auto outcome = Run(c.sql);
    ASSERT_TRUE(outcome.ok()) << outcome.status().Message();
    EXPECT_EQ(outcome->What, engine::SqlOutcome::Kind::IndexCreated);
    EXPECT_EQ(outcome->Index, c.tag);
    EXPECT_EQ(outcome->RowsAffected, 0u);
    auto table = OpenAlone();
    ASSERT_TRUE(table);
    auto found = table->SearchFullText(c.tag, c.search);
    ASSERT_TRUE(found.ok()) << found.status().Message();
    EXPECT_EQ(*found, c.found);
  }
  // The second statement replaced the first FTS_Notes: its settings hold.
  auto table = OpenAlone();
  ASSERT_TRUE(table);
  EXPECT_EQ(table->SearchFullText("FTS_Notes", "red").status().Code(),
            engine::AE_FULLTEXT_NO_WORDS);
  EXPECT_EQ(table->SearchFullText("FTS_Notes", "green apple").value(),
            (std::vector<uint32_t>{1, 2, 5}));
  auto indexes = table->Indexes();
  ASSERT_TRUE(indexes.ok() && *indexes);
  std::vector<std::string> names;
  for (const auto& tag : (*indexes)->Tags()) names.push_back(tag.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"FTS_Notes", "FTS_Both", "My Tag"}));
  table.reset();
  ExpectIndexesExact();
}

TEST_F(SqlExecute, ATableInUseAnswersTheInUseErrorAndNothingChanges) {
  const struct {
    const char* holder;
    OpenMode mode;
    bool index_file;
    const char* sql;
    bool runs;
  } cases[] = {
      {"exclusive", OpenMode::Exclusive, false, "delete from Contacts where RECID = ''", false},
      {"exclusive", OpenMode::Exclusive, false, "delete from Contacts where RECID = 'x'", false},
      {"exclusive", OpenMode::Exclusive, true, "CREATE INDEX F ON Contacts ( NOTES ) CONTENT",
       false},
      {"shared", OpenMode::Shared, false, "CREATE INDEX F ON Contacts ( NOTES ) CONTENT", false},
      {"shared", OpenMode::Shared, true, "delete from Contacts where RECID = ''", false},
      // Without an index to change, a delete shares the table.
      {"shared", OpenMode::Shared, false, "delete from Contacts where RECID = ''", true},
      // Nothing to delete needs nothing but a look.
      {"shared", OpenMode::Shared, true, "delete from Contacts where RECID = 'x'", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.holder) + (c.index_file ? " with index: " : ": ") + c.sql);
    ASSERT_TRUE(
        engine_test::MakeTableReplacing(db_.Connection(), "Contacts.ADT", kFields, kRows).ok());
    if (c.index_file) AddTags();
    const std::string index_path = db_ / "Contacts.Adi";
    const std::string index_before = c.index_file ? TempDir::ReadFile(index_path) : "";
    {
      auto holder = engine_test::OpenOrFail(db_.Connection(), "Contacts.ADT", c.mode);
      ASSERT_TRUE(holder);
      auto outcome = Run(c.sql);
      if (c.runs) {
        EXPECT_TRUE(outcome.ok()) << outcome.status().Message();
      } else {
        ASSERT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.status().Code(), engine::AE_TABLE_IN_USE) << outcome.status().Message();
        EXPECT_NE(outcome.status().Message().find("Contacts.ADT"), std::string::npos);
        EXPECT_EQ(holder->CountLiveRecords().value(), kRows.size());
      }
    }
    EXPECT_EQ(std::filesystem::exists(index_path), c.index_file);
    EXPECT_EQ(c.index_file ? TempDir::ReadFile(index_path) : "", index_before);
    EXPECT_TRUE(OpenAlone());
  }
}

TEST_F(SqlExecute, FailingStatementsNameTheirCauseChangeNothingAndLeaveTheTableFree) {
  AddTags();
  const std::string index_path = db_ / "Contacts.Adi";
  const std::string index_before = TempDir::ReadFile(index_path);
  const struct {
    const char* sql;
    int code;
    const char* message_part;
  } cases[] = {
      {"", engine::AE_SQL_SYNTAX, "position 1 "},
      {"SELECT * FROM Contacts", engine::AE_SQL_SYNTAX, "position 1 "},
      {"CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT X 'a b'", engine::AE_SQL_SYNTAX,
       "the content option X is not known"},
      {"delete from Contacts where RECID = ", engine::AE_SQL_SYNTAX, "position 36 "},
      {"delete from Nobody", engine::AE_TABLE_NOT_FOUND, "Nobody"},
      {"delete from Contacts where AGE = 1", engine::AE_FIELD_NOT_FOUND,
       "position 28 of the statement"},
      {"delete from Contacts where SCORE = 'ten'", engine::AE_FILTER_TYPE, "position 36 "},
      {"CREATE INDEX F ON Contacts ( NOTES; SCORE ) CONTENT", engine::AE_INDEX_BAD_FIELD,
       "field SCORE of table \"Contacts.ADT\", which is not a character field"},
      {"CREATE INDEX F ON Contacts ( NOTE ) CONTENT", engine::AE_INDEX_UNKNOWN_FIELD, "field NOTE"},
      {"CREATE INDEX F ON Contacts ( NOTES ) CONTENT MAX_WORD_LENGTH 121", engine::AE_SQL_VALUE,
       "outside 1..120"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    auto outcome = Run(c.sql);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.status().Code(), c.code) << outcome.status().Message();
    EXPECT_NE(outcome.status().Message().find(c.message_part), std::string::npos)
        << outcome.status().Message();
    EXPECT_EQ(TempDir::ReadFile(index_path), index_before);
    EXPECT_EQ(LiveRecords().size(), kRows.size());
  }
  // A delete on a table whose index file cannot be read flags nothing.
  engine_test::FlipByte(index_path, 30);  // in the header page
  auto outcome = Run("delete from Contacts where RECID = ''");
  ASSERT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.status().Code(), engine::AE_INDEX_CHECKSUM) << outcome.status().Message();
  EXPECT_EQ(LiveRecords().size(), kRows.size());
}

TEST_F(SqlExecute, StatementTableNameIsTheTableAsWritten) {
  EXPECT_EQ(engine::StatementTableName("delete from Contacts.ADT where RECID = ''"),
            "Contacts.ADT");
  EXPECT_EQ(engine::StatementTableName("CREATE INDEX F ON [My T] ( A ) CONTENT"), "My T");
  EXPECT_EQ(engine::StatementTableName("DROP TABLE Contacts"), "");
}

}  // namespace
