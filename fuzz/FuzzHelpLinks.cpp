// The help link file "vlxlnks.vlx" of an installation: any bytes as the
// file, loaded by the help link manager, then every link it read opened
// (through a shell-open handler that only takes the address) with a
// context text that its From-/Remove- options trim.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>
#include <QWidget>

#include "FuzzSupport.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "ui/DatGenWebHelpLinkMgr_Unit.h"

namespace {

// An installation tree in the scratch folder, the program in its App folder,
// and an offscreen application for the link's label.
QWidget& Form() {
  static QWidget* form = [] {
    const std::string root = fuzz::ScratchFolder() + "/install";
    for (const char* folder : {"/App", "/DB", "/DBSys", "/Logs"}) ForceFolder(root + folder);
    OverrideModuleName(root + "/App/RebuildIndexes");
    LoadInstallationDefaults();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_helplinks";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);  // kept for the process
    (void)application;
    SetShellOpenHandler([](const std::string&) {});
    return new QWidget;
  }();
  return *form;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QWidget& form = Form();
  fuzz::WriteBytes(IncludeBackslash(GetDBSysPath()) + "vlxlnks.vlx", data, size);
  FreeHelpLinkMgr();
  TWebHelpLinkMgr& manager = GetHelpLinkMgr();
  TWebHelpLinkGuiItem item(&form, 0, {}, {});
  item.ContextText = "Error 7059: The unique index of Contacts.ADT holds the key r1 twice";
  int opened = 0;
  for (const auto& [name, link] : manager.Links()) {
    if (++opened > 64) break;
    std::string url;
    manager.GetLinkUrl(link.LinkId, false, url);
    item.SetLinkId(link.LinkId);
    manager.OpenLink(link.LinkId, "https://example.invalid/help", &item);
  }
  manager.DiagnosticText();
  FreeHelpLinkMgr();
  return 0;
}
