// Query components: the engine's statements executed on the connection
// named by DatabaseName, the rows a delete removed, the engine's errors
// raised with their place, and the statement a query holds until it is
// released, which keeps no table locked.
#include <gtest/gtest.h>

#include "DataSetFixture.h"
#include "dataset/EDatabaseError.h"
#include "engine/fulltext/FullTextTag.h"
#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/SqlErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace {

constexpr uint32_t Code(int engine_code) {
  return static_cast<uint32_t>(engine_code);
}

class QueryTest : public DataSetTest {
 protected:
  void SetUp() override {
    MakeTable("Contacts.ADT", {"RECID:C:8", "NAME:C:10", "NOTES:C:40"},
              {{"r1", "Ann", "red apple pie"},
               {"", "Bob", "green apple"},
               {std::nullopt, "Carl", "red wine"},
               {"r4", "Dora", std::nullopt},
               {"  ", "Eve", "apple red"}});
  }

  std::unique_ptr<engine::Table> OpenEngineTable(engine::OpenMode mode) {
    auto connection = engine::Connection::Connect(db_.Path());
    EXPECT_TRUE(connection.ok());
    connection_keep_ = std::move(connection.value());
    auto table = engine::Table::Open(*connection_keep_, "Contacts.ADT", mode);
    EXPECT_TRUE(table.ok()) << table.status().Message();
    return table.ok() ? std::move(table.value()) : nullptr;
  }

  std::unique_ptr<engine::Connection> connection_keep_;
};

TEST_F(QueryTest, AnExecutedStatementIsHeldUntilReleasedAndHoldsNoTable) {
  TAdsQuery* query = Query();
  const struct {
    const char* release;
    std::function<void(TAdsQuery&)> action;
  } cases[] = {
      {"AdsCloseSQLStatement", [](TAdsQuery& q) { q.AdsCloseSQLStatement(); }},
      {"Close", [](TAdsQuery& q) { q.Close(); }},
      {"new SQL text", [](TAdsQuery& q) { q.SetSQL("delete from Contacts where RECID = ''"); }},
      {"new DatabaseName", [](TAdsQuery& q) { q.SetDatabaseName("Elsewhere"); }},
      {"disconnect", [this](TAdsQuery&) { connection_->SetIsConnected(false); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.release);
    query->SetDatabaseName("Conn");
    query->SetSQL("delete from Contacts where RECID = 'none'");
    query->ExecSQL();
    EXPECT_EQ(query->RowsAffected(), 0u);
    EXPECT_TRUE(query->StatementOpen());
    EXPECT_EQ(connection_->ClientCount(), 1u);
    EXPECT_FALSE(query->Active());
    // The statement's table is closed already: another can take it alone.
    EXPECT_NE(OpenEngineTable(engine::OpenMode::Exclusive), nullptr);
    c.action(*query);
    EXPECT_FALSE(query->StatementOpen());
    EXPECT_EQ(connection_->ClientCount(), 0u);
  }
}

TEST_F(QueryTest, TheRecordIdDeleteRemovesRecordsAndKeepsEveryTagExact) {
  {
    auto table = OpenEngineTable(engine::OpenMode::Exclusive);
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(table->AddIndex({"NAME", "NAME", {}}, 0).ok());
    engine::FullTextTagDefinition notes{"FTS_Notes", "NOTES", {}};
    ASSERT_TRUE(table->AddFullTextIndex(notes, 0).ok());
  }
  TAdsQuery* query = Query("AdsQuery2");
  query->SetSQL("delete from Contacts where RECID is null  or RECID = ''");
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 3u);
  query->AdsCloseSQLStatement();

  auto table = OpenEngineTable(engine::OpenMode::Shared);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->CountLiveRecords().value(), 2u);
  EXPECT_EQ(table->RecordCount(), 5u);  // deleted records stay, flagged
  const auto check = table->VerifyIndexes();
  ASSERT_TRUE(check.has_value());
  EXPECT_TRUE(check->Ok()) << ::testing::PrintToString(check->Lines());
  EXPECT_EQ(check->Tags.size(), 2u);
  auto apple = table->SearchFullText("FTS_Notes", "apple");
  ASSERT_TRUE(apple.ok()) << apple.status().Message();
  EXPECT_EQ(*apple, std::vector<uint32_t>{1});

  // Run again: nothing is left to delete.
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 0u);
}

