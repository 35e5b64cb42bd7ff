// What the parts of the library share and nobody else uses.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>

#include "crashreport/EurekaLog.h"

namespace crashreport::internal {

// The stack recorded at one throw.
struct TThrowSite {
  const void* Object = nullptr;  // the thrown object
  size_t Count = 0;
  uintptr_t Addresses[kMaxFrames] = {};
};

// The thread's innermost caught exception's throw site, else the last one it
// caught or threw; false when there was none.
bool LastThrowSite(TThrowSite& out);

// The thread's innermost caught exception, else the last it caught.
std::exception_ptr LastCaughtObject();

// True while this thread is inside a report: exceptions thrown and caught
// meanwhile (by the program's logging, for instance) are not reported.
bool& ReportingOnThisThread();

// Catches in the function starting at `function` are not reported; and
// neither is the runtime's catch on the way to std::terminate.
void IgnoreCatchesInFunction(const void* function);
void IgnoreRuntimeTerminateCatch();

// Whether caught exceptions are reported (boReportHandledExceptions).
bool HandledReportsOn();

// A record for `object` with the stack `addresses` and the full report.
TEurekaExceptionRecord MakeRecord(std::exception_ptr object, const uintptr_t* addresses,
                                  size_t count, uint64_t thread_id);

// Hands the record to every component's OnExceptionNotify (unhandled) or
// OnHandledExceptionNotify; writes it to the standard error when nobody
// handles an unhandled one.
void DispatchUnhandled(TEurekaExceptionRecord& record);
void DispatchHandled(TEurekaExceptionRecord& record);

// Async-signal-safe: hands a fatal signal to every component's
// OnFatalSignalNotify; false when nobody handled it.
bool DispatchFatalSignal(const TFatalSignalRecord& record);

// Set once an unhandled exception has been reported on the way to abort(),
// so that the SIGABRT that follows is not reported a second time.
extern std::atomic<bool> g_unhandled_reported;

void InstallFatalSignalHandlers();

// The instruction a signal interrupted, from the handler's context; 0 when
// this processor is not known.
uintptr_t InterruptedInstruction(void* context);

// The freeze watchdog of the process: started and stopped by the options.
void StartProcessWatchdog(int timeout_seconds);
void StopProcessWatchdog();

}  // namespace crashreport::internal
