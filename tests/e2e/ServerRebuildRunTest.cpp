// The whole rebuild over a server installation: the installation's folders
// lie on a network share (a mount table of the test's own says so), the
// marker file makes it a server installation, and dbserver, started on a
// free loopback port, serves the share. Every index is built through the
// server, exactly as the same run builds them locally.
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/MaimInxBld_Unit.h"
#include "platform/MountTable.h"
#include "support/RebuildInstallation.h"
#include "support/ServerProcess.h"

namespace {

using ::testing::HasSubstr;

const char* const kTables[] = {"Orders.ADT", "DicTables.ADT", "Contacts.ADT", "Notes.ADT"};

// The tables and definition files of the local end-to-end runs.
void LayOut(RebuildInstallation& inst) {
  std::vector<EngineRow> orders, contacts;
  const char* names[] = {"smith", "Jones", "brown", "Adams", "miller"};
  for (int i = 0; i < 300; ++i) {
    orders.push_back({"ord" + std::to_string(1000 + i), "cust" + std::to_string(i % 7),
                      std::to_string(i * 3.5), "2024-01-" + std::to_string(10 + i % 20)});
    contacts.push_back({"con" + std::to_string(1000 + i), names[i % 5], "first" + std::to_string(i),
                        std::to_string(10000 + i * 37 % 90000)});
  }
  inst.MakeTable("DicTables.ADT", {"Type:C:1", "Table_Name:C:40"},
                 {{"U", "Contacts.ADT"}, {"U", "Notes.ADT"}, {"S", "SysLock.adt"}, {"V", "View1"}});
  inst.MakeTable("Contacts.ADT", {"RECID:C:16", "LASTNAME:C:20", "FIRSTNAME:C:20", "ZIP:C:5"},
                 contacts);
  inst.MakeTable("Notes.ADT", {"RECID:C:16", "BODY:C:60"},
                 {{"n1", "first note"}, {"n2", "second"}});
  inst.MakeTable("Orders.ADT", {"RECID:C:16", "CUSTOMER:C:16", "AMOUNT:N", "DAY:D"}, orders);
  inst.MainInx(
      "[*Not4Rmv]\r\n"
      "Notes.ADT=N\r\n"
      "[VlxInxVxx!!!###_1800_DicTables.ADT]\r\n"
      "TABLE_NAME=Table_Name*ixCaseInsensitive\r\n"
      "[Orders.ADT]\r\n"
      "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "CUSTDAY=CUSTOMER;DAY\r\n"
      "AMOUNTD=AMOUNT*ixDescending\r\n"
      "[Contacts.ADT]\r\n"
      "NAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\n"
      "[Notes.ADT*VlxFts]\r\n"
      "FTS_BODY=BODY*MIN_WORD_LENGTH 2\r\n");
  inst.SecInx(
      "[VlxInxVxx!!!###_1800_DicTables.ADT]\r\n"
      "TYPE=Type\r\n"
      "[DicTables.ADT]\r\n"
      "TYPENAME=Type;Table_Name\r\n"
      "[Orders.ADT]\r\n"
      "CUST=CUSTOMER\r\n");
  inst.PageSizeInx("[Orders.ADT]\r\nInxPageSize=2048\r\n");
}

void PressStart() {
  TForm1 form;
  ASSERT_TRUE(form.FormCreate());
  form.Button1->click();
}

// Everything the run left in the index files, table by table.
std::string Outcome(const RebuildInstallation& inst) {
  std::string text;
  for (const char* table : kTables) {
    std::string name = table;
    name.replace(name.size() - 3, 3, "Adi");
    text += std::string(table) + ":";
    for (const auto& tag : inst.Tags(name)) {
      text += " " + tag.Name + "(" + tag.Expression + "," + std::to_string(tag.PageSize) + "," +
              std::to_string(tag.Keys) + (tag.Options.Unique ? ",u" : "") +
              (tag.Options.Descending ? ",d" : "") + (tag.Options.CaseInsensitive ? ",ci" : "") +
              ")";
    }
    text += "\n";
  }
  return text;
}

TEST(ServerRebuildRun, EveryIndexIsBuiltThroughTheServerAsLocally) {
  std::string local_outcome;
  {
    RebuildInstallation local;
    LayOut(local);
    PressStart();
    EXPECT_THAT(local.DialogTexts(), ::testing::ElementsAre("Completed Successfully"));
    local_outcome = Outcome(local);
    ASSERT_THAT(local_outcome, HasSubstr("PRIMARY(RECID,2048,300,u)"));
  }

  RebuildInstallation inst;
  LayOut(inst);
  const std::string root = std::filesystem::canonical(inst.Tree / "DB").parent_path().string();
  ServerProcess::Options options;
  options.Shares = {{"data", root}};
  ServerProcess server(options);
  // The installation's folders are on the share \\127.0.0.1:PORT\data.
  TempDir mounts;
  mounts.WriteFile("mountinfo", "36 25 0:52 / " + root +
                                    " rw,relatime shared:1 - cifs //127.0.0.1:" +
                                    std::to_string(server.Port()) + "/data rw,vers=3.1.1\n");
  platform::SetMountTableFile(mounts / "mountinfo");
  inst.Tree.WriteFile("DBSys/VorlexServer.sr1", "");
  inst.Tree.Reload();

  PressStart();
  platform::SetMountTableFile("");

  EXPECT_THAT(inst.DialogTexts(), ::testing::ElementsAre("Completed Successfully"));
  EXPECT_EQ(Outcome(inst), local_outcome);
  for (const char* table : kTables) EXPECT_EQ(inst.IndexProblems(table), "") << table;
  // The run's connections were remote ones, and the server did the work.
  EXPECT_THAT(inst.Log(), HasSubstr("ConnInfo: 1 "));
  EXPECT_THAT(inst.Log(), HasSubstr(" Remote 1 "));
  EXPECT_THAT(server.Log(), HasSubstr("connected to \\data\\DB"));
  EXPECT_THAT(server.Log(), ::testing::Not(HasSubstr("refused")));
}

// A share mounted without a port: the first connect goes to the default
// port, where no server answers; the second goes to the port that
// "VlxSQLinfo.ini" names, where the server listens.
TEST(ServerRebuildRun, StartUpConnectsOnTheSecondAttemptThroughThePortOfTheInfoFile) {
  RebuildInstallation inst;
  LayOut(inst);
  const std::string root = std::filesystem::canonical(inst.Tree / "DB").parent_path().string();
  ServerProcess::Options options;
  options.Shares = {{"data", root}};
  ServerProcess server(options);
  ASSERT_NE(server.Port(), 6262);
  TempDir mounts;
  mounts.WriteFile("mountinfo",
                   "36 25 0:52 / " + root + " rw,relatime shared:1 - cifs //127.0.0.1/data rw\n");
  platform::SetMountTableFile(mounts / "mountinfo");
  inst.Tree.WriteFile("DBSys/VorlexServer.sr1", "");
  inst.Tree.WriteFile("App/VlxSQLinfo.ini", "Port=" + std::to_string(server.Port()) + "\r\n");
  inst.Tree.Reload();

  PressStart();
  platform::SetMountTableFile("");

  EXPECT_THAT(inst.DialogTexts(), ::testing::ElementsAre("Completed Successfully"));
  for (const char* table : kTables) EXPECT_EQ(inst.IndexProblems(table), "") << table;
  EXPECT_THAT(Outcome(inst), HasSubstr("PRIMARY(RECID,2048,300,u)"));
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("2:net:\\\\127.0.0.1\\data\\DB"));
  EXPECT_THAT(log, HasSubstr("FixConnPath"));
  EXPECT_THAT(
      log, HasSubstr(" Remote 1 \\\\127.0.0.1:" + std::to_string(server.Port()) + "\\\\data\\DB"));
  EXPECT_THAT(server.Log(), ::testing::Not(HasSubstr("refused")));
}

}  // namespace
