// A small program that fails in one of the ways the crash-report library
// reports, with the program's activity log and crash-report manager set up
// as the real program has them. Run by the crash-report tests as a child
// process:
//
//   CrashChild <mode> <installation root>
//
// modes: qt-event (an exception escapes an event; the loop goes on and the
// program ends normally), main-throw (an exception escapes main),
// thread-throw (an exception escapes a thread), null-deref (a write through
// a null pointer), fault-in-report (a write through a null pointer whose
// report itself faults: the process must still end with the signal). Each
// fault's line carries a "fault:" marker that the
// tests look for in the log's stack lines. Dialogs are answered at once and
// printed to the standard output.
#include <QTimer>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "crashreport/EurekaLog.h"
#include "crashreport/qt/EventLoopAdapter.h"
#include "diag/DatHEMgr_Unit.h"
#include "diag/DatHE_Unit.h"
#include "ui/ModalSeam.h"

namespace {

void FailInEvent() {
  throw std::runtime_error("thrown out of an event");  // fault: qt-event
}

void FailInMain() {
  throw std::runtime_error("thrown out of main");  // fault: main-throw
}

void FailInThread() {
  throw std::runtime_error("thrown out of a thread");  // fault: thread-throw
}

// Not checked by the undefined-behaviour sanitizer, which would end the
// program before the fault: the fault itself is what is tested.
__attribute__((no_sanitize("undefined"))) void WriteThroughNull() {
  volatile int* nowhere = nullptr;
  *nowhere = 42;  // fault: null-deref
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  OverrideModuleName(std::string(argv[2]) + "/App/CrashChild");
  LoadInstallationDefaults();
  CreateHEMgr();
  TEventLoopApplication app(argc, argv);
  ui::SetModalResponder([](const ui::ModalRequest& request) {
    std::printf("dialog: %s\n", request.Text.substr(0, request.Text.find('\n')).c_str());
    std::fflush(stdout);
    return 1;
  });
  InitLog();
  GetHEMgr()->InitEurekaLog(nullptr);

  if (mode == "qt-event") {
    QTimer::singleShot(0, [] { FailInEvent(); });
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("the event loop went on\n");
  } else if (mode == "main-throw") {
    FailInMain();
  } else if (mode == "thread-throw") {
    std::thread(FailInThread).join();
  } else if (mode == "null-deref") {
    WriteThroughNull();
  } else if (mode == "fault-in-report") {
    static TEurekaLog faulty;
    faulty.OnFatalSignalNotify = [](const TFatalSignalRecord&, void*, bool&) {
      WriteThroughNull();
    };
    WriteThroughNull();
  }
  FreeHEMgr();
  FreeLogHandler();
  return 0;
}
