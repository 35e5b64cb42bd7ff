// What the main window's creation sets up for messages: the form-text hook,
// the main form dialogs are placed over, the installed product name and the
// language resources; and the run's error messages in the message dialog.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "common/DatGenResources.h"
#include "dataset/AdsConnection.h"
#include "db/DatGenDBConnectionDM.h"
#include "db/DatGenEngineCheck.h"
#include "diag/DatHEMgr_Unit.h"
#include "support/RebuildInstallation.h"
#include "ui/DatGenFormTextHook.h"
#include "ui/GenMsg_Unit.h"

namespace {

class MainWindowStartupTest : public ::testing::Test {
 protected:
  ~MainWindowStartupTest() override {
    UnloadResourceModule();
    SetMainForm(nullptr);
  }
  RebuildInstallation inst;
};

TEST_F(MainWindowStartupTest, ProcessInitialisationReadsTheInstallationAndFormCreateHooks) {
  inst.Tree.WriteFile("App/VorlexCRM.ini", "[GENERAL]\r\nProductName=Acme CRM\r\n");
  inst.Tree.WriteFile("App/" + std::string("RebuildTool.ENU"), "LanguageCode=LNGENG\r\n");
  InitializeProcess();
  inst.Tree.Reload();  // the tree's program name again, for the checks below
  EXPECT_EQ(GetProductName(), "Acme CRM");
  EXPECT_EQ(GetLanguageCode(), "LNGENG");
  EXPECT_NE(GetHEMgr(), nullptr);
  {
    TForm1 form;
    ASSERT_TRUE(form.FormCreate());
    EXPECT_NE(GetFormTextHook(), nullptr);
    EXPECT_EQ(GetMainForm(), &form);
  }
  FreeHEMgr();
}

TEST_F(MainWindowStartupTest, WithoutSettingsTheProductIsVorlexCRMAndTheLanguageHebrew) {
  SetProductName("");
  InitializeProcess();
  inst.Tree.Reload();
  FreeHEMgr();
  EXPECT_EQ(GetProductName(), "VorlexCRM");
  EXPECT_EQ(GetLanguageCode(), "LNGHEB");
}

TEST_F(MainWindowStartupTest, AnErrorOfTheRunIsShownInTheMessageDialog) {
  std::vector<std::string> dialogs;
  inst.OnDialog = [&dialogs](const ui::ModalRequest& request) {
    if (const auto* form = qobject_cast<TMessageForm*>(request.Dialog)) {
      dialogs.push_back(form->windowTitle().toStdString() + ": " +
                        form->Message->text().toStdString());
    }
  };
  TForm1 form;
  ASSERT_TRUE(form.FormCreate());
  form.Button1->click();  // no main definition file: the run fails at once
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].rfind("Error:  File ", 0), 0u) << dialogs[0];
  EXPECT_EQ(inst.Dialogs.back().Kind,
            ui::ModalKind::PlainMessageBox);  // the outcome stays a plain box
}

TEST_F(MainWindowStartupTest, MissingEngineFileIsShownOnceAndEndsBeforeAnyConnection) {
  std::filesystem::remove(inst.Tree / "App/adsloc32.dll");
  TForm1 form;
  EXPECT_FALSE(form.FormCreate());
  ASSERT_EQ(inst.Dialogs.size(), 1u);
  EXPECT_EQ(inst.Dialogs[0].Kind, ui::ModalKind::PlainMessageBox);
  const std::string& text = inst.Dialogs[0].Text;
  EXPECT_NE(text.find("Missing Files:\r\nadsloc32.dll\r\n\r\n("), std::string::npos) << text;
  const std::string log = inst.Log();
  const size_t entry = log.find("Proc_Name=VlxHlt-0\r\n");
  ASSERT_NE(entry, std::string::npos);
  EXPECT_NE(log.find(text, entry), std::string::npos) << "the entry holds the same text";
  EXPECT_EQ(ConnectionDM(), nullptr) << "no connection was made";
  EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindowStartupTest, UnreachableDatabaseEndsWithoutAMessageOfItsOwn) {
  inst.Tree.WriteFile("App/VorlexCRM.ini", "[DATABASE]\r\nPath=" + inst.Tree / "NoSuchDB" + "\r\n");
  inst.Tree.Reload();
  TForm1 form;
  EXPECT_FALSE(form.FormCreate());
  // Only the connection set-up's message: the second, silent attempt and
  // the program's end show nothing.
  ASSERT_EQ(inst.Dialogs.size(), 1u);
  EXPECT_EQ(inst.Dialogs[0].Text.rfind("Procedure halted due to data database/server access", 0),
            0u);
  const std::string log = inst.Log();
  EXPECT_NE(log.find("Proc_Name=.OpenMainConnection"), std::string::npos);
  EXPECT_NE(log.find("Proc_Name=VlxHlt-1\r\n"), std::string::npos);
}

TEST_F(MainWindowStartupTest, LocalInstallationHoldsTheSystemLockFromStartUp) {
  TForm1 form;
  ASSERT_TRUE(form.FormCreate());
  EXPECT_TRUE(IsSystemLockOpen());
  EXPECT_TRUE(ConnectionDM()->DBConnection->IsConnected());
}

}  // namespace
