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
