#include "ui/GenMsg_Unit.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <array>
#include <cmath>

#include "common/AnsiCodePage.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "diag/DatHE_Unit.h"
#include "ui/DatGenWebHelpLinkMgr_Unit.h"
#include "ui/MessageBoxes.h"
#include "ui/ModalSeam.h"

namespace {

struct ButtonInfo {
  const char* Name;
  const char* Caption;
  int ModalResult;
};

constexpr std::array<ButtonInfo, kMsgDlgBtnCount> kButtons{{
    {"Yes", "&Yes", mrYes},
    {"No", "&No", mrNo},
    {"OK", "OK", mrOk},
    {"Cancel", "Cancel", mrCancel},
    {"Abort", "&Abort", mrAbort},
    {"Retry", "&Retry", mrRetry},
    {"Ignore", "&Ignore", mrIgnore},
    {"All", "&All", mrAll},
    {"NoToAll", "N&o to All", mrNoToAll},
    {"YesToAll", "Yes to &All", mrYesToAll},
    {"Help", "&Help", mrNone},
}};

// Caption widths + 8, measured the first time a dialog has the button; the
// dialog font never changes during a run.
std::array<int, kMsgDlgBtnCount>& ButtonWidths() {
  static std::array<int, kMsgDlgBtnCount> widths{};
  return widths;
}

QPointer<QWidget>& MainForm() {
  static QPointer<QWidget> form;
  return form;
}

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(AnsiToUtf8(text));
}
std::string ToAnsi(const QString& text) {
  return Utf8ToAnsi(text.toStdString());
}

// The platform draws a line break at CR LF, LF or CR alike; Qt breaks at LF.
QString DisplayText(const std::string& text) {
  QString shown = FromAnsi(text);
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

QSize ScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize(0, 0);
}

bool StaysOnTop(const QWidget* form) {
  return form->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

std::string WithoutAmpersands(const std::string& caption) {
  return ReplaceAllCase(caption, "&", "");
}

}  // namespace

const char* ButtonName(TMsgDlgBtn button) {
  return kButtons[static_cast<size_t>(button)].Name;
}
const char* ButtonCaption(TMsgDlgBtn button) {
  return kButtons[static_cast<size_t>(button)].Caption;
}
int ButtonModalResult(TMsgDlgBtn button) {
  return kButtons[static_cast<size_t>(button)].ModalResult;
}

std::string DialogTitle(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return "Warning";
    case TMsgDlgType::mtError:
      return "Error";
    case TMsgDlgType::mtInformation:
      return "Information";
    case TMsgDlgType::mtConfirmation:
      return "Confirm";
    case TMsgDlgType::mtCustom:
      break;
  }
  return ui::ApplicationTitle();
}

// ---------------------------------------------------------------- TMessageForm

TMessageForm::TMessageForm(QWidget* popup_parent)
    : QDialog(popup_parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName("MessageForm");
  setAttribute(Qt::WA_DeleteOnClose, false);
  setLayoutDirection(QGuiApplication::layoutDirection());
  setBackgroundRole(QPalette::Window);
  QFont font("Arial");
  font.setPointSize(9);
  setFont(font);
}

void TMessageForm::reject() {
  done(mrCancel);
}

void TMessageForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_C && modifiers == Qt::ControlModifier) CopyToClipboard(GetDialogText(*this));
}

bool TMessageForm::HandleKey(QKeyEvent* event) {
  try {
    FormKeyDown(event->key(), event->modifiers() & ~Qt::KeypadModifier);
  } catch (const std::exception& e) {
    // An error must not cross the event loop; it goes where the
    // application's handler puts every error of an event: the log.
    WriteLog(this, ".FormKeyDown", "", &e);
  }
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    // Escape presses the cancel button; without one it does nothing.
    if (CancelButton) CancelButton->click();
    return true;
  }
  return false;
}

