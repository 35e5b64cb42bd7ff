// dbtool's index commands run as a user runs them: index, reindex, info's
// tag lines, scan in key order, and verify, whose exit code says whether
// every tag is sound (also on an index file with any single byte flipped).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DbtoolProcess.h"
#include "engine/env/Connection.h"
#include "engine/table/Table.h"
#include "support/TempDir.h"

namespace {

using dbtool_test::FilesIn;
using dbtool_test::RunDbtool;
using dbtool_test::ToolRun;

const char kCsv[] =
    "RECID:C:4,LASTNAME:C:10,FIRSTNAME:C:8,ZIP:C:5,SCORE:I\n"
    "r1,Smith,Ann,10115,7\n"
    "r2,adams,Bob,80331,12\n"
    "r3,SMITH,Carl,10115,3\n"
    "r4,Young,,20095,\n"
    "r5,Miller,Dora,80331,12\n"
    "r6,mills,Eve,10115,-4\n";

class DbtoolIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteFile("in.csv", kCsv);
    ASSERT_EQ(Run({"import", "T.ADT", "in.csv"}).exit_code, 0);
  }
  ToolRun Run(const std::vector<std::string>& args) { return RunDbtool(dir_, args); }
  void DeleteRecord(uint32_t recno) {
    auto connection = engine::Connection::Connect(dir_.Path());
    ASSERT_TRUE(connection.ok());
    auto table = engine::Table::Open(**connection, "T.ADT", engine::OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    ASSERT_TRUE((*table)->DeleteRecord(recno).ok());
    ASSERT_TRUE((*table)->Sync().ok());
  }

  TempDir dir_;
};

TEST_F(DbtoolIndex, TagsAreAddedListedScannedInKeyOrderAndVerified) {
  const ToolRun verify_none = Run({"verify", "T.ADT"});
  EXPECT_EQ(verify_none.exit_code, 0) << verify_none.err;
  EXPECT_EQ(verify_none.out, "T.ADT has no index file: nothing to check\n");

  const ToolRun primary = Run({"index", "T.ADT", "PRIMARY", "RECID", "--unique", "--primary"});
  ASSERT_EQ(primary.exit_code, 0) << primary.err;
  EXPECT_EQ(primary.out, "PRIMARY: RECID, options unique, primary, page size 1024, 6 keys\n");
  const ToolRun name =
      Run({"index", "T.ADT", "NAME", "LASTNAME;FIRSTNAME", "--ci", "--pagesize", "2048"});
  ASSERT_EQ(name.exit_code, 0) << name.err;
  EXPECT_EQ(name.out,
            "PRIMARY: RECID, options unique, primary, page size 2048, 6 keys\n"
            "NAME: LASTNAME;FIRSTNAME, options case-insensitive, page size 2048, 6 keys\n");
  ASSERT_EQ(Run({"index", "T.ADT", "ZIP", "ZIP;SCORE", "--descending"}).exit_code, 0);

  const ToolRun info = Run({"info", "T.ADT"});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  for (const char* line :
       {"Index tags:     3 (page size 2048)\n",
        "  NAME: LASTNAME;FIRSTNAME, options case-insensitive, page size 2048, 6 keys\n",
        "  ZIP: ZIP;SCORE, options descending, page size 2048, 6 keys\n"}) {
    EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
  }

  const std::string header = "RECID:C:4,LASTNAME:C:10,FIRSTNAME:C:8,ZIP:C:5,SCORE:I\n";
  struct Case {
    std::vector<std::string> args;
    std::string rows;
  } const cases[] = {
      {{"scan", "T.ADT", "NAME"},
       "r2,adams,Bob,80331,12\nr5,Miller,Dora,80331,12\nr6,mills,Eve,10115,-4\n"
       "r1,Smith,Ann,10115,7\nr3,SMITH,Carl,10115,3\nr4,Young,,20095,\n"},
      {{"scan", "T.ADT", "name", "--from", "smith;b", "--limit", "1"}, "r3,SMITH,Carl,10115,3\n"},
      {{"scan", "T.ADT", "ZIP", "--from", "80331;12", "--limit", "3"},
       "r2,adams,Bob,80331,12\nr5,Miller,Dora,80331,12\nr4,Young,,20095,\n"},
      {{"scan", "T.ADT", "PRIMARY", "--from", "r7"}, ""},
      {{"scan", "T.ADT", "PRIMARY", "--limit", "0"}, ""},
  };
  for (const Case& c : cases) {
    const ToolRun scan = Run(c.args);
    EXPECT_EQ(scan.exit_code, 0) << scan.err;
    EXPECT_EQ(scan.out, header + c.rows) << ::testing::PrintToString(c.args);
  }

  const ToolRun verify = Run({"verify", "T.ADT"});
  EXPECT_EQ(verify.exit_code, 0) << verify.err;
  EXPECT_EQ(verify.out, "PRIMARY: OK\nNAME: OK\nZIP: OK\n");

  // A record deleted after the build: the tags no longer match the table.
  DeleteRecord(4);
  const ToolRun stale = Run({"verify", "T.ADT"});
  EXPECT_EQ(stale.exit_code, 1);
  EXPECT_NE(stale.out.find("PRIMARY: 1 keys are not in the table (first: record 4 key 'r4')"),
            std::string::npos)
      << stale.out;
  const ToolRun reindex = Run({"reindex", "T.ADT", "--pagesize", "512"});
  ASSERT_EQ(reindex.exit_code, 0) << reindex.err;
  EXPECT_NE(
      reindex.out.find("NAME: LASTNAME;FIRSTNAME, options case-insensitive, page size 512, 5 keys"),
      std::string::npos)
      << reindex.out;
  EXPECT_EQ(Run({"verify", "T.ADT"}).out, "PRIMARY: OK\nNAME: OK\nZIP: OK\n");
  EXPECT_EQ(FilesIn(dir_.Path()), (std::vector<std::string>{"T.ADT", "T.Adi", "in.csv"}));
}

