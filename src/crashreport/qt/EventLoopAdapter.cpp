#include "crashreport/qt/EventLoopAdapter.h"

#include <QMetaObject>
#include <mutex>

#include "crashreport/EurekaLog.h"

namespace {

std::mutex g_handler_mutex;
TEventLoopApplication::TAppExceptionHandler g_app_handler;

}  // namespace

TEventLoopApplication::TEventLoopApplication(int& argc, char** argv) : QApplication(argc, argv) {
  crashreport::SetUserInterfaceThread();
  crashreport::IgnoreCatchesIn(
      reinterpret_cast<const void*>(&TEventLoopApplication::GuardedNotify));
  crashreport::SetHeartbeatRequest([this] {
    QMetaObject::invokeMethod(
        this, [] { crashreport::UserInterfaceHeartbeat(); }, Qt::QueuedConnection);
  });
}

TEventLoopApplication::~TEventLoopApplication() {
  crashreport::SetHeartbeatRequest(nullptr);
}

void TEventLoopApplication::SetAppExceptionHandler(TAppExceptionHandler handler) {
  std::lock_guard lock(g_handler_mutex);
  g_app_handler = std::move(handler);
}

void TEventLoopApplication::HandleEscapedException(QObject* receiver) {
  const std::exception_ptr escaped = std::current_exception();
  TAppExceptionHandler handler;
  {
    std::lock_guard lock(g_handler_mutex);
    handler = g_app_handler;
  }
  if (handler) {
    const crashreport::TQuietCatchScope quiet;  // looking at the object is no new catch
    try {
      try {
        std::rethrow_exception(escaped);
      } catch (const std::exception& e) {
        handler(receiver, &e);
      } catch (...) {
        handler(receiver, nullptr);
      }
    } catch (...) {
      // The application's handler failed; the library still gets the report.
    }
  }
  crashreport::ReportUnhandledException(escaped);
}

bool TEventLoopApplication::notify(QObject* receiver, QEvent* event) {
  return GuardedNotify(this, receiver, event);
}

bool TEventLoopApplication::GuardedNotify(TEventLoopApplication* app, QObject* receiver,
                                          QEvent* event) {
  try {
    return app->QApplication::notify(receiver, event);
  } catch (...) {
    HandleEscapedException(receiver);
    return false;
  }
}
