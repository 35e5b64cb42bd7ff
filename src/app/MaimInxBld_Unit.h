// TForm1: the program's main window. It offers one command, Start, which
// runs a complete index rebuild while a stop marker in the DBSys folder keeps
// the CRM's other components away from the database, then reports the
// outcome. Closing the window removes a stop marker that is still there.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

class QPushButton;
class TEurekaLog;

class TForm1 : public QWidget {
  Q_OBJECT
  Q_CLASSINFO("Unit", "MaimInxBld_Unit")

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The start-up steps run when the window is made: the form-text hook, the
  // activity log, the crash-report component, the random seed, the engine
  // check (its text shown in a plain message box, "VlxHlt-0") and the system
  // lock ("VlxHlt-1", which shows nothing of its own). False when the program
  // must end at once (with exit code 0) instead of showing the window. An
  // error while opening the system lock table passes to the caller.
  bool FormCreate();

  // Start: one whole rebuild, with the window disabled meanwhile.
  void Button1Click();

  QPushButton* Button1 = nullptr;
  std::unique_ptr<TEurekaLog> EurekaLog1;  // handed to the crash-report manager

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormClose();
  void MakeStopMarker();
  void RemoveStopMarker();
};

// Process initialisation, before any window exists: the installation's
// folders, the crash-report manager, the product name and the language
// resources.
void InitializeProcess();

// The full name of the stop marker: "VorlexStop.INI" in DBSys, or the name
// under which it exists (its alternate name when neither exists).
std::string StopMarkerFileName();

// The name a stop marker that resists deletion is moved to: the marker's
// name with its extension replaced by "_" + ddmmyyhhmmss + "_" + `random` +
// ".old".
std::string StopMarkerAsideName(const std::string& marker, int random);