TEST_F(DbtoolIndex, RefusedBuildsAndBadArgumentsAreErrorsThatChangeNothing) {
  ASSERT_EQ(Run({"index", "T.ADT", "PRIMARY", "RECID", "--unique"}).exit_code, 0);
  const std::string before = TempDir::ReadFile(dir_ / "T.Adi");
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } const cases[] = {
      {{"index", "T.ADT", "U", "ZIP", "--unique"}, "Duplicate key '10115' in the unique index U"},
      // The engine's code comes first, so that an operator can look it up.
      {{"index", "T.ADT", "U", "FIRSTNAME", "--unique"},
       "dbtool: error 7059: The unique index U cannot be built: record 4 has an empty key"},
      {{"index", "T.ADT", "X", "CITY"}, "Unknown field CITY"},
      {{"index", "T.ADT", "X", "ZIP", "--pagesize", "3000"}, "page size 3000"},
      {{"index", "T.ADT", "X", "ZIP", "--pagesize", "big"}, "--pagesize must be a whole number"},
      {{"reindex", "T.ADT", "--pagesize", "100"}, "page size 100"},
      {{"scan", "T.ADT", "NOPE"}, "has no index NOPE"},
      {{"scan", "T.ADT", "PRIMARY", "--limit", "-1"}, "--limit must be a whole number"},
      {{"scan", "T.ADT", "PRIMARY", "--from", "r1;x"}, "has 1 key parts, not 2"},
      {{"verify", "Missing.ADT"}, "not found"},
      {{"index", "T.ADT", "X"}, "usage: dbtool index"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.exit_code, 2) << ::testing::PrintToString(c.args);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.message << "\n" << run.err;
  }
  EXPECT_EQ(TempDir::ReadFile(dir_ / "T.Adi"), before);
  EXPECT_EQ(FilesIn(dir_.Path()), (std::vector<std::string>{"T.ADT", "T.Adi", "in.csv"}));
}

