#include "rebuild/DatProgProgressForm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
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

void TVlxProgressBar::StepIt() { SetPosition(position_ + 1); }

void TVlxProgressBar::Sync() {
  // Qt draws a range of 0..0 as a busy indicator; an empty bar is meant.
  setRange(0, max_ == 0 ? 1 : max_);
  setValue(position_);
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
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setLineWidth(2);

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

void TDatProgProgressFrm::ShowProgress(const std::string& table_name, const std::string& index_name) {
  if (table_name.empty() && index_name.empty()) {
    show();
    raise();
  } else {
    VlxProgressBar1->StepIt();
  }
  TableNameLbl->setText(QString::fromStdString(AnsiToUtf8(table_name)));
  TableNameLbl->adjustSize();
  Indexnamelbl->setText(QString::fromStdString(AnsiToUtf8(index_name)));
  Indexnamelbl->adjustSize();
  repaint();
}

void TDatProgProgressFrm::SetProgressMax(int count) { VlxProgressBar1->SetMax(count); }

void TDatProgProgressFrm::AddProgressMax(int count) { VlxProgressBar1->SetMax(VlxProgressBar1->Max() + count); }
