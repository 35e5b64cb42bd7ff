// What the main window's creation sets up for messages: the form-text hook,
// the main form dialogs are placed over, the installed product name and the
// language resources; and the run's error messages in the message dialog.
#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "common/DatGenResources.h"
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

TEST_F(MainWindowStartupTest, FormCreateInstallsTheHookAndReadsTheInstallation) {
  inst.Tree.WriteFile("App/VorlexCRM.ini", "[GENERAL]\r\nProductName=Acme CRM\r\n");
  inst.Tree.WriteFile("App/" + std::string("RebuildTool.ENU"), "LanguageCode=LNGENG\r\n");
  TForm1 form;
  ASSERT_TRUE(form.FormCreate());
  EXPECT_NE(GetFormTextHook(), nullptr);
  EXPECT_EQ(GetMainForm(), &form);
  EXPECT_EQ(GetProductName(), "Acme CRM");
  EXPECT_EQ(GetLanguageCode(), "LNGENG");
}

TEST_F(MainWindowStartupTest, WithoutSettingsTheProductIsVorlexCRMAndTheLanguageHebrew) {
  SetProductName("");
  TForm1 form;
  ASSERT_TRUE(form.FormCreate());
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

}  // namespace
