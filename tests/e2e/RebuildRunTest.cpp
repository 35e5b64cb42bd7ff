// Whole rebuild runs: Start pressed on the real main window over a generated
// installation, the engine's tables and index files checked afterwards.
#include <QApplication>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "rebuild/DatProgProgressForm.h"
#include "support/ChildLock.h"
#include "support/RebuildInstallation.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::vector<std::string> kDicFields = {"Type:C:1", "Table_Name:C:40"};
const std::vector<std::string> kOrderFields = {"RECID:C:16", "CUSTOMER:C:16", "AMOUNT:N", "DAY:D"};
const std::vector<std::string> kContactFields = {"RECID:C:16", "LASTNAME:C:20", "FIRSTNAME:C:20",
                                                 "ZIP:C:5"};

std::vector<EngineRow> Orders(int count) {
  std::vector<EngineRow> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({"ord" + std::to_string(1000 + i), "cust" + std::to_string(i % 7),
                    std::to_string(i * 3.5), "2024-01-" + std::to_string(10 + i % 20)});
  }
  return rows;
}

std::vector<EngineRow> Contacts(int count) {
  std::vector<EngineRow> rows;
  const char* names[] = {"smith", "Jones", "brown", "Adams", "miller"};
  for (int i = 0; i < count; ++i) {
    rows.push_back({"con" + std::to_string(1000 + i), names[i % 5], "first" + std::to_string(i),
                    std::to_string(10000 + i * 37 % 90000)});
  }
  return rows;
}

// The installation most tests start from: a data dictionary naming two user
// tables, a table that only the definition files name, and the definitions
// with version tags, a secondary file and an exemption list.
class RebuildRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.MakeTable(
        "DicTables.ADT", kDicFields,
        {{"U", "Contacts.ADT"}, {"U", "Notes.ADT"}, {"S", "SysLock.adt"}, {"V", "View1"}});
    inst.MakeTable("Contacts.ADT", kContactFields, Contacts(40));
    inst.MakeTable("Notes.ADT", {"RECID:C:16", "BODY:C:60"},
                   {{"n1", "first note"}, {"n2", "second"}});
    inst.MakeTable("Orders.ADT", kOrderFields, Orders(30));
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
        "NAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\n");
    inst.SecInx(
        "[VlxInxVxx!!!###_1800_DicTables.ADT]\r\n"
        "TYPE=Type\r\n"
        "[DicTables.ADT]\r\n"
        "TYPENAME=Type;Table_Name\r\n"
        "[Orders.ADT]\r\n"
        "CUST=CUSTOMER\r\n");
  }

  // Presses Start on a real main window.
  void PressStart() {
    TForm1 form;
    ASSERT_TRUE(form.FormCreate());
    form.Button1->click();
    EXPECT_TRUE(form.isEnabled());
  }

  bool StopMarkerLeft() const {
    return platform::FileExists(inst.Tree / "DBSys/VorlexStop.INI") ||
           platform::FileExists(inst.Tree / "DBSys/CRMStop.INI");
  }

  RebuildInstallation inst;
};