TEST_F(QueryTest, AContentIndexStatementBuildsASearchableTag) {
  TAdsQuery* query = Query();
  query->SetSQL("CREATE INDEX FTS_Notes ON Contacts ( NOTES ) CONTENT MIN_WORD_LENGTH 3 'pie'");
  query->ExecSQL();
  EXPECT_EQ(query->RowsAffected(), 0u);
  auto table = OpenEngineTable(engine::OpenMode::Shared);
  ASSERT_NE(table, nullptr);
  auto red = table->SearchFullText("FTS_Notes", "RED apple");
  ASSERT_TRUE(red.ok()) << red.status().Message();
  EXPECT_EQ(*red, (std::vector<uint32_t>{1, 5}));
  EXPECT_EQ(table->SearchFullText("FTS_Notes", "pie").status().Code(),
            engine::AE_FULLTEXT_NO_WORDS);
}

TEST_F(QueryTest, FailingStatementsRaiseTheEngineErrorWithItsPlace) {
  const struct {
    const char* sql;
    int code;
    const char* message_part;
    const char* table;
  } cases[] = {
      {"SELECT * FROM Contacts", engine::AE_SQL_SYNTAX, "Syntax error at position 1", ""},
      {"CREATE INDEX F ON Contacts ( NOTES ) CONTENT X 'a b'", engine::AE_SQL_SYNTAX, "position 46",
       ""},
      {"delete from Nowhere", engine::AE_TABLE_NOT_FOUND, "Nowhere", "Nowhere"},
      {"delete from Contacts where AGE = 1", engine::AE_FIELD_NOT_FOUND, "position 28", "Contacts"},
      {"CREATE INDEX F ON Contacts ( NAME; RECNO ) CONTENT", engine::AE_INDEX_UNKNOWN_FIELD,
       "RECNO", "Contacts"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    TAdsQuery* query = Query();
    query->SetSQL(c.sql);
    const EADSDatabaseError error = ExpectAdsError([&] { query->ExecSQL(); });
    EXPECT_EQ(error.ACEErrorCode(), Code(c.code)) << error.Message();
    EXPECT_NE(error.Message().find(c.message_part), std::string::npos) << error.Message();
    EXPECT_EQ(error.ComponentName(), "AdsQuery1");
    EXPECT_EQ(error.OwnerName(), "DataModule");
    EXPECT_EQ(error.TableName(), c.table);
    EXPECT_EQ(query->SQL(), c.sql);
    EXPECT_EQ(query->RowsAffected(), 0u);
    delete query;
  }
}

TEST_F(QueryTest, ATableInUseAnswersTheInUseErrorAndChangesNothing) {
  auto holder = OpenEngineTable(engine::OpenMode::Exclusive);
  ASSERT_NE(holder, nullptr);
  for (const char* sql : {"delete from Contacts where RECID = ''",
                          "CREATE INDEX F ON Contacts ( NOTES ) CONTENT  "}) {
    SCOPED_TRACE(sql);
    TAdsQuery* query = Query();
    query->SetSQL(sql);
    const EADSDatabaseError error = ExpectAdsError([&] { query->ExecSQL(); });
    EXPECT_EQ(error.ACEErrorCode(), Code(engine::AE_TABLE_IN_USE)) << error.Message();
    delete query;
  }
  EXPECT_EQ(holder->CountLiveRecords().value(), 5u);
  EXPECT_EQ(holder->IndexFile(), nullptr);
}

TEST_F(DataSetTest, AQueryWithoutItsConnectionRaisesAndHoldsNothing) {
  TAdsQuery* query = Query();
  query->SetDatabaseName("NoSuchConnection");
  query->SetSQL("delete from T");
  EXPECT_THROW(query->ExecSQL(), EDatabaseError);
  EXPECT_FALSE(query->StatementOpen());
}

}  // namespace
