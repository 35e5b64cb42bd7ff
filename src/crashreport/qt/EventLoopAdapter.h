// The crash-report library's adapter for the Qt event loop.
//
// TEventLoopApplication is the program's application object. Its notify
// catches every exception that escapes the handling of an event, hands it
// first to the application's own handler (if one is installed) and then to
// the library as an unhandled exception, and lets the event loop go on.
// It also makes the thread that created it the user-interface thread the
// freeze watchdog watches, and answers the watchdog's requests for a
// heartbeat with a queued call that beats when the loop serves it.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

class TEventLoopApplication : public QApplication {
  Q_OBJECT

 public:
  TEventLoopApplication(int& argc, char** argv);
  ~TEventLoopApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

  // The application's handler for an exception that escaped an event:
  // called with the event's receiver and the exception (null when it is no
  // std::exception). Empty: none.
  using TAppExceptionHandler = std::function<void(QObject* receiver, const std::exception* E)>;
  static void SetAppExceptionHandler(TAppExceptionHandler handler);

  // What notify does with the exception being handled: the application's
  // handler, then the library. Public for code that runs events itself.
  static void HandleEscapedException(QObject* receiver);

 private:
  // notify's work; its catch reports an unhandled exception, never a
  // handled one.
  static bool GuardedNotify(TEventLoopApplication* app, QObject* receiver, QEvent* event);
};
