// The message dialog on real (offscreen) widgets: its layout numbers, the
// buttons and their keys, the placement and the top-most rule, Ctrl+C.
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include "UiFixture.h"
#include "ui/MessageBoxes.h"

namespace {

const TMsgDlgButtons kAllButtons{TMsgDlgBtn::mbYes,      TMsgDlgBtn::mbNo,    TMsgDlgBtn::mbOK,
                                 TMsgDlgBtn::mbCancel,   TMsgDlgBtn::mbAbort, TMsgDlgBtn::mbRetry,
                                 TMsgDlgBtn::mbIgnore,   TMsgDlgBtn::mbAll,   TMsgDlgBtn::mbNoToAll,
                                 TMsgDlgBtn::mbYesToAll, TMsgDlgBtn::mbHelp};

// The spacing numbers the layout derives from the dialog's font.
struct Metrics {
  explicit Metrics(const QWidget& form) : fm(form.font()) {
    const QPoint average = GetAverageCharSize(fm);
    horz_margin = MulDiv(8, average.x(), 4);
    vert_margin = MulDiv(8, average.y(), 8);
    vert_spacing = MulDiv(10, average.y(), 8);
    button_height = MulDiv(14, average.y(), 8);
    button_spacing = MulDiv(4, average.x(), 4);
    button_width = MulDiv(50, average.x(), 4);
  }
  QFontMetrics fm;
  int horz_margin, vert_margin, vert_spacing, button_height, button_spacing, button_width;
};

int ScreenWidth() {
  return QGuiApplication::primaryScreen()->geometry().width();
}

void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(target, &press);
}

using GenMsgTest = UiTest;

TEST_F(GenMsgTest, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(8, 7, 4), 14);
  EXPECT_EQ(MulDiv(10, 13, 8), 16);  // 16.25
  EXPECT_EQ(MulDiv(14, 13, 8), 23);  // 22.75
  EXPECT_EQ(MulDiv(5, 1, 2), 3);     // 2.5
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
}

