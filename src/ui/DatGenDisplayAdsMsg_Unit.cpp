#include "ui/DatGenDisplayAdsMsg_Unit.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <memory>

#include "common/AnsiCodePage.h"
#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenResources.h"
#include "common/DatGenStringsFunctions.h"
#include "ui/DatGenFormTextHook.h"
#include "ui/DatGenWebHelpLinkMgr_Unit.h"
#include "ui/ModalSeam.h"

namespace {

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(AnsiToUtf8(text));
}
std::string ToAnsi(const QString& text) {
  return Utf8ToAnsi(text.toStdString());
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const char* caption) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->move(left, top);
  label->adjustSize();
  return label;
}

}  // namespace

TFrmDatGenDisplayAdsMsg::TFrmDatGenDisplayAdsMsg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("FrmDatGenDisplayAdsMsg");
  setWindowTitle("Message");
  setFixedSize(350, 145);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);

  Label2 =
      MakeLabel(this, "Label2", 16, 13, "You can run %s while using remote control technologies");
  LblMsg =
      MakeLabel(this, "LblMsg", 16, 30, "such as Remote Desktop, Terminal Services and Citrix.");
  Label3 = MakeLabel(this, "Label3", 200, 48, ".");
  Label4 = MakeLabel(this, "Label4", 16, 54,
                     "Please use the link below for more information on how to allow this.");
  LblUrl = MakeLabel(this, "LblUrl", 16, 78, "Learn More");
  QPalette blue = LblUrl->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  LblUrl->setPalette(blue);
  QFont link_font("MS Sans Serif");
  link_font.setPixelSize(11);
  link_font.setUnderline(true);
  LblUrl->setFont(link_font);
  LblUrl->adjustSize();
  LblUrl->setCursor(Qt::PointingHandCursor);
  LblUrl->installEventFilter(this);

  Button1 = new QPushButton("Close", this);
  Button1->setObjectName("Button1");
  Button1->setAutoDefault(false);
  Button1->setGeometry(138, 110, 75, 25);
  connect(Button1, &QPushButton::clicked, this, [this] { done(2); });

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  FormCreate();
}

void TFrmDatGenDisplayAdsMsg::FormCreate() {
  const std::string product = GetProductName();
  // The sentence has no placeholder; formatting it leaves it as it is.
  LblMsg->setText(FromAnsi(ReplaceAllCase(ToAnsi(LblMsg->text()), "%s", product)));
  Label2->setText(FromAnsi(ReplaceAllCase(ToAnsi(Label2->text()), "%s", product)));
  Label2->adjustSize();
  if (GetLanguageCode() == kLanguageCodeHebrew) Label4->clear();
  ApplyProductNames(this, true);
}

void TFrmDatGenDisplayAdsMsg::LblUrlClick() {
  OpenLinkById(kRemoteControlLinkId, "");
}

void TFrmDatGenDisplayAdsMsg::reject() {
  done(2);
}

bool TFrmDatGenDisplayAdsMsg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LblUrl && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && LblUrl->rect().contains(mouse->position().toPoint())) {
      LblUrlClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ShowRemoteControlNotice() {
  // Owned by the application: no parent window; freed also when showing fails.
  auto notice = std::make_unique<TFrmDatGenDisplayAdsMsg>(nullptr);
  ui::ModalRequest request;
  request.Kind = ui::ModalKind::Form;
  request.Title = ToAnsi(notice->windowTitle());
  for (const QLabel* label : {notice->Label2, notice->LblMsg, notice->Label4, notice->LblUrl}) {
    if (!label->text().isEmpty())
      request.Text += (request.Text.empty() ? "" : "\r\n") + ToAnsi(label->text());
  }
  request.Buttons = {ToAnsi(notice->Button1->text())};
  ui::ShowModal(*notice, request);
}
