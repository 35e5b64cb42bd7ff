// The built dbtool run as a user runs it: exit codes, messages on standard
// error, and what import, dump, info and count do to and with real tables.
#include <gtest/gtest.h>

#include <charconv>

#include "Csv.h"
#include "DbtoolProcess.h"
#include "engine/env/Connection.h"
#include "engine/table/Table.h"
#include "support/TempDir.h"

namespace {

using dbtool_test::FilesIn;
using dbtool_test::RunDbtool;
using dbtool_test::ToolRun;

// A CSV in exactly the form dump writes, with every type, NULLs, empty
// texts, and texts that need quoting.
std::string MakeCsv(int rows) {
  std::string csv = "ID:C:9,NAME:C:40,N:I,AMOUNT:N,BORN:D,OK:L\n";
  const char* names[] = {"Smith", "O'Brien, Pat", "say \"hi\"", "two\nlines", " lead",
                         "",      "x\r\ny",       "\xE9l\xE8ve"};
  uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  char buf[40];
  for (int i = 0; i < rows; ++i) {
    const uint64_t r = next();
    csv += "r" + std::to_string(10000000 + i) + ",";
    if (r % 11 != 0) dbtool::AppendCsvText(csv, names[r % 8] + std::string(r % 3 ? "" : " jr"));
    csv += ",";
    if (r % 13 != 0) csv += std::to_string(static_cast<int32_t>(next()) * (r % 2 ? 1 : -1));
    csv += ",";
    if (r % 17 != 0) {
      const double amount =
          (static_cast<double>(next() % 2000000) - 1000000.0) / 128.0 * (r % 5 ? 1 : 1e-300);
      csv.append(buf, std::to_chars(buf, buf + sizeof buf, amount).ptr);
    }
    csv += ",";
    if (r % 19 != 0) {
      char date[16];
      std::snprintf(date, sizeof date, "%04d-%02d-%02d", 1 + static_cast<int>(next() % 9999),
                    1 + static_cast<int>(next() % 12), 1 + static_cast<int>(next() % 28));
      csv += date;
    }
    csv += ",";
    if (r % 23 != 0) csv += r % 2 ? "T" : "F";
    csv += "\n";
  }
  return csv;
}

TEST(DbtoolRun, ImportThenDumpOf100000RowsGivesBackTheSameCsv) {
  TempDir dir;
  const std::string csv = MakeCsv(100000);
  dir.WriteFile("in.csv", csv);
  const ToolRun import = RunDbtool(dir, {"import", "People.ADT", "in.csv"});
  ASSERT_EQ(import.exit_code, 0) << import.err;
  EXPECT_EQ(import.out, "People.ADT: 100000 records imported\n");
  EXPECT_EQ(import.err, "");  // no progress when standard error is no terminal

  const ToolRun dump = RunDbtool(dir, {"dump", "People.ADT"});
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_TRUE(dump.out == csv) << "the dump differs from the imported CSV";

  const ToolRun info = RunDbtool(dir, {"info", "People.ADT"});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  for (const char* line :
       {"Records:        100000 (100000 live, 0 deleted)", "Encrypted:      no",
        "Index file:     none", "Fields:         6", "  NAME:C:40", "  AMOUNT:N", "  OK:L"}) {
    EXPECT_NE(info.out.find(line), std::string::npos) << line << "\n" << info.out;
  }

  // Standard input serves as well as a file.
  const ToolRun from_stdin = RunDbtool(dir, {"import", "Again.ADT", "-"}, dir / "in.csv");
  ASSERT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
  EXPECT_TRUE(RunDbtool(dir, {"dump", "Again.ADT"}).out == csv);
}

TEST(DbtoolRun, BadRowsAreReportedByLineAndNothingIsCreated) {
  TempDir dir;
  dir.WriteFile("bad.csv",
                "ID:C:4,N:I,D:D\n"
                "a,1,2000-01-01\n"
                "b,x,2000-01-01\n"
                "\"c\nc\",2,2000-01-01\n"
                "d,3\n"
                "toolong,4,2000-01-01\n"
                "e,5,2000-02-30\n"
                "f,\"\",2000-01-01\n");
  const ToolRun run = RunDbtool(dir, {"import", "T.ADT", "bad.csv"});
  EXPECT_EQ(run.exit_code, 2);
  for (const char* expected :
       {"bad.csv: line 3: error 8112: Field \"N\"", "line 6: 2 cells where the header has 3",
        "line 7: error 8113: A value of 7 bytes", "line 8: error 8112: Field \"D\"",
        "line 9: error 8112: Field \"N\"", "nothing was imported"}) {
    EXPECT_NE(run.err.find(expected), std::string::npos) << expected << "\n" << run.err;
  }
  EXPECT_EQ(run.err.find("line 4"), std::string::npos) << run.err;
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"bad.csv"}));
}

TEST(DbtoolRun, AByteOrderMarkIsNotPartOfTheFirstName) {
  TempDir dir;
  dir.WriteFile("bom.csv", "\xEF\xBB\xBFRECID:C:4,N:I\r\nab,1\r\n");
  ASSERT_EQ(RunDbtool(dir, {"import", "T.ADT", "bom.csv"}).exit_code, 0);
  EXPECT_EQ(RunDbtool(dir, {"dump", "T.ADT", "--crlf"}).out, "RECID:C:4,N:I\r\nab,1\r\n");
}

