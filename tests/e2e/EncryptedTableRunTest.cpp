// Encrypted tables in a rebuild: the table's password is enabled right after
// the exclusive open and disabled before the close; a table whose name gives
// no password fails alone.
#include <QApplication>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "db/DatGenTablePasswords.h"
#include "engine/crypto/TablePasswordSeeds.h"
#include "engine/table/TableRewrite.h"
#include "support/RebuildInstallation.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class FixedPasswords : public TTablePasswordProvider {
 public:
  std::string CWorkersPassword() const override { return "workers-secret"; }
  std::string SysPMPassword() const override { return "syspm-secret-0123456"; }
};

class EncryptedTableRunTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTablePasswordProvider(std::make_unique<FixedPasswords>()); }
  void TearDown() override { SetTablePasswordProvider(nullptr); }

  void MakeEncrypted(const std::string& name, const std::string& password) {
    inst.MakeTable(name, {"RECID:C:16", "NAME:C:20"}, {{"w1", "Ann"}, {"w2", "Bob"}, {"w3", "Cy"}});
    auto connection = engine::Connection::Connect(inst.DB());
    ASSERT_TRUE(connection.ok());
    engine::TableRewriteOptions options;
    options.KdfIterations =
        1000;  // the least the format allows: the test need not wait for a real key
    ASSERT_TRUE(engine::EncryptTable(**connection, name, password, options).ok());
  }

  // Tag names of an encrypted table's index file, read under its password.
  std::vector<std::string> EncryptedTagNames(const std::string& table,
                                             const std::string& password) {
    std::vector<std::string> names;
    auto connection = engine::Connection::Connect(inst.DB());
    if (!connection.ok()) return names;
    auto opened = engine::Table::Open(**connection, table, engine::OpenMode::Shared);
    if (!opened.ok() || !(*opened)->EnableEncryption(password).ok()) return names;
    auto indexes = (*opened)->Indexes();
    if (!indexes.ok() || !indexes.value()) return names;
    for (const auto& tag : indexes.value()->Tags()) names.push_back(tag.Name);
    const auto check = (*opened)->VerifyIndexes();
    if (check && !check->Ok()) names.push_back("unsound");
    return names;
  }

  void PressStart() {
    TForm1 form;
    ASSERT_TRUE(form.FormCreate());
    form.Button1->click();
  }

  RebuildInstallation inst;
};

TEST_F(EncryptedTableRunTest, TableWithItsOwnPasswordIsRebuiltAndNeverMarkedForRemoval) {
  MakeEncrypted("cworkers.adt", "workers-secret");  // the name's prefix is taken without case
  inst.MakeTable("Orders.ADT", {"RECID:C:16"}, {{"o1"}});
  inst.MainInx(
      "[*Not4Rmv]\r\nOther.ADT=N\r\n"
      "[cworkers.adt]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=NAME\r\n"
      "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();

  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  EXPECT_THAT(EncryptedTagNames("cworkers.adt", "workers-secret"), ElementsAre("PRIMARY", "NAME"));
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr(" - Orders.ADT=Y Orders.ADT Y\r\n"));
  EXPECT_EQ(log.find("cworkers.adt=Y"), std::string::npos);
}

TEST_F(EncryptedTableRunTest, DefaultProviderGivesTheCWorkersTablesTheirPassword) {
  SetTablePasswordProvider(nullptr);  // the installation's own provider, built from the seeds
  MakeEncrypted("CWorkers.ADT", engine::DefaultCWorkersPassword());
  inst.MainInx("[*Not4Rmv]\r\nOther.ADT=N\r\n[CWorkers.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();
  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  EXPECT_THAT(EncryptedTagNames("CWorkers.ADT", engine::DefaultCWorkersPassword()),
              ElementsAre("PRIMARY"));
  EXPECT_EQ(inst.Log().find("CWorkers.ADT=Y"), std::string::npos);
}

TEST_F(EncryptedTableRunTest, EncryptedTableWithoutAPasswordOfItsOwnFailsTheRun) {
  MakeEncrypted("Contacts.ADT", "some-other-secret");
  inst.MakeTable("Orders.ADT", {"RECID:C:16"}, {{"o1"}});
  inst.MainInx(
      "[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  PressStart();

  ASSERT_EQ(inst.Dialogs.size(), 2u);
  EXPECT_THAT(inst.Dialogs[0].Text, ::testing::EndsWith("\r\nContacts.ADT"));
  EXPECT_EQ(inst.Dialogs[1].Text, "Error in Indexes Rebuild ");
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=AddIndexes-ERR\r\nContacts.ADT"));
  EXPECT_THAT(inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY"));
}

}  // namespace