TEST_F(RebuildRunTest, EveryListedIndexIsRebuiltAndTheRunSucceeds) {
  PressStart();

  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  EXPECT_EQ(inst.Dialogs[0].Kind, ui::ModalKind::PlainMessageBox);

  // First pass: the main file's entries, then the secondary file's, the
  // versioned section's and the plain table name's.
  EXPECT_THAT(inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY", "CUSTDAY", "AMOUNTD", "CUST"));
  EXPECT_THAT(inst.TagNames("DicTables.Adi"), ElementsAre("TABLE_NAME", "TYPE", "TYPENAME"));
  const auto orders = inst.Tags("Orders.Adi");
  EXPECT_TRUE(orders[0].Options.Unique);
  EXPECT_EQ(orders[0].Expression, "RECID");
  EXPECT_EQ(orders[1].Expression, "CUSTOMER;DAY");
  EXPECT_TRUE(orders[2].Options.Descending);
  EXPECT_FALSE(orders[3].Options.Unique);
  EXPECT_TRUE(inst.Tags("DicTables.Adi")[0].Options.CaseInsensitive);
  EXPECT_EQ(orders[0].Keys, 30u);

  // Second pass: each user table of the dictionary ends with PRIMARY on
  // RECID alone, even one the first pass gave other indexes.
  EXPECT_THAT(inst.TagNames("Contacts.Adi"), ElementsAre("PRIMARY"));
  EXPECT_THAT(inst.TagNames("Notes.Adi"), ElementsAre("PRIMARY"));
  EXPECT_TRUE(inst.Tags("Contacts.Adi")[0].Options.Unique);

  for (const char* table : {"Orders.ADT", "DicTables.ADT", "Contacts.ADT", "Notes.ADT"}) {
    EXPECT_EQ(inst.IndexProblems(table), "") << table;
  }

  const std::string log = inst.Log();
  const size_t bof = log.find("Proc_Name=MainFrm-Bld-Bof\r\nN\r\n");
  ASSERT_NE(bof, std::string::npos);
  // Only the start-up's connect comes before the run's first entry.
  EXPECT_EQ(log.find("Proc_Name="),
            log.find("Proc_Name=DatGenDBConnectionDM.SetConnectionParams-Gen"));
  EXPECT_EQ(log.find("Proc_Name=", log.find("Proc_Name=") + 1), bof)
      << "MainFrm-Bld-Bof is the first entry of the run";
  EXPECT_EQ(log.rfind("Proc_Name="), log.rfind("Proc_Name=MainFrm-Bld-Eof\r\nY\r\n"));
  EXPECT_THAT(log, HasSubstr("\r\nRbldInx:3"));  // tables of the first pass
  EXPECT_THAT(log, HasSubstr("\r\nRbldInx:2"));  // user tables of the dictionary
  EXPECT_FALSE(StopMarkerLeft());
  // The removal pass waits 50 ms per entry of its list: the exemption, the
  // marker and the two tables the run marked (Orders, Contacts).
  EXPECT_EQ(inst.Sleeps.Waits, (std::vector<unsigned>{50, 50, 50, 50}));
}

TEST_F(RebuildRunTest, EveryKindOfSectionAtOnce) {
  inst.MainInx(
      "[*Not4Rmv]\r\n"
      "Notes.ADT=N\r\n"
      "[VlxInxVxx!!!###_1800_DicTables.ADT]\r\n"
      "TABLE_NAME=Table_Name*ixCaseInsensitive\r\n"
      "[VlxInxVxx!!!###_5601_Orders.ADT]\r\n"
      "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "CUSTDAY=CUSTOMER;DAY*ixDescending\r\n"
      "[Contacts.ADT]\r\n"
      "NAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\n"
      "[Notes.ADT*VlxFts]\r\n"
      "FTS_BODY=BODY*MIN_WORD_LENGTH 2\r\n"
      "[*OP_FtsNoise_Notes_FTS_BODY]\r\n"
      "w1=the\r\n");
  inst.PageSizeInx("[Orders.ADT]\r\nInxPageSize=2048\r\n");
  PressStart();

  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  for (const char* table : {"Orders.ADT", "DicTables.ADT", "Contacts.ADT", "Notes.ADT"}) {
    EXPECT_EQ(inst.IndexProblems(table), "") << table;
  }
  EXPECT_THAT(inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY", "CUSTDAY", "CUST"));
  EXPECT_EQ(inst.Tags("Orders.Adi")[0].PageSize, 2048u);
  // Notes: its full-text tag from the first pass, then the second pass
  // removes the file and gives it PRIMARY alone.
  EXPECT_THAT(inst.TagNames("Notes.Adi"), ElementsAre("PRIMARY"));
  EXPECT_THAT(inst.Log(), HasSubstr("  *BldFtxInx:Notes FTS_BODY"));
}

TEST_F(RebuildRunTest, RefusedIndexIsReportedAndTheTableStillGetsItsOtherIndexes) {
  inst.MainInx(
      "[Orders.ADT]\r\n"
      "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "BAD=NOSUCHFIELD\r\n"
      "CUSTDAY=CUSTOMER;DAY\r\n"
      "[Contacts.ADT]\r\n"
      "NAME=LASTNAME;FIRSTNAME\r\n");
  int progress_max = -1;
  int progress_position = -1;
  inst.OnDialog = [&](const ui::ModalRequest&) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* progress = qobject_cast<TDatProgProgressFrm*>(widget)) {
        progress_max = progress->VlxProgressBar1->Max();
        progress_position = progress->VlxProgressBar1->Position();
      }
    }
  };
  PressStart();

  ASSERT_EQ(inst.Dialogs.size(), 2u);
  EXPECT_EQ(inst.Dialogs[0].Kind, ui::ModalKind::ErrorMessageBox);
  EXPECT_THAT(inst.Dialogs[0].Text, HasSubstr("NOSUCHFIELD"));
  EXPECT_THAT(inst.Dialogs[0].Text, ::testing::EndsWith("\r\nOrders.ADT"));
  EXPECT_EQ(inst.Dialogs[1].Text, "Error in Indexes Rebuild ");
  // Every index entry of the first pass is one step: 3 of Orders, 1 of
  // Contacts and the secondary file's CUST; the refused one was the second.
  EXPECT_EQ(progress_max, 5);
  EXPECT_EQ(progress_position, 2);

  EXPECT_THAT(inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY", "CUSTDAY", "CUST"));
  EXPECT_THAT(inst.TagNames("Contacts.Adi"),
              ElementsAre("NAME"));  // no second pass after a failed first
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=BuildIndexes-ERR\r\nOrders.ADT BAD"));
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=MainFrm-Bld-Eof\r\nN\r\n"));
  EXPECT_FALSE(StopMarkerLeft());
}

