#include "support/QtApp.h"

#include <QApplication>
#include <QFont>
#include <cstdlib>

QApplication& EnsureQtApp() {
  static int argc = 1;
  static char name[] = "RebuildIndexesTests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    auto* created = new QApplication(argc, argv);
    QApplication::setApplicationName("RebuildIndexes");
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    return created;
  }();
  return *app;
}

#if defined(__SANITIZE_ADDRESS__)
// The leak reports of tests/lsan.supp, also when a test runs without the
// preset's LSAN_OPTIONS (a plain ctest in the sanitizer build folder): the
// memory the font configuration library keeps for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
