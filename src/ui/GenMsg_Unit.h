// The program's message dialog, TMessageForm: the message text, a row of
// buttons and a title by kind, without an icon. Unlike the platform's box it
// is placed over the window the operator works in, stays above a
// stay-on-top window, can carry a help link to a support page (see
// DatGenWebHelpLinkMgr_Unit) and copies its whole content with Ctrl+C.
//
// Layout (BuildMessageForm), in pixels, from the dialog font's average
// character size X, Y (GetAverageCharSize):
//   margins      left/right MulDiv(8, X, 4), top/bottom MulDiv(8, Y, 8)
//   text         measured word-wrapped at half the screen width, tabs
//                expanded; the text area is at least 120 wide
//   buttons      MulDiv(14, Y, 8) high, MulDiv(4, X, 4) apart, one width for
//                all: the larger of MulDiv(50, X, 4) and the widest caption
//                + 8 (caption widths are measured once per run and kept)
//   client size  width: max(text area, button group) + both margins;
//                height: text + MulDiv(10, Y, 8) + buttons + both margins
// The button group is centred under the text.
#pragma once

#include <QDialog>
#include <QPoint>
#include <bitset>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class QFontMetrics;
class QLabel;
class QPushButton;
class TWebHelpLinkGuiItem;

// Dialog kinds; each gives its title.
enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// The buttons, in the order in which they are created and laid out.
enum class TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp
};
inline constexpr int kMsgDlgBtnCount = 11;

// A set of buttons.
class TMsgDlgButtons {
 public:
  TMsgDlgButtons() = default;
  TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (TMsgDlgBtn button : buttons) Include(button);
  }
  void Include(TMsgDlgBtn button) { bits_.set(static_cast<size_t>(button)); }
  bool Contains(TMsgDlgBtn button) const { return bits_.test(static_cast<size_t>(button)); }
  int Count() const { return static_cast<int>(bits_.count()); }

 private:
  std::bitset<kMsgDlgBtnCount> bits_;
};

// Modal results of the buttons (and 2 for the close box).
inline constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                     mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

// The designer name, caption and modal result of a button.
const char* ButtonName(TMsgDlgBtn button);
const char* ButtonCaption(TMsgDlgBtn button);
int ButtonModalResult(TMsgDlgBtn button);

// The title a kind gives; the custom kind gives the application's title.
std::string DialogTitle(TMsgDlgType type);

class TMessageForm : public QDialog {
  Q_OBJECT

 public:
  explicit TMessageForm(QWidget* popup_parent);

  // The label that shows the text.
  QLabel* Message = nullptr;

  // The buttons in creation order, and the one Escape presses (none when the
  // cancel choice is not among them).
  std::vector<QPushButton*> Buttons;
  QPushButton* CancelButton = nullptr;

  // The dialog's kind.
  TMsgDlgType DlgType = TMsgDlgType::mtCustom;

  // The form's key handler: Ctrl+C (and no other modifier) copies
  // GetDialogText to the clipboard. Raises "Cannot open clipboard".
  void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

  // Ends the dialog as the close box does: modal result 2.
  void reject() override;

 protected:
  // Keyboard preview: the form sees keys pressed on its buttons first.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool HandleKey(QKeyEvent* event);
};

// The average character width (of "A".."Z" and "a".."z", integer division)
// and the character height of a font.
QPoint GetAverageCharSize(const QFontMetrics& metrics);

// a * b / d rounded to the nearest whole number (halves away from zero).
int MulDiv(int a, int b, int d);

// The laid-out dialog, not yet shown, first placed in the screen's middle.
std::unique_ptr<TMessageForm> BuildMessageForm(const std::string& text, TMsgDlgType type,
                                               TMsgDlgButtons buttons);

// Places `form` over the active window (or the main form, or the screen).
void CenterFormOnActive(QWidget& form);

// Builds, places and shows the dialog modally (with the help link `link_id`
// in its bottom right corner when one can be offered; 0 for none) and
// returns the modal result of the button pressed.
int ShowMessageForm(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int link_id);

// What Ctrl+C copies: the title, the message and the button captions ("&"
// removed, each followed by three blanks) between lines of 27 hyphens.
std::string GetDialogText(const TMessageForm& form);

// Puts ANSI `text` on the clipboard as plain text; raises "Cannot open
// clipboard" when the clipboard does not take it.
void CopyToClipboard(const std::string& text);

// The application's main form, used to place dialogs and to decide the
// top-most rule. The main window registers itself when it is made.
void SetMainForm(QWidget* form);
QWidget* GetMainForm();

// The help link item of a dialog: made by ShowMessageForm when a link is
// offered, kept by the dialog while it is shown.
std::unique_ptr<TWebHelpLinkGuiItem> AddHelpLinkItem(TMessageForm& form, int link_id,
                                                     const std::string& context);

// Shows `text` as a custom dialog (the application's title) with an OK button
// and waits until the operator closes it.
void ShowMsg(const std::string& text);

// The same, with the help link `link_id` when one can be offered.
void ShowMsgWithHelp(const std::string& text, int link_id);
