// Records without a record id: the repair of a primary index on RECID that
// fails for them, and the removal pass over the tables marked for it.
#include <QApplication>
#include <QPushButton>
#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "support/RebuildInstallation.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::vector<std::string> kFields = {"RECID:C:16", "NAME:C:20"};

struct Counts {
  uint32_t all = 0;
  uint32_t live = 0;
};

class RecordIdRepairTest : public ::testing::Test {
 protected:
  void PressStart() {
    TForm1 form;
    ASSERT_TRUE(form.FormCreate());
    form.Button1->click();
  }

  Counts RecordsOf(const std::string& table) const {
    auto connection = engine::Connection::Connect(inst.DB());
    if (!connection.ok()) return {};
    auto opened = engine::Table::Open(**connection, table, engine::OpenMode::Shared);
    if (!opened.ok()) return {};
    auto live = (*opened)->CountLiveRecords();
    return {(*opened)->RecordCount(), live.ok() ? live.value() : 0};
  }

  // The NAME of every deleted record, as `dbtool dump --deleted` finds them.
  std::vector<std::string> DeletedNames(const std::string& table) const {
    std::vector<std::string> names;
    auto connection = engine::Connection::Connect(inst.DB());
    if (!connection.ok()) return names;
    auto opened = engine::Table::Open(**connection, table, engine::OpenMode::Shared);
    if (!opened.ok()) return names;
    auto scanner = (*opened)->Scan(true);
    while (scanner.Next()) {
      const engine::RecordView view = scanner.Record();
      if (view.IsDeleted()) names.emplace_back(view.TrimmedChars(1));
    }
    return names;
  }

  size_t Count(const std::vector<unsigned>& waits, unsigned ms) const {
    return static_cast<size_t>(std::count(waits.begin(), waits.end(), ms));
  }

  RebuildInstallation inst;
};

TEST_F(RecordIdRepairTest, EmptyRecordIdsAreRemovedAndThePrimaryIndexBuilt) {
  inst.MakeTable("Contacts.ADT", kFields,
                 {{"c1", "one"},
                  {std::nullopt, "no id"},
                  {"c3", "three"},
                  {"", "empty id"},
                  {"   ", "blank id"}});
  inst.MainInx(
      "[*Not4Rmv]\r\nOther.ADT=N\r\n[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME="
      "NAME\r\n");
  PressStart();

  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  EXPECT_THAT(inst.TagNames("Contacts.Adi"), ElementsAre("PRIMARY", "NAME"));
  EXPECT_EQ(inst.IndexProblems("Contacts.ADT"), "");
  const Counts counts = RecordsOf("Contacts.ADT");
  EXPECT_EQ(counts.all, 5u) << "deleted records stay in the file";
  EXPECT_EQ(counts.live, 2u);
  EXPECT_EQ(Count(inst.Sleeps.Waits, 2000), 3u);
  // The removed records are still there to see, flagged deleted.
  EXPECT_THAT(DeletedNames("Contacts.ADT"), ElementsAre("no id", "empty id", "blank id"));

  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("Proc_Name=BuildIndexes-ERR\r\nContacts.ADT PRIMARY"));
  EXPECT_THAT(log,
              HasSubstr("Proc_Name=RmvNullRecId-Bof (VlxUpgInd:RmvNullRecId)\r\nContacts.ADT"));
  EXPECT_THAT(
      log,
      HasSubstr(
          "Proc_Name=RmvNullRecId-Removed Contacts.ADT\r\n3 records without a record id removed"));
  EXPECT_THAT(log, HasSubstr("Proc_Name=Bof-Fix\r\nContacts.ADT"));
  EXPECT_THAT(log, HasSubstr("Proc_Name=Eof-Fix\r\nContacts.ADT"));
  EXPECT_THAT(log, HasSubstr("Proc_Name=RmvNullRecId-Eof\r\nContacts.ADT delete from Contacts "
                             "where RECID is null  or RECID = ''"));
  // A repaired table is not marked again for the removal pass.
  EXPECT_EQ(log.find("Contacts.ADT=Y"), std::string::npos);
}

