// dbtool's sql and search commands run as a user runs them: a statement on
// a folder and what it reports, full-text tags in info and verify, searches
// as CSV, and errors with exit code 2.
#include <gtest/gtest.h>

#include "DbtoolProcess.h"
#include "engine/env/Connection.h"
#include "engine/table/Table.h"
#include "support/TempDir.h"

namespace {

using dbtool_test::RunDbtool;
using dbtool_test::ToolRun;

const char kHeader[] = "RECID:C:4,NAME:C:10,NOTES:C:40,SCORE:I\n";

class DbtoolSql : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteFile("in.csv", std::string(kHeader) +
                                 "r1,Ann,red apple pie,1\n"
                                 ",Bob,green Apple,2\n"
                                 "r3,Carl,red wine,3\n"
                                 "r4,Dora,,4\n"
                                 "r5,Eve,\"APPLE, red\",5\n");
    ASSERT_EQ(Run({"import", "Contacts.ADT", "in.csv"}).exit_code, 0);
    ASSERT_EQ(Run({"index", "Contacts.ADT", "NAME", "NAME"}).exit_code, 0);
  }
  ToolRun Run(const std::vector<std::string>& args) { return RunDbtool(dir_, args); }

  TempDir dir_;
};

TEST_F(DbtoolSql, StatementsRunOnTheFolderAndTheirTagsAreListedSearchedAndChecked) {
  const ToolRun create = Run({"sql", ".",
                              "CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT "
                              "MIN_WORD_LENGTH 3 'pie'"});
  ASSERT_EQ(create.exit_code, 0) << create.err;
  EXPECT_EQ(create.out,
            "full-text index FTS_Notes built on Contacts.ADT: 8 (word, record) pairs\n");

  const ToolRun info = Run({"info", "Contacts.ADT"});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_NE(info.out.find("  FTS_Notes: Notes, full text, words of 3..60 characters, noise "
                          "words 'PIE', page size 1024, 4 words, 8 (word, record) pairs\n"),
            std::string::npos)
      << info.out;

  const struct {
    std::vector<std::string> args;
    std::string rows;
  } searches[] = {
      {{"search", "Contacts.ADT", "FTS_Notes", "apple"},
       "r1,Ann,red apple pie,1\n,Bob,green Apple,2\nr5,Eve,\"APPLE, red\",5\n"},
      {{"search", "Contacts.ADT", "fts_notes", "RED", "apple"},
       "r1,Ann,red apple pie,1\nr5,Eve,\"APPLE, red\",5\n"},
      {{"search", "Contacts.ADT", "FTS_Notes", "red wine pie"}, "r3,Carl,red wine,3\n"},
      {{"search", "Contacts.ADT", "FTS_Notes", "purple"}, ""},
  };
  for (const auto& s : searches) {
    SCOPED_TRACE(::testing::PrintToString(s.args));
    const ToolRun search = Run(s.args);
    ASSERT_EQ(search.exit_code, 0) << search.err;
    EXPECT_EQ(search.out, kHeader + s.rows);
  }

  const ToolRun removed =
      Run({"sql", ".", "delete from Contacts where RECID is null  or RECID = ''"});
  ASSERT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(removed.out, "1 record deleted from Contacts.ADT\n");
  const ToolRun after = Run({"search", "Contacts.ADT", "FTS_Notes", "apple"});
  EXPECT_EQ(after.out, std::string(kHeader) + "r1,Ann,red apple pie,1\nr5,Eve,\"APPLE, red\",5\n");
  const ToolRun verify = Run({"verify", "Contacts.ADT"});
  EXPECT_EQ(verify.exit_code, 0) << verify.out << verify.err;
  EXPECT_EQ(verify.out, "NAME: OK\nFTS_Notes: OK\n");
  EXPECT_EQ(Run({"sql", ".", "DELETE FROM Contacts WHERE SCORE > 3"}).out,
            "2 records deleted from Contacts.ADT\n");

  // A record deleted behind the index's back: verify says so.
  {
    auto connection = engine::Connection::Connect(dir_.Path());
    ASSERT_TRUE(connection.ok());
    auto table = engine::Table::Open(**connection, "Contacts.ADT", engine::OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    ASSERT_TRUE((*table)->DeleteRecord(1).ok());
    ASSERT_TRUE((*table)->Sync().ok());
  }
  const ToolRun stale = Run({"verify", "Contacts.ADT"});
  EXPECT_EQ(stale.exit_code, 1);
  EXPECT_NE(stale.out.find("FTS_Notes: "), std::string::npos);
  EXPECT_EQ(stale.out.find("FTS_Notes: OK"), std::string::npos) << stale.out;
}

TEST_F(DbtoolSql, FailuresAreReportedWithExitCodeTwo) {
  ASSERT_EQ(Run({"sql", ".", "CREATE INDEX FTS ON Contacts ( NOTES ) CONTENT 'red'"}).exit_code, 0);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"sql", ".", "UPDATE Contacts SET NAME = ''"},
       "dbtool: error 8300: Syntax error at position 1 of the statement \"UPDATE Contacts SET NAME "
       "= ''\""},
      {{"sql", ".", "CREATE INDEX F ON Contacts ( SCORE ) CONTENT"},
       "field SCORE of table \"Contacts.ADT\", which is not a character field"},
      {{"sql", "missing-folder", "delete from Contacts"}, "missing-folder"},
      {{"sql", "."}, "usage: dbtool sql FOLDER STATEMENT"},
      {{"search", "Contacts.ADT", "FTS", "red"}, "indexes none of the words \"red\""},
      {{"search", "Contacts.ADT", "NAME", "red"}, "NAME is not a full-text index"},
      {{"search", "Contacts.ADT", "NOPE", "red"}, "NOPE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

}  // namespace
