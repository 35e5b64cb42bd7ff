// dbtool recall run as a user runs it: deleted records come back (all, or
// those a filter lets through), the tags hold them afterwards, and a unique
// tag that the recalled records would break leaves the table as it was.
#include <gtest/gtest.h>

#include "DbtoolProcess.h"
#include "support/TempDir.h"

namespace {

using dbtool_test::RunDbtool;
using dbtool_test::ToolRun;

// r4 has no record id: the record-id repair's statement removes it.
const char kCsv[] =
    "RECID:C:4,LASTNAME:C:10,ZIP:C:5\n"
    "r1,Smith,10115\n"
    "r2,adams,80331\n"
    "r3,SMITH,10115\n"
    ",Young,20095\n"
    "r5,Miller,80331\n";

class DbtoolRecall : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteFile("in.csv", kCsv);
    ASSERT_EQ(Run({"import", "T.ADT", "in.csv"}).exit_code, 0);
    ASSERT_EQ(Run({"index", "T.ADT", "NAME", "LASTNAME", "--ci"}).exit_code, 0);
  }
  ToolRun Run(const std::vector<std::string>& args) { return RunDbtool(dir_, args); }
  std::string Count() { return Run({"count", "T.ADT"}).out; }

  TempDir dir_;
};

TEST_F(DbtoolRecall, BringsBackWhatTheRecordIdRepairRemovedAndKeepsTheTagsExact) {
  ASSERT_EQ(Run({"sql", ".", "delete from T where RECID is null  or RECID = ''"}).exit_code, 0);
  ASSERT_EQ(Count(), "4\n");

  const ToolRun recall = Run({"recall", "T.ADT"});
  ASSERT_EQ(recall.exit_code, 0) << recall.err;
  EXPECT_EQ(recall.out, "1 records recalled\n");
  EXPECT_EQ(Count(), "5\n");
  const ToolRun verify = Run({"verify", "T.ADT"});
  EXPECT_EQ(verify.exit_code, 0) << verify.out;
  EXPECT_NE(Run({"scan", "T.ADT", "NAME", "--from", "young"}).out.find(",Young,"),
            std::string::npos);

  // Nothing left to bring back.
  EXPECT_EQ(Run({"recall", "T.ADT"}).out, "0 records recalled\n");
}

TEST_F(DbtoolRecall, TheFilterChoosesWhichDeletedRecordsComeBack) {
  ASSERT_EQ(Run({"sql", ".", "delete from T where ZIP = '80331'"}).exit_code, 0);
  const ToolRun recall = Run({"recall", "T.ADT", "--filter", "LASTNAME = 'adams'"});
  ASSERT_EQ(recall.exit_code, 0) << recall.err;
  EXPECT_EQ(recall.out, "1 records recalled\n");
  EXPECT_EQ(Run({"count", "T.ADT", "--filter", "ZIP = '80331'"}).out, "1\n");
  EXPECT_EQ(Run({"verify", "T.ADT"}).exit_code, 0);
}

TEST_F(DbtoolRecall, AUniqueTagTheRecordsWouldBreakLeavesEverythingAsItWas) {
  ASSERT_EQ(Run({"sql", ".", "delete from T where RECID = 'r3' or ZIP = '80331'"}).exit_code, 0);
  ASSERT_EQ(Run({"index", "T.ADT", "BYZIP", "ZIP", "--unique"}).exit_code, 0);
  const std::string before = TempDir::ReadFile(dir_ / "T.ADT");

  const ToolRun recall = Run({"recall", "T.ADT"});
  EXPECT_EQ(recall.exit_code, 2);
  EXPECT_NE(recall.err.find("dbtool: error "), std::string::npos) << recall.err;
  EXPECT_NE(recall.err.find("Duplicate key"), std::string::npos) << recall.err;
  EXPECT_EQ(Count(), "2\n");
  EXPECT_EQ(TempDir::ReadFile(dir_ / "T.ADT"), before);
  EXPECT_EQ(Run({"verify", "T.ADT"}).exit_code, 0);
}

TEST_F(DbtoolRecall, BadFilterIsAnErrorThatChangesNothing) {
  ASSERT_EQ(Run({"sql", ".", "delete from T where ZIP = '80331'"}).exit_code, 0);
  const ToolRun recall = Run({"recall", "T.ADT", "--filter", "NOSUCH = 1"});
  EXPECT_EQ(recall.exit_code, 2);
  EXPECT_NE(recall.err.find("dbtool: error "), std::string::npos) << recall.err;
  EXPECT_EQ(Count(), "3\n");
}

}  // namespace
