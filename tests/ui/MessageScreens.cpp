// A program that puts the message dialog with a help link, or the
// remote-control notice, on the screen over the main window, for
// scripts/message-screens.sh to photograph on a virtual X server.
//
//   message_screens message   the out-of-date message with its help link
//   message_screens notice    the remote-control notice
//
// It runs from the App folder of an installation that the script lays out
// (settings file, English resources, help link file in DBSys), reads it the
// way the program does, and stays up until it is killed.
#include <QApplication>
#include <QFont>
#include <QTimer>
#include <cstring>

#include "app/MaimInxBld_Unit.h"
#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenResources.h"
#include "common/DatGenStringsFunctions.h"
#include "ui/DatGenDisplayAdsMsg_Unit.h"
#include "ui/DatGenFormTextHook.h"
#include "ui/DatGenWebHelpLinkMgr_Unit.h"
#include "ui/GenMsg_Unit.h"

int main(int argc, char* argv[]) {
  const bool notice = argc > 1 && std::strcmp(argv[1], "notice") == 0;
  LoadInstallationDefaults();
  QApplication app(argc, argv);
  QApplication::setApplicationName("RebuildIndexes");
  QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
  InstallFormTextHook();
  LoadProductName();
  LoadLanguageResources();

  TForm1 form;
  SetMainForm(&form);
  form.show();
  form.activateWindow();
  QTimer::singleShot(500, [notice] {
    if (notice) {
      ShowRemoteControlNotice();
      return;
    }
    // The help link manager exists once a link was asked for in the run.
    GetHelpLinkMgr();
    ShowMsgWithHelp(
        ReplaceText(
            "This index rebuild program is out of date and cannot be used with the version of %s "
            "you have installed.\r\nPlease download the latest program and try again",
            "%s", GetProductName(), 0),
        203000000);
  });
  return app.exec();
}