bool TMessageForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    if (HandleKey(static_cast<QKeyEvent*>(event))) return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TMessageForm::keyPressEvent(QKeyEvent* event) {
  if (HandleKey(event)) return;
  QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------- layout

QPoint GetAverageCharSize(const QFontMetrics& metrics) {
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return QPoint(metrics.horizontalAdvance(letters) / 52, metrics.height());
}

int MulDiv(int a, int b, int d) {
  if (d == 0) return -1;
  return static_cast<int>(std::lround(static_cast<double>(a) * b / d));
}

std::unique_ptr<TMessageForm> BuildMessageForm(const std::string& text, TMsgDlgType type,
                                               TMsgDlgButtons buttons) {
  auto form = std::make_unique<TMessageForm>(QApplication::activeWindow());
  form->DlgType = type;
  const QFontMetrics metrics(form->font());
  const bool right_to_left = form->layoutDirection() == Qt::RightToLeft;

  const QPoint average = GetAverageCharSize(metrics);
  const int horz_margin = MulDiv(8, average.x(), 4);
  const int vert_margin = MulDiv(8, average.y(), 8);
  const int vert_spacing = MulDiv(10, average.y(), 8);
  const int button_height = MulDiv(14, average.y(), 8);
  const int button_spacing = MulDiv(4, average.x(), 4);
  int button_width = MulDiv(50, average.x(), 4);

  auto& widths = ButtonWidths();
  for (int b = 0; b < kMsgDlgBtnCount; ++b) {
    const auto button = static_cast<TMsgDlgBtn>(b);
    if (!buttons.Contains(button)) continue;
    if (widths[b] == 0) {
      const QRect caption =
          metrics.boundingRect(QRect(), Qt::AlignLeft | Qt::TextSingleLine | Qt::TextShowMnemonic,
                               QString::fromLatin1(ButtonCaption(button)));
      widths[b] = caption.width() + 8;
    }
    button_width = std::max(button_width, widths[b]);
  }

  const QString shown = DisplayText(text);
  const QSize screen = ScreenSize();
  const QRect measured =
      metrics.boundingRect(QRect(0, 0, screen.width() / 2, 0),
                           Qt::AlignLeft | Qt::TextWordWrap | Qt::TextExpandTabs, shown);
  const int text_width = measured.width();
  const int text_height = measured.height();
  const int layout_width = std::max(text_width, 120);

  const int button_count = buttons.Count();
  const int group_width =
      button_count == 0 ? 0 : button_width * button_count + button_spacing * (button_count - 1);
  const int client_width = std::max(layout_width, group_width) + 2 * horz_margin;
  const int client_height = text_height + button_height + vert_spacing + 2 * vert_margin;
  form->setFixedSize(client_width, client_height);
  form->move(screen.width() / 2 - form->width() / 2, screen.height() / 2 - form->height() / 2);

  form->setWindowTitle(FromAnsi(DialogTitle(type)));

  form->Message = new QLabel(form.get());
  form->Message->setObjectName("Message");
  form->Message->setTextFormat(Qt::PlainText);
  form->Message->setWordWrap(true);
  form->Message->setText(shown);
  form->Message->setAlignment((right_to_left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
  const int label_left = right_to_left ? client_width - horz_margin - text_width : horz_margin;
  form->Message->setGeometry(label_left, vert_margin, text_width, text_height);

  // The cancel choice: Cancel, else No, else OK, whether or not OK is there.
  TMsgDlgBtn cancel = TMsgDlgBtn::mbOK;
  if (buttons.Contains(TMsgDlgBtn::mbCancel)) {
    cancel = TMsgDlgBtn::mbCancel;
  } else if (buttons.Contains(TMsgDlgBtn::mbNo)) {
    cancel = TMsgDlgBtn::mbNo;
  }

  int left = (client_width - group_width) / 2;
  const int top = text_height + vert_margin + vert_spacing;
  for (int b = 0; b < kMsgDlgBtnCount; ++b) {
    const auto button = static_cast<TMsgDlgBtn>(b);
    if (!buttons.Contains(button)) continue;
    auto* push = new QPushButton(QString::fromLatin1(ButtonCaption(button)), form.get());
    push->setObjectName(ButtonName(button));
    // Qt makes dialog buttons default on focus; the dialog has no default.
    push->setAutoDefault(false);
    push->setDefault(false);
    push->installEventFilter(form.get());
    push->setGeometry(left, top, button_width, button_height);
    const int result = ButtonModalResult(button);
    TMessageForm* dialog = form.get();
    // The Help button keeps the dialog open: the help context of a message
    // dialog is 0 and there is no help file to ask; the help a message
    // offers is its web link.
    if (button != TMsgDlgBtn::mbHelp) {
      QObject::connect(push, &QPushButton::clicked, dialog,
                       [dialog, result] { dialog->done(result); });
    }
    if (button == cancel) form->CancelButton = push;
    form->Buttons.push_back(push);
    left += button_width + button_spacing;
  }
  return form;
}

// ---------------------------------------------------------------- placement

void SetMainForm(QWidget* form) {
  MainForm() = form;
}
QWidget* GetMainForm() {
  return MainForm().data();
}

void CenterFormOnActive(QWidget& form) {
  QWidget* active = QApplication::activeWindow();
  QWidget* main = GetMainForm();
  const QSize screen = ScreenSize();
  const QRect whole_screen(0, 0, screen.width(), screen.height());

  QRect area;
  if (active && (!main || active == &form || screen == QSize(640, 480))) {
    area = whole_screen;
  } else if (active && !StaysOnTop(active) && active->isMinimized()) {
    area = whole_screen;
  } else {
    QWidget* reference = (!active || StaysOnTop(active)) ? main : active;
    if (reference)
      area = QRect(reference->mapToGlobal(QPoint(0, 0)), reference->frameGeometry().size());
  }
  if (area.width() <= 0 || area.height() <= 0) return;
  form.move(area.left() + area.width() / 2 - form.width() / 2,
            area.top() + area.height() / 2 - form.height() / 2);
}

namespace {

// Over a stay-on-top window the dialog is made top-most and owned by the
// desktop, so that it is not hidden behind that window.
void ApplyTopMostRule(TMessageForm& form) {
  QWidget* active = QApplication::activeWindow();
  if (!active || !GetMainForm() || !StaysOnTop(active)) return;
  const QPoint position = form.pos();
  form.setParent(nullptr, form.windowFlags() | Qt::WindowStaysOnTopHint);
  form.move(position);
}

}  // namespace

std::unique_ptr<TWebHelpLinkGuiItem> AddHelpLinkItem(TMessageForm& form, int link_id,
                                                     const std::string& context) {
  try {
    std::unique_ptr<TWebHelpLinkGuiItem> item = CreateHelpLinkItem(&form);
    if (!item) return nullptr;
    item->AttachToForm(&form);
    if (!item->PanelHasParent()) return nullptr;
    item->SetLinkId(link_id);
    item->SetPanelAlign(TAlign::alNone);
    item->SetPanelHeight(25);
    const int panel_width = item->PanelWidth();
    int client_height = form.height();
    // A wide link gets a row of its own below the buttons; so does a link
    // that would sit over the last button and take its clicks.
    const int panel_left = form.width() - panel_width - 3;
    const int buttons_right =
        form.Buttons.empty() ? 0 : form.Buttons.back()->geometry().right() + 1;
    if (2 * panel_width >= form.width() || panel_left < buttons_right) {
      client_height += item->PanelHeight();
      form.setFixedSize(form.width(), client_height);
    }
    item->SetPanelTop(client_height - 25 - 3);
    item->SetPanelLeft(form.width() - panel_width - 3);
    item->ContextText = context;
    return item;
  } catch (const std::exception&) {
    // The dialog is shown without the link.
    return nullptr;
  }
}

int ShowMessageForm(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                    int link_id) {
  std::unique_ptr<TMessageForm> form = BuildMessageForm(text, type, buttons);
  CenterFormOnActive(*form);
  ApplyTopMostRule(*form);
  std::unique_ptr<TWebHelpLinkGuiItem> item;
  if (link_id != 0 && IsHelpLinkMgrLoaded()) item = AddHelpLinkItem(*form, link_id, text);

  ui::ModalRequest request;
  request.Kind =
      type == TMsgDlgType::mtError ? ui::ModalKind::ErrorMessageBox : ui::ModalKind::MessageForm;
  request.Title = DialogTitle(type);
  request.Text = text;
  for (const QPushButton* button : form->Buttons)
    request.Buttons.push_back(WithoutAmpersands(ToAnsi(button->text())));
  request.HelpLinkId = link_id;
  const int result = ui::ShowModal(*form, request);

  try {
    item.reset();
    form.reset();
  } catch (...) {
    // Releasing a dialog that was shown cannot change its answer.
  }
  return result;
}

// ---------------------------------------------------------------- copy

std::string GetDialogText(const TMessageForm& form) {
  const std::string line = std::string(27, '-') + "\r\n";
  std::string captions;
  for (const QPushButton* button : form.Buttons)
    captions += WithoutAmpersands(ToAnsi(button->text())) + "   ";
  std::string message = form.Message ? ToAnsi(form.Message->text()) : "";
  message = ReplaceAllCase(message, "\n", "\r\n");
  return line + ToAnsi(form.windowTitle()) + "\r\n" + line + message + "\r\n" + line + captions +
         "\r\n" + line;
}

void CopyToClipboard(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::instance() ? QGuiApplication::clipboard() : nullptr;
  if (!clipboard) throw Exception("Cannot open clipboard");
  const QString plain = FromAnsi(text);
  clipboard->setText(plain, QClipboard::Clipboard);
  if (clipboard->text(QClipboard::Clipboard) != plain) throw Exception("Cannot open clipboard");
}

// ---------------------------------------------------------------- short forms

void ShowMsg(const std::string& text) {
  ShowMessageForm(text, TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK}, 0);
}

void ShowMsgWithHelp(const std::string& text, int link_id) {
  ShowMessageForm(text, TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK}, link_id);
}
