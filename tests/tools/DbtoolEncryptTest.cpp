// dbtool on encrypted tables, run as a user runs it: encrypt and decrypt
// with the password on standard input, and every command that reads
// records refusing an encrypted table until --password-stdin gives it.
#include <gtest/gtest.h>

#include "DbtoolProcess.h"
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
    "r5,Miller,Dora,80331,12\n";

constexpr char kPassword[] = "correct horse";

class DbtoolEncrypt : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteFile("in.csv", kCsv);
    dir_.WriteFile("right.txt", std::string(kPassword) + "\n");
    dir_.WriteFile("right-crlf.txt", std::string(kPassword) + "\r\n");
    dir_.WriteFile("right-no-end.txt", kPassword);
    dir_.WriteFile("wrong.txt", "correct horse \n");
    dir_.WriteFile("empty.txt", "");
    ASSERT_EQ(Run({"import", "T.ADT", "in.csv"}).exit_code, 0);
    ASSERT_EQ(Run({"index", "T.ADT", "PRIMARY", "RECID", "--unique"}).exit_code, 0);
    const ToolRun encrypted = Run({"encrypt", "T.ADT", "--rounds", "1000"}, "right.txt");
    ASSERT_EQ(encrypted.exit_code, 0) << encrypted.err;
    EXPECT_EQ(encrypted.out, "T.ADT: encrypted\n");
  }
  ToolRun Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunDbtool(dir_, args, input.empty() ? "" : dir_ / input);
  }

  TempDir dir_;
};

TEST_F(DbtoolEncrypt, CommandsReadTheTableOnlyWithItsPassword) {
  const struct {
    std::vector<std::string> args;
    const char* input;  // the file on standard input, "" for none
    int exit_code;
    std::string out;  // expected standard output, when not empty
    const char* err;  // a part of standard error, when not empty
  } cases[] = {
      {{"dump", "T.ADT"}, "", 2, "", "give its password on standard input with --password-stdin"},
      {{"count", "T.ADT"}, "right.txt", 2, "", "--password-stdin"},
      {{"dump", "T.ADT", "--password-stdin"}, "right.txt", 0, kCsv, ""},
      {{"dump", "T.ADT", "--password-stdin"}, "right-crlf.txt", 0, kCsv, ""},
      {{"dump", "T.ADT", "--password-stdin"}, "right-no-end.txt", 0, kCsv, ""},
      {{"dump", "T.ADT", "--password-stdin"},
       "wrong.txt",
       2,
       "",
       "The password is not the password of table \"T.ADT\""},
      {{"dump", "T.ADT", "--password-stdin"}, "empty.txt", 2, "", "no password on standard input"},
      {{"count", "T.ADT", "--password-stdin", "--filter", "ZIP = '10115'"},
       "right.txt",
       0,
       "2\n",
       ""},
      {{"scan", "T.ADT", "PRIMARY", "--password-stdin", "--from", "r4"},
       "right.txt",
       0,
       "RECID:C:4,LASTNAME:C:10,FIRSTNAME:C:8,ZIP:C:5,SCORE:I\nr4,Young,,20095,\n"
       "r5,Miller,Dora,80331,12\n",
       ""},
      {{"index", "T.ADT", "NAME", "LASTNAME;FIRSTNAME", "--ci", "--password-stdin"},
       "right.txt",
       0,
       "",
       ""},
      {{"index", "T.ADT", "ZIP", "ZIP"}, "", 2, "", "--password-stdin"},
      {{"reindex", "T.ADT", "--pagesize", "512", "--password-stdin"}, "right.txt", 0, "", ""},
      {{"verify", "T.ADT"}, "", 2, "", "--password-stdin"},
      {{"verify", "T.ADT", "--password-stdin"}, "right.txt", 0, "PRIMARY: OK\nNAME: OK\n", ""},
  };
  for (const auto& c : cases) {
    const std::string label = ::testing::PrintToString(c.args) + " < " + c.input;
    const ToolRun run = Run(c.args, c.input);
    EXPECT_EQ(run.exit_code, c.exit_code) << label << "\n" << run.err;
    if (!c.out.empty()) {
      EXPECT_EQ(run.out, c.out) << label;
    }
    EXPECT_NE(run.err.find(c.err), std::string::npos) << label << "\n" << run.err;
  }
}

TEST_F(DbtoolEncrypt, InfoDescribesTheTableWithoutThePasswordAndCountsWithIt) {
  const ToolRun without = Run({"info", "T.ADT"});
  ASSERT_EQ(without.exit_code, 0) << without.err;
  for (const char* line : {"Encrypted:      yes", "Records:        5 (live and deleted: give",
                           "  LASTNAME:C:10", "Index tags:     (encrypted: give the password"}) {
    EXPECT_NE(without.out.find(line), std::string::npos) << line << "\n" << without.out;
  }
  const ToolRun with = Run({"info", "T.ADT", "--password-stdin"}, "right.txt");
  ASSERT_EQ(with.exit_code, 0) << with.err;
  for (const char* line : {"Records:        5 (5 live, 0 deleted)", "Index tags:     1",
                           "  PRIMARY: RECID, options unique"}) {
    EXPECT_NE(with.out.find(line), std::string::npos) << line << "\n" << with.out;
  }
}

TEST_F(DbtoolEncrypt, DecryptNeedsThePasswordAndGivesBackThePlainTable) {
  const std::string table_before = TempDir::ReadFile(dir_ / "T.ADT");
  const std::string index_before = TempDir::ReadFile(dir_ / "T.Adi");
  const ToolRun wrong = Run({"decrypt", "T.ADT"}, "wrong.txt");
  EXPECT_EQ(wrong.exit_code, 2);
  EXPECT_NE(wrong.err.find("not the password"), std::string::npos) << wrong.err;
  const ToolRun twice = Run({"encrypt", "T.ADT"}, "right.txt");
  EXPECT_EQ(twice.exit_code, 2);
  EXPECT_NE(twice.err.find("encrypted already"), std::string::npos) << twice.err;
  EXPECT_TRUE(TempDir::ReadFile(dir_ / "T.ADT") == table_before);
  EXPECT_TRUE(TempDir::ReadFile(dir_ / "T.Adi") == index_before);

  const ToolRun decrypted = Run({"decrypt", "T.ADT"}, "right.txt");
  ASSERT_EQ(decrypted.exit_code, 0) << decrypted.err;
  EXPECT_EQ(decrypted.out, "T.ADT: decrypted\n");
  EXPECT_EQ(Run({"dump", "T.ADT"}).out, kCsv);
  EXPECT_EQ(Run({"verify", "T.ADT"}).out, "PRIMARY: OK\n");
  EXPECT_NE(Run({"info", "T.ADT"}).out.find("Encrypted:      no"), std::string::npos);
  EXPECT_EQ(FilesIn(dir_.Path()),
            (std::vector<std::string>{"T.ADT", "T.Adi", "empty.txt", "in.csv", "right-crlf.txt",
                                      "right-no-end.txt", "right.txt", "wrong.txt"}));
}

}  // namespace
