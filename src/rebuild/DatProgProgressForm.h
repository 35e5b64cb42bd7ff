// TDatProgProgressFrm: the small window that shows, while a rebuild runs,
// which table and index are being worked on, with a bar that advances one
// step per index handled.
//
// The rebuild runs on the user-interface thread, so the window repaints
// itself synchronously after every report. On a display server a window that
// was just shown is drawn only once the server has mapped and exposed it, so
// showing it also waits for that, handling window-system and paint events
// only: no click or key of the operator reaches any window during a run.
#pragma once

#include <QProgressBar>
#include <QWidget>
#include <string>

class QFrame;
class QLabel;

// Waits (bounded) until the display server has mapped and exposed the shown
// top-level `widget`, handling no user input meanwhile. True when exposed.
bool WaitUntilExposed(QWidget& widget);

// Paints the window of `widget` at once and hands the picture to the display
// server before returning, for windows that must look current while the
// user-interface thread is busy. Handles no user input. A hidden window is
// left alone.
void PaintNow(QWidget& widget);

// The standard progress bar, holding its own range so that a maximum of 0
// shows an empty bar (Qt would show a busy indicator) and a step beyond the
// maximum leaves the bar full.
class TVlxProgressBar : public QProgressBar {
  Q_OBJECT
  Q_CLASSINFO("Unit", "DatProgProgressForm")

 public:
  explicit TVlxProgressBar(QWidget* parent = nullptr);

  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetMax(int max);
  void SetPosition(int position);
  void StepIt();

 private:
  void Sync();

  int max_ = 100;
  int position_ = 0;
};

class TDatProgProgressFrm : public QWidget {
  Q_OBJECT
  Q_CLASSINFO("Unit", "DatProgProgressForm")

 public:
  explicit TDatProgProgressFrm(QWidget* parent = nullptr);

  // Both texts empty: shows the window without moving the bar. Otherwise
  // advances the bar one step. Then shows the two texts and repaints.
  void ShowProgress(const std::string& table_name, const std::string& index_name);

  // The bar's maximum becomes `count` / grows by `count`; the position stays.
  void SetProgressMax(int count);
  void AddProgressMax(int count);

  QFrame* Panel2 = nullptr;
  QLabel* HebLabel1 = nullptr;
  QLabel* HebLabel2 = nullptr;
  QLabel* TableNameLbl = nullptr;
  QLabel* Indexnamelbl = nullptr;
  TVlxProgressBar* VlxProgressBar1 = nullptr;
};
