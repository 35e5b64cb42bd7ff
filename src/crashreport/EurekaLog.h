// The crash-report library: what the program's crash-report manager builds
// on.
//
//   TEurekaLog               the component; every one alive receives the
//                            library's events (creating the first one puts
//                            the library's hooks in place)
//   CurrentEurekaLogOptions  the behaviour options, the freeze switch and the
//                            freeze timeout
//   TEurekaExceptionRecord   what an event is told: the exception object,
//                            the thread, the system's exception record, the
//                            full report text and the call stack
//
// Where the reports come from:
//   - every throw records the thrower's stack (addresses only) for its
//     thread, and every catch makes that exception the thread's last one;
//   - an exception that escapes a user-interface event (the event-loop
//     adapter in qt/), main or a thread (std::terminate) is reported as
//     unhandled through OnExceptionNotify;
//   - a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) is handled on
//     an alternate stack and reported through OnFatalSignalNotify with
//     code that is safe in a signal handler; the process then dies of the
//     signal as it would have without the library;
//   - with boReportHandledExceptions, every exception a catch of the
//     program takes is reported through OnHandledExceptionNotify;
//   - with the freeze switch on, a watchdog reports a user-interface thread
//     that has not served its event loop for the timeout through
//     OnExceptionNotify, from the watchdog's thread.
// An event nobody marks as handled is written to the standard error.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "crashreport/CallStack.h"

// The system's record of an exception raised by the processor or the
// system rather than by a throw, in the codes Windows gives them.
struct TSystemExceptionRecord {
  uint32_t ExceptionCode = 0;      // 0xC0000005 for an access violation
  uintptr_t ExceptionAddress = 0;  // the instruction that faulted
};

// What an exception event is told. It lives for the duration of the event.
struct TEurekaExceptionRecord {
  std::exception_ptr ExceptionObject;         // null when no object was thrown
  const std::exception* Exception = nullptr;  // the object, when it is a std::exception
  uint64_t ThreadID = 0;                      // the thread in which it happened
  std::optional<TSystemExceptionRecord> ExceptionRecord;
  std::string LogText;                                       // the full report
  std::shared_ptr<const crashreport::TCallStack> CallStack;  // where it was raised
};

// Reported when the user-interface thread has not served its event loop for
// the freeze timeout.
class EFrozenApplication : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A fatal signal as the signal handler sees it. Only plain data: it is
// filled and read inside the handler.
struct TFatalSignalRecord {
  int Signal = 0;
  uint32_t ExceptionCode = 0;  // the Windows code of the signal (see SignalExceptionCode)
  uintptr_t FaultAddress = 0;  // the address that could not be accessed (SIGSEGV, SIGBUS)
  uintptr_t Pc = 0;            // the faulting instruction
  uint64_t ThreadID = 0;
  uintptr_t Addresses[crashreport::kMaxFrames] = {};
  size_t Count = 0;
};

using TExceptionNotifyEvent = std::function<void(TEurekaExceptionRecord& Record, bool& Handled)>;

// Called on the faulting thread, on the alternate signal stack. Must be
// async-signal-safe: no allocation, no locks, no stdio.
using TFatalSignalNotifyEvent = void (*)(const TFatalSignalRecord& Record, void* Data,
                                         bool& Handled);

class TEurekaLog {
 public:
  // Registers the component with the library (at most 8 at a time; more
  // are not told anything). The first one installs the library's hooks.
  TEurekaLog();
  ~TEurekaLog();
  TEurekaLog(const TEurekaLog&) = delete;
  TEurekaLog& operator=(const TEurekaLog&) = delete;

  TExceptionNotifyEvent OnExceptionNotify;
  TExceptionNotifyEvent OnHandledExceptionNotify;
  TFatalSignalNotifyEvent OnFatalSignalNotify = nullptr;
  void* FatalSignalData = nullptr;
};

// The behaviour options, a set of flags.
using TBehaviourOptions = uint32_t;
inline constexpr TBehaviourOptions boReportHandledExceptions = 1u << 0;

class TEurekaLogOptions {
 public:
  TBehaviourOptions BehaviourOptions() const;
  void SetBehaviourOptions(TBehaviourOptions options);

  // Freeze detection of the user-interface thread (the thread that made the
  // first component, or the one the event-loop adapter names).
  bool FreezeActivate() const;
  void SetFreezeActivate(bool on);
  int FreezeTimeout() const;  // seconds
  void SetFreezeTimeout(int seconds);

  // The program's version for the report; set by the program.
  std::string ApplicationVersion() const;
  void SetApplicationVersion(const std::string& version);
};

// The running module's options.
TEurekaLogOptions& CurrentEurekaLogOptions();

namespace crashreport {

// Puts the library's hooks in place: the terminate handler, the fatal
// signal handlers with an alternate stack for this thread, the stack
// resolver. The first component calls it; calling it again does nothing.
void InstallCrashHandlers();

// The call stack of the exception this thread is handling (the innermost
// catch), else of the one it handled or threw last; null when there was
// none. The caller owns the copy.
std::unique_ptr<TCallStack> GetLastExceptionCallStack();

// The exception object this thread is handling, else the one it handled
// last; null when there was none.
std::exception_ptr GetLastExceptionObject();

// Reports an exception that nothing handled (the current one, or `object`)
// through OnExceptionNotify, with the stack recorded at its throw.
void ReportUnhandledException(std::exception_ptr object);

// Catches in `function` are not reported as handled: the catch of the
// event-loop adapter, which reports what it catches as unhandled. At most
// a few functions.
void IgnoreCatchesIn(const void* function);

// While alive, catches on this thread are not reported as handled: for code
// that rethrows an exception_ptr only to look at the object.
class TQuietCatchScope {
 public:
  TQuietCatchScope();
  ~TQuietCatchScope();
  TQuietCatchScope(const TQuietCatchScope&) = delete;
  TQuietCatchScope& operator=(const TQuietCatchScope&) = delete;

 private:
  bool was_quiet_;
};

// The thread whose event loop the freeze watchdog watches. The first
// component's thread unless an adapter names another.
void SetUserInterfaceThread();

// Called on the user-interface thread whenever it serves its event loop.
void UserInterfaceHeartbeat();

// Called by the watchdog, on its own thread, each time it looks: asks the
// user-interface thread to beat (the event-loop adapter posts an event).
void SetHeartbeatRequest(std::function<void()> request);

// The Windows code of a fatal signal: C0000005 (SIGSEGV, SIGBUS),
// C0000094 (SIGFPE), C000001D (SIGILL), 40000015 (SIGABRT); 0 otherwise.
uint32_t SignalExceptionCode(int signal);

// The class name a fatal signal is reported under ("EAccessViolation", ...).
const char* SignalExceptionClass(int signal);

}  // namespace crashreport