TEST_F(DbtoolIndex, VerifyFailsOnAnyFlippedByteAndNeverCrashes) {
  ASSERT_EQ(Run({"index", "T.ADT", "PRIMARY", "RECID", "--unique", "--pagesize", "512"}).exit_code,
            0);
  ASSERT_EQ(Run({"index", "T.ADT", "NAME", "LASTNAME;FIRSTNAME"}).exit_code, 0);
  const std::string path = dir_ / "T.Adi";
  const std::string sound = TempDir::ReadFile(path);
  // Every byte is swept in the engine's own tests; the program is run on a
  // spread of them, in every page, with every bit.
  for (size_t offset = 0; offset < sound.size(); offset += 13) {
    std::string damaged = sound;
    damaged[offset] = static_cast<char>(damaged[offset] ^ (1u << (offset % 8)));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    const ToolRun verify = Run({"verify", "T.ADT"});
    EXPECT_EQ(verify.exit_code, 1) << "byte " << offset << "\n" << verify.out << verify.err;
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << sound;
  EXPECT_EQ(Run({"verify", "T.ADT"}).exit_code, 0);
}

TEST_F(DbtoolIndex, ADamagedIndexFileIsRebuiltFromItsTagDirectoryOrRefusedWhenThatIsGone) {
  ASSERT_EQ(Run({"index", "T.ADT", "PRIMARY", "RECID", "--unique", "--pagesize", "512"}).exit_code,
            0);
  const std::string path = dir_ / "T.Adi";
  const std::string sound = TempDir::ReadFile(path);
  std::string damaged = sound;
  damaged[512 + 40] = static_cast<char>(damaged[512 + 40] ^ 0x08);  // the tree's page
  std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
  ASSERT_EQ(Run({"verify", "T.ADT"}).exit_code, 1);

  const ToolRun reindex = Run({"reindex", "T.ADT"});
  EXPECT_EQ(reindex.exit_code, 0) << reindex.err;
  EXPECT_NE(reindex.err.find("its tags are rebuilt from its tag directory"), std::string::npos)
      << reindex.err;
  EXPECT_EQ(reindex.out, "PRIMARY: RECID, options unique, page size 512, 6 keys\n");
  EXPECT_EQ(Run({"verify", "T.ADT"}).exit_code, 0);

  // The same damage repaired by adding a tag: the old tag is kept.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
  const ToolRun index = Run({"index", "T.ADT", "ZIP", "ZIP"});
  EXPECT_EQ(index.exit_code, 0) << index.err;
  EXPECT_EQ(index.out,
            "PRIMARY: RECID, options unique, page size 512, 6 keys\n"
            "ZIP: ZIP, options none, page size 512, 6 keys\n");

  // An empty file has no directory: said so, and left as it is.
  std::ofstream(path, std::ios::binary | std::ios::trunc);
  const ToolRun lost = Run({"reindex", "T.ADT"});
  EXPECT_EQ(lost.exit_code, 2);
  EXPECT_NE(lost.err.find("error 8215"), std::string::npos) << lost.err;
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(DbtoolIndex, SalvageCopiesTheRecordsThatReadAndNamesTheOthers) {
  const ToolRun whole = Run({"salvage", "T.ADT", "Copy"});
  EXPECT_EQ(whole.exit_code, 0) << whole.err;
  EXPECT_EQ(whole.out,
            "T.ADT: 6 of 6 records read, 6 live records copied into Copy.ADT, 0 deleted left "
            "out, 0 could not be read\n");

  // The state byte of record 2 (the header of 5 fields is 1536 bytes).
  std::string bytes = TempDir::ReadFile(dir_ / "T.ADT");
  const size_t length = (bytes.size() - 1536) / 6;
  bytes[1536 + length] = 0x40;
  std::ofstream(dir_ / "T.ADT", std::ios::binary | std::ios::trunc) << bytes;
  const ToolRun lost = Run({"salvage", "T.ADT", "Rescued"});
  EXPECT_EQ(lost.exit_code, 1) << lost.err;
  EXPECT_EQ(lost.out,
            "record 2: state byte 64\n"
            "T.ADT: 5 of 6 records read, 5 live records copied into Rescued.ADT, 0 deleted left "
            "out, 1 could not be read\n");
  const ToolRun dump = Run({"dump", "Rescued.ADT"});
  EXPECT_EQ(dump.exit_code, 0);
  EXPECT_EQ(dump.out.find("adams"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("Miller"), std::string::npos) << dump.out;
}

}  // namespace
