#include "ui/ModalSeam.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/QtApp.h"
#include "ui/GenMsg_Unit.h"
#include "ui/MessageBoxes.h"

namespace {

class ModalSeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp();
    ui::SetModalResponder([this](const ui::ModalRequest& request) {
      Shown.push_back(request);
      EXPECT_NE(request.Dialog, nullptr);
      return 1;
    });
  }
  void TearDown() override { ui::SetModalResponder(nullptr); }

  std::vector<ui::ModalRequest> Shown;
};

TEST_F(ModalSeamTest, EveryBoxReachesTheResponderWithItsKindTitleAndButtons) {
  ui::ShowPlainMessage("Completed Successfully");
  ui::ShowErrorMessage("Table Contacts.ADT is in use");
  ShowMsg("hello");
  ShowMsgWithHelp("out of date", 203000000);

  ASSERT_EQ(Shown.size(), 4u);
  EXPECT_EQ(Shown[0].Kind, ui::ModalKind::PlainMessageBox);
  EXPECT_EQ(Shown[0].Title, "RebuildIndexes");
  EXPECT_EQ(Shown[0].Text, "Completed Successfully");
  EXPECT_EQ(Shown[0].Buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(Shown[1].Kind, ui::ModalKind::ErrorMessageBox);
  EXPECT_EQ(Shown[1].Title, "Error");
  EXPECT_EQ(Shown[2].Kind, ui::ModalKind::MessageForm);
  EXPECT_EQ(Shown[2].Title, "RebuildIndexes");
  EXPECT_EQ(Shown[2].HelpLinkId, 0);
  EXPECT_EQ(Shown[3].HelpLinkId, 203000000);
}

TEST_F(ModalSeamTest, ResponderAnswerIsTheModalResult) {
  ui::SetModalResponder([](const ui::ModalRequest&) { return 7; });
  QDialog dialog;
  EXPECT_EQ(ui::ShowModal(dialog, ui::ModalRequest{}), 7);
}

TEST(ModalSeamReal, WithoutResponderTheRealModalLoopRuns) {
  EnsureQtApp();
  ASSERT_FALSE(ui::HasModalResponder());
  QDialog dialog;
  bool was_modal = false;
  QTimer::singleShot(0, [&] {
    was_modal = QApplication::activeModalWidget() == &dialog;
    dialog.done(5);
  });
  EXPECT_EQ(ui::ShowModal(dialog, ui::ModalRequest{}), 5);
  EXPECT_TRUE(was_modal);
}

}  // namespace