TEST(DbtoolRun, AnExistingTableIsReplacedOnlyWhenAsked) {
  TempDir dir;
  dir.WriteFile("one.csv", "A:I\n1\n");
  dir.WriteFile("two.csv", "B:C:3\nxyz\n");
  ASSERT_EQ(RunDbtool(dir, {"import", "T.ADT", "one.csv"}).exit_code, 0);
  const ToolRun refused = RunDbtool(dir, {"import", "t.adt", "two.csv"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("--replace"), std::string::npos) << refused.err;
  EXPECT_EQ(RunDbtool(dir, {"dump", "T.ADT"}).out, "A:I\n1\n");

  ASSERT_EQ(RunDbtool(dir, {"import", "t.adt", "two.csv", "--replace"}).exit_code, 0);
  EXPECT_EQ(RunDbtool(dir, {"dump", "T.ADT"}).out, "B:C:3\nxyz\n");
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"T.ADT", "one.csv", "two.csv"}));
}

TEST(DbtoolRun, DumpAndCountFollowTheFilterAndDeletedRecords) {
  TempDir dir;
  dir.WriteFile(
      "in.csv",
      "Type:C:1,Table_Name:C:20\nU,Contacts.ADT\nS,SysLock.adt\nU,Gone.ADT\nU,Accounts.ADT\n");
  ASSERT_EQ(RunDbtool(dir, {"import", "DicTables.ADT", "in.csv"}).exit_code, 0);
  {
    auto connection = engine::Connection::Connect(dir.Path());
    ASSERT_TRUE(connection.ok());
    auto table = engine::Table::Open(**connection, "DicTables.ADT", engine::OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    ASSERT_TRUE((*table)->DeleteRecord(3).ok());
  }
  const std::string header = "Type:C:1,Table_Name:C:20\n";
  EXPECT_EQ(RunDbtool(dir, {"dump", "DicTables.ADT", "--filter", "Type = 'U' "}).out,
            header + "U,Contacts.ADT\nU,Accounts.ADT\n");
  EXPECT_EQ(RunDbtool(dir, {"dump", "DicTables.ADT", "--deleted", "--filter", "Type = 'U'"}).out,
            header + "U,Contacts.ADT\nU,Gone.ADT\nU,Accounts.ADT\n");
  EXPECT_EQ(RunDbtool(dir, {"dump", "DicTables.ADT", "--crlf", "--filter", "Type <> 'U'"}).out,
            "Type:C:1,Table_Name:C:20\r\nS,SysLock.adt\r\n");
  EXPECT_EQ(RunDbtool(dir, {"count", "DicTables.ADT"}).out, "3\n");
  EXPECT_EQ(RunDbtool(dir, {"count", "DicTables.ADT", "--filter", "Type = 'U'"}).out, "2\n");
  const ToolRun info = RunDbtool(dir, {"info", "DicTables.ADT"});
  EXPECT_NE(info.out.find("Records:        4 (3 live, 1 deleted)"), std::string::npos) << info.out;
}

TEST(DbtoolRun, ErrorsExitWithTwoAndTheEnginesMessage) {
  TempDir dir;
  dir.WriteFile("in.csv", "A:I\n1\n");
  ASSERT_EQ(RunDbtool(dir, {"import", "T.ADT", "in.csv"}).exit_code, 0);
  dir.WriteFile("badhead.csv", "A:Q\n1\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "usage: dbtool"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"dump"}, "usage: dbtool dump"},
      {{"dump", "T.ADT", "--bogus"}, "\"--bogus\" is not an option of dump"},
      {{"dump", "T.ADT", "--filter"}, "--filter needs a value"},
      {{"dump", "Missing.ADT"}, "Table \"Missing.ADT\" not found"},
      {{"dump", "no/such/folder/T.ADT"}, "not found"},
      {{"dump", "T.ADT", "--filter", "A = "}, "Syntax error at position 5"},
      {{"count", "T.ADT", "--filter", "B = 1"}, "no field \"B\""},
      {{"import", "U.ADT", "missing.csv"}, "cannot open \"missing.csv\""},
      {{"import", "U.ADT", "badhead.csv"}, "badhead.csv: line 1, column 1"},
      {{"info", "in.csv"}, "is not a table file"},
  };
  for (const auto& [args, message] : cases) {
    const ToolRun run = RunDbtool(dir, args);
    EXPECT_EQ(run.exit_code, 2) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << message << "\n" << run.err;
  }
  const ToolRun help = RunDbtool(dir, {"help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* command : {"import", "info", "dump", "count"})
    EXPECT_NE(help.out.find(command), std::string::npos);
}

TEST(DbtoolRun, ATableHeldExclusivelyElsewhereCannotBeRead) {
  TempDir dir;
  dir.WriteFile("in.csv", "A:I\n1\n");
  ASSERT_EQ(RunDbtool(dir, {"import", "T.ADT", "in.csv"}).exit_code, 0);
  auto connection = engine::Connection::Connect(dir.Path());
  ASSERT_TRUE(connection.ok());
  auto held = engine::Table::Open(**connection, "T.ADT", engine::OpenMode::Exclusive);
  ASSERT_TRUE(held.ok());
  for (const char* command : {"dump", "info", "count"}) {
    const ToolRun run = RunDbtool(dir, {command, "T.ADT"});
    EXPECT_EQ(run.exit_code, 2) << command;
    EXPECT_NE(run.err.find("open exclusively elsewhere"), std::string::npos) << run.err;
  }
  const ToolRun replace = RunDbtool(dir, {"import", "T.ADT", "in.csv", "--replace"});
  EXPECT_EQ(replace.exit_code, 2);
  EXPECT_NE(replace.err.find("cannot be opened exclusively"), std::string::npos) << replace.err;
}

}  // namespace
