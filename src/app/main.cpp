// Program entry: the application object, the main window, the message loop.
#include <QApplication>
#include <QFont>

#include "app/MaimInxBld_Unit.h"
#include "common/DatGenInstallation_Unit.h"

int main(int argc, char* argv[]) {
  LoadInstallationDefaults();
  QApplication app(argc, argv);
  QApplication::setApplicationName("RebuildIndexes");
  // The window's font is measured the same on every machine with the
  // metric-compatible face.
  QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");

  TForm1 form;
  if (!form.FormCreate()) return 0;
  form.show();
  app.exec();
  return 0;
}