TEST_F(GenMsgTest, FormFontAndAverageCharacterSize) {
  auto form = BuildMessageForm("x", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  EXPECT_EQ(form->font().family().toStdString(), "Arial");
  EXPECT_EQ(form->font().pointSize(), 9);
  const QFontMetrics fm(form->font());
  const QPoint average = GetAverageCharSize(fm);
  EXPECT_EQ(average.x(),
            fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52);
  EXPECT_EQ(average.y(), fm.height());
  EXPECT_GT(average.x(), 3);
}

TEST_F(GenMsgTest, ShortMessageKeepsTheTextAreaAt120Pixels) {
  auto form = BuildMessageForm("OK", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  const Metrics m(*form);
  const QRect text = m.fm.boundingRect(QRect(0, 0, ScreenWidth() / 2, 0),
                                       Qt::TextWordWrap | Qt::TextExpandTabs, "OK");
  ASSERT_LT(text.width(), 120);
  EXPECT_EQ(form->width(), 120 + 2 * m.horz_margin);
  EXPECT_EQ(form->height(), text.height() + m.button_height + m.vert_spacing + 2 * m.vert_margin);
  EXPECT_EQ(form->Message->geometry(),
            QRect(m.horz_margin, m.vert_margin, text.width(), text.height()));
  ASSERT_EQ(form->Buttons.size(), 1u);
  const QPushButton* ok = form->Buttons[0];
  EXPECT_EQ(ok->objectName().toStdString(), "OK");
  EXPECT_EQ(ok->width(), m.button_width);
  EXPECT_EQ(ok->height(), m.button_height);
  EXPECT_EQ(ok->x(), (form->width() - m.button_width) / 2);
  EXPECT_EQ(ok->y(), text.height() + m.vert_margin + m.vert_spacing);
}

TEST_F(GenMsgTest, LongMessageWrapsAtHalfTheScreenWidth) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "word" + std::to_string(i) + " ";
  auto form = BuildMessageForm(text, TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  const Metrics m(*form);
  const int half = ScreenWidth() / 2;
  EXPECT_LE(form->Message->width(), half);
  EXPECT_GT(form->Message->width(), half - m.fm.horizontalAdvance("word00 "));
  EXPECT_GE(form->Message->height(), 3 * m.fm.height());
  EXPECT_EQ(form->width(), form->Message->width() + 2 * m.horz_margin);
  // The label wraps the way the text was measured: all of it fits.
  EXPECT_LE(form->Message->heightForWidth(form->Message->width()), form->Message->height());
}

TEST_F(GenMsgTest, TabsAreExpandedAndEveryLineEndBreaks) {
  auto plain = BuildMessageForm("a b", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  auto tabbed = BuildMessageForm("a\t\t\t\tb", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  EXPECT_GT(tabbed->Message->width(), plain->Message->width());
  const int line = QFontMetrics(plain->font()).height();
  for (const char* text : {"one\r\ntwo", "one\ntwo", "one\rtwo"}) {
    auto form = BuildMessageForm(text, TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
    EXPECT_EQ(form->Message->height(), 2 * line) << text;
  }
}

TEST_F(GenMsgTest, EveryButtonInTableOrderWithOneWidth) {
  auto form = BuildMessageForm("Choose", TMsgDlgType::mtConfirmation, kAllButtons);
  const Metrics m(*form);
  const std::vector<std::pair<std::string, std::string>> expected = {{"Yes", "&Yes"},
                                                                     {"No", "&No"},
                                                                     {"OK", "OK"},
                                                                     {"Cancel", "Cancel"},
                                                                     {"Abort", "&Abort"},
                                                                     {"Retry", "&Retry"},
                                                                     {"Ignore", "&Ignore"},
                                                                     {"All", "&All"},
                                                                     {"NoToAll", "N&o to All"},
                                                                     {"YesToAll", "Yes to &All"},
                                                                     {"Help", "&Help"}};
  ASSERT_EQ(form->Buttons.size(), expected.size());
  int widest = m.button_width;
  for (const auto& [name, caption] : expected) {
    const QRect r = m.fm.boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic,
                                      QString::fromStdString(caption));
    widest = std::max(widest, r.width() + 8);
  }
  const int group = widest * 11 + m.button_spacing * 10;
  EXPECT_EQ(form->width(), std::max(group, 120) + 2 * m.horz_margin);
  int left = (form->width() - group) / 2;
  for (size_t i = 0; i < expected.size(); ++i) {
    const QPushButton* button = form->Buttons[i];
    EXPECT_EQ(button->objectName().toStdString(), expected[i].first);
    EXPECT_EQ(button->text().toStdString(), expected[i].second);
    EXPECT_EQ(button->geometry(), QRect(left, button->y(), widest, m.button_height))
        << expected[i].first;
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
    left += widest + m.button_spacing;
  }
}

TEST_F(GenMsgTest, TitlesByKind) {
  const std::vector<std::pair<TMsgDlgType, std::string>> cases = {
      {TMsgDlgType::mtWarning, "Warning"},
      {TMsgDlgType::mtError, "Error"},
      {TMsgDlgType::mtInformation, "Information"},
      {TMsgDlgType::mtConfirmation, "Confirm"},
      {TMsgDlgType::mtCustom, "RebuildIndexes"}};
  for (const auto& [type, title] : cases) {
    auto form = BuildMessageForm("t", type, {TMsgDlgBtn::mbOK});
    EXPECT_EQ(form->windowTitle().toStdString(), title);
    EXPECT_EQ(std::string(form->metaObject()->className()), "TMessageForm");
  }
}

// What each set of buttons does with Escape, with a click and with the close box.
TEST_F(GenMsgTest, EscapePressesTheCancelButtonWhenThereIsOne) {
  struct Case {
    TMsgDlgButtons buttons;
    std::string cancel;  // empty: Escape does nothing
    int escape_result;
  };
  const std::vector<Case> cases = {
      {{TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}, "No", mrNo},
      {{TMsgDlgBtn::mbOK, TMsgDlgBtn::mbCancel}, "Cancel", mrCancel},
      {{TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo, TMsgDlgBtn::mbCancel}, "Cancel", mrCancel},
      {{TMsgDlgBtn::mbOK}, "OK", mrOk},
      {{TMsgDlgBtn::mbAbort, TMsgDlgBtn::mbRetry, TMsgDlgBtn::mbIgnore}, "", -1},
  };
  for (const Case& c : cases) {
    auto form = BuildMessageForm("Sure?", TMsgDlgType::mtConfirmation, c.buttons);
    EXPECT_EQ(form->CancelButton ? form->CancelButton->objectName().toStdString() : "", c.cancel);
    int finished = -1;
    QObject::connect(form.get(), &QDialog::finished,
                     [&finished](int result) { finished = result; });
    form->show();
    // Escape reaches the dialog through the focused button, as the operator
    // presses it.
    PressKey(form->Buttons[0], Qt::Key_Escape);
    EXPECT_EQ(finished, c.escape_result) << c.cancel;
    EXPECT_EQ(form->isVisible(), c.escape_result == -1);
  }
}

TEST_F(GenMsgTest, ButtonsCloseWithTheirModalResultAndTheCloseBoxGivesCancel) {
  auto form = BuildMessageForm("Again?", TMsgDlgType::mtError,
                               {TMsgDlgBtn::mbAbort, TMsgDlgBtn::mbRetry, TMsgDlgBtn::mbIgnore});
  int finished = -1;
  QObject::connect(form.get(), &QDialog::finished, [&finished](int result) { finished = result; });
  const std::vector<int> results = {mrAbort, mrRetry, mrIgnore};
  for (size_t i = 0; i < results.size(); ++i) {
    form->show();
    form->Buttons[i]->click();
    EXPECT_EQ(finished, results[i]);
  }
  form->show();
  form->close();
  EXPECT_EQ(finished, mrCancel);

  // Help leaves the dialog open.
  auto with_help =
      BuildMessageForm("Help?", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK, TMsgDlgBtn::mbHelp});
  with_help->show();
  with_help->Buttons[1]->click();
  EXPECT_TRUE(with_help->isVisible());
}

TEST_F(GenMsgTest, RightToLeftPlacesTheTextAtTheRightMargin) {
  QGuiApplication::setLayoutDirection(Qt::RightToLeft);
  auto form = BuildMessageForm("OK", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  QGuiApplication::setLayoutDirection(Qt::LeftToRight);
  const Metrics m(*form);
  EXPECT_EQ(form->layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(form->Message->x(), form->width() - m.horz_margin - form->Message->width());
  EXPECT_GT(form->Message->x(), m.horz_margin);
}

TEST_F(GenMsgTest, DialogTextForCtrlC) {
  auto form = BuildMessageForm("Table in use", TMsgDlgType::mtWarning,
                               {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNoToAll});
  const std::string d(27, '-');
  EXPECT_EQ(GetDialogText(*form), d + "\r\nWarning\r\n" + d + "\r\nTable in use\r\n" + d +
                                      "\r\nYes   No to All   \r\n" + d + "\r\n");

  auto ok = BuildMessageForm("M", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  ok->setWindowTitle("T");
  EXPECT_EQ(GetDialogText(*ok),
            d + "\r\nT\r\n" + d + "\r\nM\r\n" + d + "\r\nOK   \r\n" + d + "\r\n");
}

TEST_F(GenMsgTest, CtrlCOnAButtonCopiesTheDialog) {
  auto form =
      BuildMessageForm("first line\r\nsecond", TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
  form->show();
  QGuiApplication::clipboard()->setText("before");
  PressKey(form->Buttons[0], Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "before");
  PressKey(form->Buttons[0], Qt::Key_C, Qt::ControlModifier);
  const std::string copied = QGuiApplication::clipboard()->text().toStdString();
  EXPECT_EQ(copied, GetDialogText(*form));
  EXPECT_NE(copied.find("first line\r\nsecond\r\n"), std::string::npos);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(GenMsgTest, ShownCentredOverTheMainWindow) {
  QWidget main;
  main.setGeometry(40, 60, 500, 300);
  SetMainForm(&main);
  Activate(main);
  ASSERT_EQ(QApplication::activeWindow(), &main);
  QRect placed;
  QWidget* parent = nullptr;
  OnShow = [&](const ui::ModalRequest& request) {
    placed = request.Dialog->geometry();
    parent = request.Dialog->parentWidget();
    return 1;
  };
  ShowMsg("Over the main window");
  const QPoint origin = main.mapToGlobal(QPoint(0, 0));
  EXPECT_EQ(placed.left(), origin.x() + main.frameGeometry().width() / 2 - placed.width() / 2);
  EXPECT_EQ(placed.top(), origin.y() + main.frameGeometry().height() / 2 - placed.height() / 2);
  EXPECT_EQ(parent, &main);  // its pop-up parent is the active form
}

TEST_F(GenMsgTest, PlacementCases) {
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  QWidget main;
  main.setGeometry(10, 20, 300, 200);
  QWidget other;
  other.setGeometry(400, 300, 200, 100);

  auto centred_on = [](const QRect& area, const QWidget& form) {
    return QPoint(area.left() + area.width() / 2 - form.width() / 2,
                  area.top() + area.height() / 2 - form.height() / 2);
  };
  auto form = BuildMessageForm("place me", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});

  // An active form but no main form yet: the screen.
  Activate(other);
  form->move(1, 1);
  CenterFormOnActive(*form);
  EXPECT_EQ(form->pos(), centred_on(QRect(QPoint(0, 0), screen), *form));

  // Another active form: over it.
  SetMainForm(&main);
  main.show();
  Activate(other);
  CenterFormOnActive(*form);
  EXPECT_EQ(
      form->pos(),
      centred_on(QRect(other.mapToGlobal(QPoint(0, 0)), other.frameGeometry().size()), *form));

  // No active form: over the main form.
  other.hide();
  main.hide();
  QApplication::processEvents();
  if (QApplication::activeWindow() == nullptr) {
    CenterFormOnActive(*form);
    EXPECT_EQ(
        form->pos(),
        centred_on(QRect(main.mapToGlobal(QPoint(0, 0)), main.frameGeometry().size()), *form));
  }
}

TEST_F(GenMsgTest, OverAStayOnTopWindowTheDialogIsTopMost) {
  QWidget main;
  main.setGeometry(10, 20, 300, 200);
  SetMainForm(&main);
  main.show();
  QWidget tool(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
  tool.setGeometry(300, 200, 200, 100);
  Activate(tool);
  ASSERT_EQ(QApplication::activeWindow(), &tool);
  bool top_most = false;
  QWidget* parent = &tool;
  QRect placed;
  OnShow = [&](const ui::ModalRequest& request) {
    top_most = request.Dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    parent = request.Dialog->parentWidget();
    placed = request.Dialog->geometry();
    return 1;
  };
  ShowMsg("Above");
  EXPECT_TRUE(top_most);
  EXPECT_EQ(parent, nullptr);  // owned by the desktop
  // Placed over the main form, not over the stay-on-top window.
  const QPoint origin = main.mapToGlobal(QPoint(0, 0));
  EXPECT_EQ(placed.left(), origin.x() + main.frameGeometry().width() / 2 - placed.width() / 2);

  // Over an ordinary window it is not.
  Activate(main);
  ShowMsg("Plain");
  EXPECT_FALSE(top_most);
}

// Runs under the 640 x 480 screen of its own CTest entry (GenMsgSmallScreen).
TEST_F(GenMsgTest, SmallScreenCentresOnTheScreen) {
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  if (screen != QSize(640, 480)) GTEST_SKIP() << "needs the 640 x 480 screen";
  QWidget main;
  main.setGeometry(0, 0, 200, 150);
  SetMainForm(&main);
  Activate(main);
  ASSERT_EQ(QApplication::activeWindow(), &main);
  QRect placed;
  OnShow = [&](const ui::ModalRequest& request) {
    placed = request.Dialog->geometry();
    return 1;
  };
  ShowMsg("On a small screen");
  EXPECT_EQ(placed.left(), 320 - placed.width() / 2);
  EXPECT_EQ(placed.top(), 240 - placed.height() / 2);
}

TEST_F(GenMsgTest, TheSeamRecordsEveryMessage) {
  OnShow = [](const ui::ModalRequest& request) {
    EXPECT_NE(qobject_cast<TMessageForm*>(request.Dialog), nullptr);
    return 1;
  };
  ShowMsg("hello");
  ShowMsgWithHelp("out of date", 203000000);
  ui::ShowErrorMessage("Table Contacts.ADT is in use");
  EXPECT_EQ(ShowMessageForm("Go on?", TMsgDlgType::mtConfirmation,
                            {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNoToAll}, 0),
            1);
  ASSERT_EQ(Shown.size(), 4u);
  EXPECT_EQ(Shown[0].Kind, ui::ModalKind::MessageForm);
  EXPECT_EQ(Shown[0].Title, "RebuildIndexes");
  EXPECT_EQ(Shown[0].Text, "hello");
  EXPECT_EQ(Shown[0].Buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(Shown[1].HelpLinkId, 203000000);
  EXPECT_EQ(Shown[2].Kind, ui::ModalKind::ErrorMessageBox);
  EXPECT_EQ(Shown[2].Title, "Error");
  EXPECT_EQ(Shown[2].Buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(Shown[3].Title, "Confirm");
  EXPECT_EQ(Shown[3].Buttons, (std::vector<std::string>{"Yes", "No to All"}));
}

}  // namespace
