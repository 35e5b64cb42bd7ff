// The remote-control notice and the product name in form texts.
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include "UiFixture.h"
#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "diag/DatHE_Unit.h"
#include "support/InstallationTree.h"
#include "ui/DatGenDisplayAdsMsg_Unit.h"
#include "ui/DatGenFormTextHook.h"

namespace {

class ProductNameTest : public UiTest {
 protected:
  ProductNameTest() : previous_(GetProductName()) { SetProductName("VorlexCRM"); }
  ~ProductNameTest() override { SetProductName(previous_); }

 private:
  std::string previous_;
};

class NoticeTest : public ProductNameTest {
 protected:
  NoticeTest() { InitLog(); }
  ~NoticeTest() override { FreeLogHandler(); }

  void UseEnglish() {
    tree.WriteFile("App/RebuildTool.ENU", "LanguageCode=LNGENG\r\n");
    ASSERT_TRUE(LoadLanguageResources());
  }

  InstallationTree tree;
};

TEST_F(NoticeTest, LayoutAndTextsInHebrew) {
  TFrmDatGenDisplayAdsMsg notice(nullptr);
  EXPECT_EQ(notice.windowTitle().toStdString(), "Message");
  EXPECT_EQ(notice.size(), QSize(350, 145));
  EXPECT_EQ(notice.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_FALSE(notice.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(notice.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(notice.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(notice.pos(), QPoint((screen.width() - 350) / 2, (screen.height() - 145) / 2));

  struct Expected {
    QLabel* label;
    QPoint at;
    std::string text;
  };
  const std::vector<Expected> labels = {
      {notice.Label2, {16, 13}, "You can run VorlexCRM while using remote control technologies"},
      {notice.LblMsg, {16, 30}, "such as Remote Desktop, Terminal Services and Citrix."},
      {notice.Label3, {200, 48}, "."},
      {notice.Label4, {16, 54}, ""},  // emptied in Hebrew
      {notice.LblUrl, {16, 78}, "Learn More"},
  };
  for (const Expected& e : labels) {
    EXPECT_EQ(e.label->pos(), e.at) << e.label->objectName().toStdString();
    EXPECT_EQ(e.label->text().toStdString(), e.text);
  }
  EXPECT_EQ(notice.LblUrl->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(notice.LblUrl->font().underline());
  EXPECT_EQ(notice.LblUrl->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(notice.Button1->geometry(), QRect(138, 110, 75, 25));
  EXPECT_EQ(notice.Button1->text().toStdString(), "Close");
}

TEST_F(NoticeTest, EnglishShowsEveryLineAndTheProductNameIsSubstitutedInFull) {
  UseEnglish();
  SetProductName("Acme Suite");
  TFrmDatGenDisplayAdsMsg notice(nullptr);
  EXPECT_EQ(notice.Label2->text().toStdString(),
            "You can run Acme Suite while using remote control technologies");
  EXPECT_EQ(notice.Label4->text().toStdString(),
            "Please use the link below for more information on how to allow this.");
}

TEST_F(NoticeTest, LearnMoreOpensTheLinkEachTimeAndReadsTheFileOnce) {
  tree.WriteFile("DBSys/vlxlnks.vlx",
                 "900000016=\"http://help/remote\",\"Learn\",\"\",\"\",\"\"\r\n");
  TFrmDatGenDisplayAdsMsg notice(nullptr);
  notice.show();
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3),
                      notice.LblUrl->mapToGlobal(QPointF(3, 3)), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(notice.LblUrl, &release);
  tree.WriteFile("DBSys/vlxlnks.vlx", "900000016=\"http://help/changed\"\r\n");
  notice.LblUrlClick();
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://help/remote", "http://help/remote"}));
  EXPECT_TRUE(notice.isVisible());
  EXPECT_TRUE(Shown.empty());
}

TEST_F(NoticeTest, LinkFileWithoutTheIdShowsLinkNotFoundOverTheNotice) {
  tree.WriteFile("DBSys/vlxlnks.vlx", "5=\"http://help/other\"\r\n");
  TFrmDatGenDisplayAdsMsg notice(nullptr);
  notice.show();
  notice.LblUrlClick();
  EXPECT_TRUE(Opened.empty());
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Text, "Link not found");
  EXPECT_TRUE(notice.isVisible());
}

TEST_F(NoticeTest, ShownModallyAndClosedWithCancel) {
  int result = -1;
  OnShow = [&result](const ui::ModalRequest& request) {
    auto* notice = qobject_cast<TFrmDatGenDisplayAdsMsg*>(request.Dialog);
    EXPECT_NE(notice, nullptr);
    if (!notice) return 0;
    QObject::connect(notice, &QDialog::finished, [&result](int r) { result = r; });
    notice->Button1->click();
    return result;
  };
  ShowRemoteControlNotice();
  EXPECT_EQ(result, 2);
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Kind, ui::ModalKind::Form);
  EXPECT_EQ(Shown[0].Title, "Message");
  EXPECT_EQ(Shown[0].Buttons, std::vector<std::string>{"Close"});
  EXPECT_EQ(Shown[0].Text.rfind("You can run VorlexCRM while", 0), 0u);
}

// ---------------------------------------------------------------- form texts

// A form as a designer would leave it, texts carrying product words.
struct DesignedForm {
  DesignedForm() {
    form.setWindowTitle("About Vorlex");
    named = new QLabel("Vorlex tools ***VlxGenProd107349***", &form);
    named->setObjectName("Label1");
    named->setToolTip("Vorlex hint");
    unnamed = new QLabel("Vorlex unnamed", &form);
    kept = new QLabel("Vorlex kept", &form);
    kept->setObjectName("LblAUTONOCHANGE1");
    kept->setToolTip("Hint of VorlexCRM");
    button = new QPushButton("Start Vorlex", &form);
    check = new QCheckBox("Vorlex check", &form);
    panel = new QFrame(&form);
    panel->setToolTip("Panel of Vorlex");
    inner = new QLabel("Vorlex inner ***VlxGenProd107349***", panel);
    inner->setObjectName("Inner");
    dialog = new QDialog(&form);
    dialog->setWindowTitle("Vorlex dialog");
  }
  QWidget form;
  QLabel *named, *unnamed, *kept, *inner;
  QPushButton* button;
  QCheckBox* check;
  QFrame* panel;
  QDialog* dialog;  // a window of its own: processed when it becomes active
};

TEST_F(ProductNameTest, ApplyProductNamesByClassRules) {
  SetProductName("Acme");
  struct Case {
    bool full;
    std::string title, named, button, inner;
  };
  for (const Case& c :
       {Case{true, "About Acme", "Acme tools Acme", "Start Acme", "Acme inner Acme"},
        Case{false, "About Vorlex", "Vorlex tools Acme", "Start Acme", "Acme inner Acme"}}) {
    DesignedForm d;
    ApplyProductNames(&d.form, c.full);
    EXPECT_EQ(d.form.windowTitle().toStdString(), c.title);
    EXPECT_EQ(d.named->text().toStdString(), c.named);
    EXPECT_EQ(d.named->toolTip().toStdString(), c.full ? "Acme hint" : "Vorlex hint");
    EXPECT_EQ(d.unnamed->text().toStdString(),
              "Vorlex unnamed");  // a label without a name keeps its caption
    EXPECT_EQ(d.kept->text().toStdString(), "Vorlex kept");
    EXPECT_EQ(d.kept->toolTip().toStdString(),
              c.full ? "Hint of Acme" : "Hint of VorlexCRM");  // hints always pass
    // Windowed controls always get the full substitution, and so does what they own.
    EXPECT_EQ(d.button->text().toStdString(), c.button);
    EXPECT_EQ(d.check->text().toStdString(), "Acme check");
    EXPECT_EQ(d.panel->toolTip().toStdString(), "Panel of Acme");
    EXPECT_EQ(d.inner->text().toStdString(), c.inner);
    EXPECT_EQ(d.dialog->windowTitle().toStdString(), "Vorlex dialog");
  }
}

TEST_F(ProductNameTest, HookProcessesEachWindowOnceWithTheMessageDialogRule) {
  SetProductName("Acme");
  InstallFormTextHook();
  ASSERT_NE(GetFormTextHook(), nullptr);

  DesignedForm d;
  Activate(d.form);
  ASSERT_EQ(QApplication::activeWindow(), &d.form);
  EXPECT_EQ(d.form.windowTitle().toStdString(), "About Acme");
  EXPECT_EQ(d.named->text().toStdString(), "Acme tools Acme");

  // Once per window handle: activating it again changes nothing.
  d.named->setText("Vorlex again");
  QWidget other;
  Activate(other);
  Activate(d.form);
  EXPECT_EQ(d.named->text().toStdString(), "Vorlex again");

  // A message dialog: its text gets the token only, its buttons everything.
  auto dialog = BuildMessageForm("Vorlex failed ***VlxGenProd107349***", TMsgDlgType::mtError,
                                 {TMsgDlgBtn::mbOK});
  dialog->Buttons[0]->setText("Vorlex OK");
  Activate(*dialog);
  ASSERT_EQ(QApplication::activeWindow(), dialog.get());
  EXPECT_EQ(dialog->Message->text().toStdString(), "Vorlex failed Acme");
  EXPECT_EQ(dialog->Buttons[0]->text().toStdString(), "Acme OK");
  EXPECT_EQ(dialog->windowTitle().toStdString(), "Error");
  // The platform's message box follows the same rule.
  QMessageBox box(QMessageBox::NoIcon, "Vorlex", "Vorlex box ***VlxGenProd107349***",
                  QMessageBox::Ok);
  Activate(box);
  ASSERT_EQ(QApplication::activeWindow(), &box);
  EXPECT_EQ(box.text().toStdString(), "Vorlex box Acme");
  EXPECT_EQ(box.windowTitle().toStdString(), "Vorlex");
  box.hide();

  const int handles = GetFormTextHook()->Handles().Count();
  EXPECT_GE(handles, 3);
  EXPECT_GE(GetFormTextHook()->Handles().IndexOf(IntToStr(static_cast<long long>(dialog->winId()))),
            0);
  FreeFormTextHook();
}

}  // namespace