TEST_F(RecordIdRepairTest, RepairThatFailsAgainFailsTheRun) {
  // After the empty ids go, two equal ids still stop the unique index.
  inst.MakeTable("Contacts.ADT", kFields, {{"c1", "one"}, {"", "empty"}, {"c1", "twin"}});
  inst.MainInx("[*Not4Rmv]\r\nOther.ADT=N\r\n[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();

  ASSERT_EQ(inst.Dialogs.size(), 2u);
  EXPECT_EQ(inst.Dialogs[0].Kind, ui::ModalKind::ErrorMessageBox);
  // The box gives what stopped the repair (the equal ids), not the empty
  // ids it already removed.
  EXPECT_EQ(inst.Dialogs[0].Text, "Duplicate key 'c1' in the unique index PRIMARY\r\nContacts.ADT");
  EXPECT_EQ(inst.Dialogs[1].Text, "Error in Indexes Rebuild ");
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=.RbldInxOnErr-Err\r\n"));
  EXPECT_EQ(RecordsOf("Contacts.ADT").live, 2u);
}

TEST_F(RecordIdRepairTest, OtherIndexErrorsAreNotRepaired) {
  inst.MakeTable("Contacts.ADT", kFields, {{"c1", "one"}, {"c1", "twin"}});
  inst.MainInx("[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();
  EXPECT_EQ(inst.DialogTexts().back(), "Error in Indexes Rebuild ");
  EXPECT_EQ(inst.Log().find("RmvNullRecId-Bof"), std::string::npos);
  EXPECT_EQ(Count(inst.Sleeps.Waits, 2000), 0u);
}

TEST_F(RecordIdRepairTest, WithoutAnExemptionListNothingIsRemoved) {
  inst.MakeTable("Contacts.ADT", kFields, {{"c1", "one"}, {"c2", "two"}});
  inst.MainInx("[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();
  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("Proc_Name=NOT FOR DEL\r\n"));
  EXPECT_EQ(log.find("RmvNullRecId-Removed"), std::string::npos);
  EXPECT_EQ(Count(inst.Sleeps.Waits, 50), 0u);
}

TEST_F(RecordIdRepairTest, MarkedTablesAreCleanedAndExemptOnesLeftAlone) {
  inst.MakeTable("Contacts.ADT", kFields, {{"c1", "one"}});
  inst.MakeTable("Orders.ADT", kFields, {{"o1", "one"}});
  inst.MainInx(
      "[*Not4Rmv]\r\nContacts.ADT=N\r\n"
      "[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();
  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  const std::string log = inst.Log();
  // The list: the exemption, the marker, then the one table marked by the run.
  EXPECT_THAT(log, HasSubstr(" - Contacts.ADT=N Contacts.ADT N\r\n"));
  EXPECT_THAT(log, HasSubstr(" - *Not4Rmv=*Not4Rmv *Not4Rmv N\r\n"));
  EXPECT_THAT(log, HasSubstr(" - Orders.ADT=Y Orders.ADT Y\r\n"));
  EXPECT_THAT(log, HasSubstr("Proc_Name=RmvNullRecId-Removed Orders.ADT\r\n0 records"));
  EXPECT_EQ(log.find("RmvNullRecId-Removed Contacts.ADT"), std::string::npos);
  EXPECT_THAT(log, HasSubstr("Proc_Name=MakeAfReInxDelNullRecId-Bld-Eof\r\nY N 3 1 1\r\n"));
  EXPECT_EQ(Count(inst.Sleeps.Waits, 50), 3u);
}

TEST_F(RecordIdRepairTest, AFailedRemovalFailsThePassEvenWhenTheCountsWouldMatch) {
  // Ghost.ADT does not exist, so its removal fails; Orders' succeeds. The
  // one removal after the marker matches one entry after it, yet the pass
  // must not answer success.
  inst.MakeTable("Orders.ADT", kFields, {{"o1", "one"}});
  inst.MainInx("[*Not4Rmv]\r\nGhost.ADT=Y\r\n[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();
  ASSERT_EQ(inst.Dialogs.size(), 2u);
  EXPECT_EQ(inst.Dialogs[0].Text, "Ghost.ADT=Y - ");
  EXPECT_EQ(inst.Dialogs[1].Text, "Error in Indexes Rebuild ");
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=MakeAfReInxDelNullRecId-Err\r\ndelete from Ghost "
                                    "where RECID is null  or RECID = ''"));
}

TEST_F(RecordIdRepairTest, ATableOfTheExemptionListMarkedForRemovalCountsAsSuccess) {
  inst.MakeTable("Orders.ADT", kFields, {{"o1", "one"}, {"o2", "two"}});
  inst.MakeTable("Old.ADT", kFields, {{"x", "kept"}, {"", "removed"}});
  inst.MainInx("[*Not4Rmv]\r\nOld.ADT=Y\r\n[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();
  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  EXPECT_EQ(RecordsOf("Old.ADT").live, 1u);
}

TEST(DeleteStatement, NamesTheTableWithoutItsExtension) {
  EXPECT_EQ(DeleteNullRecIdStatement("Contacts.ADT"),
            "delete from Contacts where RECID is null  or RECID = ''");
  EXPECT_EQ(DeleteNullRecIdStatement("Plain"),
            "delete from Plain where RECID is null  or RECID = ''");
}

}  // namespace
