// Program entry: process initialisation, the main window, the message loop.
#include <QFont>

#include "app/MaimInxBld_Unit.h"
#include "common/Exceptions.h"
#include "crashreport/qt/EventLoopAdapter.h"
#include "db/DatGenEngineCheck.h"
#include "diag/DatHEMgr_Unit.h"
#include "diag/DatHE_Unit.h"
#include "ui/MessageBoxes.h"

int main(int argc, char* argv[]) {
  InitializeProcess();
  // The application object catches what escapes an event (the exception
  // reporter and the crash-report library hear of it).
  TEventLoopApplication app(argc, argv);
  QApplication::setApplicationName("RebuildIndexes");
  // The window's font is measured the same on every machine with the
  // metric-compatible face.
  QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");

  {
    TForm1 form;
    bool started = false;
    try {
      started = form.FormCreate();
    } catch (const std::exception& e) {
      // The system lock table could not be opened: the failure is reported
      // as any that escapes the program's work, and the program ends.
      TEventLoopApplication::HandleEscapedException(&form);
      if (NeedsExceptionMessage(e)) ui::ShowErrorMessage(ExceptionMessage(e));
    }
    if (started) {
      form.show();
      app.exec();
    }
  }
  CloseSystemLock();
  FreeHEMgr();
  return 0;
}