TEST_F(RebuildRunTest, MissingMainFileFailsBeforeAnythingIsTouched) {
  platform::DeleteFile(inst.Tree / "DBSys/VorlexInx.ini");
  PressStart();

  const std::string dbsys = inst.Tree / "DBSys";
  EXPECT_THAT(inst.DialogTexts(),
              ElementsAre(" File CRMInx.ini does not exist \n\r Install in folder \n\r" + dbsys +
                              "\n\r and try again ",
                          "Error in Indexes Rebuild "));
  EXPECT_EQ(inst.Dialogs[0].Kind, ui::ModalKind::ErrorMessageBox);
  EXPECT_TRUE(inst.TagNames("Orders.Adi").empty());
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=1.\r\n File CRMInx.ini does not exist"));
  EXPECT_EQ(inst.Log().find("CONNECTEXCLUSIVE"), std::string::npos);
}

TEST_F(RebuildRunTest, PreviousVersionMainFileIsRefused) {
  inst.MainInx("; old style: ixPrimary\r\n[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();

  EXPECT_THAT(
      inst.DialogTexts(),
      ElementsAre("FileVorlexInx.ini\n\ryou have installed belongs to a previous version\n\r"
                  "Replace with newer version\n\rand try again",
                  "Error in Indexes Rebuild "));
  EXPECT_TRUE(inst.TagNames("Orders.Adi").empty());
}

TEST_F(RebuildRunTest, UnknownVersionTagStopsTheRunWithTheOutOfDateMessage) {
  inst.MainInx(
      "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "[VlxInxVxx!!!###_1900_Contacts.ADT]\r\nNAME=LASTNAME\r\n");
  PressStart();

  ASSERT_EQ(inst.Dialogs.size(), 2u);
  EXPECT_EQ(inst.Dialogs[0].Kind, ui::ModalKind::MessageForm);
  EXPECT_EQ(inst.Dialogs[0].HelpLinkId, 203000000);
  EXPECT_THAT(
      inst.Dialogs[0].Text,
      HasSubstr(
          "cannot be used with the version of VorlexCRM you have installed.\r\nPlease download"));
  EXPECT_TRUE(inst.TagNames("Orders.Adi").empty()) << "no table is touched";
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=LoadTblNamesToLst\r\n"));
}

TEST_F(RebuildRunTest, PageSizeFromThePageSizeFile) {
  inst.PageSizeInx(
      "[Orders.ADT]\r\nInxPageSize=4096\r\n"
      "[Contacts.ADT]\r\nInxPageSize=3000\r\n");
  PressStart();

  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  for (const auto& tag : inst.Tags("Orders.Adi")) EXPECT_EQ(tag.PageSize, 4096u) << tag.Name;
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("  *IsNeedNewPageSize: Orders.ADT 4096"));
  EXPECT_THAT(log, HasSubstr("Proc_Name=IsNeedNewPageSizeContacts.ADT\r\nwrong PageSize 3000"));
  EXPECT_EQ(log.find("HandlePageSizeInx "), std::string::npos);
}

TEST_F(RebuildRunTest, TableHeldOpenElsewhereFailsAloneAfterFourAttempts) {
  // Notes gets an index file, then another process holds the table open.
  inst.MainInx(
      "[Notes.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();
  ASSERT_THAT(inst.TagNames("Notes.Adi"), ElementsAre("PRIMARY"));
  ASSERT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  inst.Dialogs.clear();

  ChildLock holder([this] {
    static std::unique_ptr<engine::Connection> connection;  // kept open in the child until it ends
    static std::unique_ptr<engine::Table> table;
    auto connected = engine::Connection::Connect(inst.DB());
    if (!connected.ok()) return false;
    connection = std::move(connected.value());
    auto opened = engine::Table::Open(*connection, "Notes.ADT", engine::OpenMode::Shared);
    if (!opened.ok()) return false;
    table = std::move(opened.value());
    return true;
  });
  ASSERT_TRUE(holder.Locked());

  PressStart();
  holder.Release();

  ASSERT_EQ(inst.Dialogs.size(), 3u);
  EXPECT_EQ(inst.Dialogs[0].Text, "Table Notes.ADT is in use");
  EXPECT_THAT(inst.Dialogs[1].Text,
              ::testing::EndsWith("\r\nNotes.ADT"));  // the exclusive open fails too
  EXPECT_EQ(inst.Dialogs[2].Text, "Error in Indexes Rebuild ");
  EXPECT_EQ(inst.Sleeps.Waits, (std::vector<unsigned>{1000, 1000, 1000, 1000}));
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("ErrorCodes:16 16 16 16  N 4"));
  EXPECT_THAT(log, HasSubstr("not deleted"));
  EXPECT_THAT(log, HasSubstr("Proc_Name=AddIndexes-ERR\r\nNotes.ADT"));
  // The other table is still rebuilt (with the secondary file's index).
  EXPECT_THAT(inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY", "CUST"));
  EXPECT_THAT(inst.TagNames("Notes.Adi"), ElementsAre("PRIMARY"));
}

}  // namespace
