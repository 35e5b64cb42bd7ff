#include "rebuild/DatProgProgressForm.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "common/AnsiCodePage.h"

// ---------------------------------------------------------------- TVlxProgressBar

TVlxProgressBar::TVlxProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  Sync();
}

void TVlxProgressBar::SetMax(int max) {
  max_ = std::max(0, max);
  position_ = std::min(position_, max_);
  Sync();
}

void TVlxProgressBar::SetPosition(int position) {
  position_ = std::clamp(position, 0, max_);
  Sync();
}

void TVlxProgressBar::StepIt() {
  SetPosition(position_ + 1);
}

void TVlxProgressBar::Sync() {
  // Qt draws a range of 0..0 as a busy indicator; an empty bar is meant.
  setRange(0, max_ == 0 ? 1 : max_);
  setValue(position_);
}

// ---------------------------------------------------------------- painting while busy

namespace {

// How long a window that was just shown may take to be mapped and exposed by
// the display server before the run goes on without it.
constexpr int kExposeTimeoutMs = 2000;

}  // namespace

bool WaitUntilExposed(QWidget& widget) {
  QWindow* window = widget.windowHandle();
  if (!window || !widget.isVisible()) return false;
  if (window->isExposed()) return true;
  // The display server maps the new window and then sends its expose event;
  // only window-system and paint events are handled meanwhile, so no click or
  // key of the operator reaches any window. The timer wakes the wait in case
  // the expose never comes (a minimised or obscured window).
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.start(kExposeTimeoutMs);
  QElapsedTimer elapsed;
  elapsed.start();
  while (!window->isExposed() && elapsed.elapsed() < kExposeTimeoutMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
  }
  return window->isExposed();
}

void PaintNow(QWidget& widget) {
  QWidget* window = widget.window();
  if (!window->isVisible()) return;
  WaitUntilExposed(*window);
  // Expose and resize events still queued are handled first (no user
  // input), so the paint below lands on a mapped window of its final size.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  window->repaint();
  // The paint is in the display server before the run goes on.
  QGuiApplication::sync();
}

// ---------------------------------------------------------------- TDatProgProgressFrm

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->move(left, top);
  label->adjustSize();
  return label;
}

}  // namespace

TDatProgProgressFrm::TDatProgProgressFrm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("DatProgProgressFrm");
  setWindowTitle("Index Building Status");
  QFont font("MS Sans Serif");
  font.setPixelSize(13);
  setFont(font);
  setFixedSize(437, 106);

  Panel2 = new QFrame(this);
  Panel2->setObjectName("Panel2");
  Panel2->setGeometry(0, 0, 437, 106);
  // An etched edge: the outer bevel lowered, the inner one raised.
  Panel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Panel2->setLineWidth(1);
  Panel2->setMidLineWidth(0);

  HebLabel1 = MakeLabel(Panel2, "HebLabel1", "Table Name", 12, 13);
  HebLabel2 = MakeLabel(Panel2, "HebLabel2", "Index", 12, 35);
  HebLabel2->setFixedWidth(51);
  TableNameLbl = MakeLabel(Panel2, "TableNameLbl", QString(), 94, 13);
  Indexnamelbl = MakeLabel(Panel2, "Indexnamelbl", QString(), 94, 35);

  VlxProgressBar1 = new TVlxProgressBar(Panel2);
  VlxProgressBar1->setObjectName("VlxProgressBar1");
  VlxProgressBar1->setGeometry(12, 72, 409, 19);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

void TDatProgProgressFrm::ShowProgress(const std::string& table_name,
                                       const std::string& index_name) {
  if (table_name.empty() && index_name.empty()) {
    show();
    raise();
    WaitUntilExposed(*this);
  } else {
    VlxProgressBar1->StepIt();
  }
  TableNameLbl->setText(QString::fromStdString(AnsiToUtf8(table_name)));
  TableNameLbl->adjustSize();
  Indexnamelbl->setText(QString::fromStdString(AnsiToUtf8(index_name)));
  Indexnamelbl->adjustSize();
  PaintNow(*this);
}

void TDatProgProgressFrm::SetProgressMax(int count) {
  VlxProgressBar1->SetMax(count);
}

void TDatProgProgressFrm::AddProgressMax(int count) {
  VlxProgressBar1->SetMax(VlxProgressBar1->Max() + count);
}
