// Program entry: the application object, the main window, the message loop.
#include <QFont>

#include "app/MaimInxBld_Unit.h"
#include "common/DatGenInstallation_Unit.h"
#include "crashreport/qt/EventLoopAdapter.h"
#include "diag/DatHEMgr_Unit.h"

int main(int argc, char* argv[]) {
  LoadInstallationDefaults();
  CreateHEMgr();
  // The application object catches what escapes an event (the exception
  // reporter and the crash-report library hear of it).
  TEventLoopApplication app(argc, argv);
  QApplication::setApplicationName("RebuildIndexes");
  // The window's font is measured the same on every machine with the
  // metric-compatible face.
  QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");

  {
    TForm1 form;
    if (form.FormCreate()) {
      form.show();
      app.exec();
    }
  }
  FreeHEMgr();
  return 0;
}
