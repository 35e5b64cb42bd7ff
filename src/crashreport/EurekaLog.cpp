// The component, the options, and the road of a report from the place it is
// raised to the components' events.
#include "crashreport/EurekaLog.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <mutex>

#include "crashreport/Internal.h"
#include "crashreport/Report.h"
#include "crashreport/SignalSafeText.h"
#include "platform/Platform.h"

namespace crashreport::internal {

std::atomic<bool> g_unhandled_reported{false};

namespace {

constexpr size_t kMaxComponents = 8;
std::array<std::atomic<TEurekaLog*>, kMaxComponents> g_components{};

std::atomic<TBehaviourOptions> g_behaviour{0};
std::atomic<bool> g_freeze_active{false};
std::atomic<int> g_freeze_timeout{60};
std::mutex g_options_mutex;  // the version text and the watchdog's start and stop

void WriteToStandardError(const std::string& title, const std::string& text) {
  const std::string all = title + "\n" + text + "\n";
  // Nothing else can be done when the standard error is gone.
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, all.data(), all.size());
}

// Runs `event` of every component registered. True when one of them marked
// the record handled.
bool Dispatch(TEurekaExceptionRecord& record, TExceptionNotifyEvent TEurekaLog::*event) {
  bool any_handled = false;
  for (std::atomic<TEurekaLog*>& slot : g_components) {
    TEurekaLog* component = slot.load();
    if (component == nullptr || !(component->*event)) continue;
    bool handled = false;
    try {
      (component->*event)(record, handled);
    } catch (...) {
      // A handler that fails does not stop the others; the report counts as
      // not handled by it.
      handled = false;
    }
    any_handled = any_handled || handled;
  }
  return any_handled;
}

[[noreturn]] void OnTerminate() {
  bool& reporting = ReportingOnThisThread();
  if (!reporting) {
    reporting = true;
    try {
      std::exception_ptr object = std::current_exception();
      TThrowSite site;
      uintptr_t here[kMaxFrames];
      TEurekaExceptionRecord record;
      if (object && LastThrowSite(site)) {
        record = MakeRecord(object, site.Addresses, site.Count, platform::CurrentThreadId());
      } else {
        // Terminated without an exception: where terminate was called.
        const size_t count = CaptureStack(here, kMaxFrames, 0);
        record = MakeRecord(object, here, count, platform::CurrentThreadId());
      }
      g_unhandled_reported.store(true);
      DispatchUnhandled(record);
    } catch (...) {
      // The process ends below whatever happened here.
    }
  }
  std::abort();
}

}  // namespace

bool HandledReportsOn() {
  return (g_behaviour.load(std::memory_order_relaxed) & boReportHandledExceptions) != 0;
}

TEurekaExceptionRecord MakeRecord(std::exception_ptr object, const uintptr_t* addresses,
                                  size_t count, uint64_t thread_id) {
  TEurekaExceptionRecord record;
  record.ExceptionObject = object;
  record.ThreadID = thread_id;
  record.CallStack = std::make_shared<TCallStack>(addresses, count);
  std::string message;
  if (object) {
    bool& reporting = ReportingOnThisThread();
    const bool was_reporting = reporting;
    reporting = true;  // the rethrow below is no exception of the program
    try {
      std::rethrow_exception(object);
    } catch (const std::exception& e) {
      record.Exception = &e;  // lives as long as ExceptionObject
      message = e.what();
    } catch (...) {
      // Not a std::exception: the record has the object only.
    }
    reporting = was_reporting;
  }
  record.LogText =
      BuildFullReport(record, object ? ThrownClassName(object) : "(no exception)", message);
  return record;
}

void DispatchUnhandled(TEurekaExceptionRecord& record) {
  if (!Dispatch(record, &TEurekaLog::OnExceptionNotify)) {
    WriteToStandardError("Unhandled exception", record.LogText);
  }
}

void DispatchHandled(TEurekaExceptionRecord& record) {
  Dispatch(record, &TEurekaLog::OnHandledExceptionNotify);
}

bool DispatchFatalSignal(const TFatalSignalRecord& record) {
  bool any_handled = false;
  for (std::atomic<TEurekaLog*>& slot : g_components) {
    TEurekaLog* component = slot.load();
    if (component == nullptr || component->OnFatalSignalNotify == nullptr) continue;
    bool handled = false;
    component->OnFatalSignalNotify(record, component->FatalSignalData, handled);
    any_handled = any_handled || handled;
  }
  return any_handled;
}

void RegisterComponent(TEurekaLog* component) {
  for (std::atomic<TEurekaLog*>& slot : g_components) {
    TEurekaLog* empty = nullptr;
    if (slot.compare_exchange_strong(empty, component)) return;
  }
}

void UnregisterComponent(TEurekaLog* component) {
  for (std::atomic<TEurekaLog*>& slot : g_components) {
    TEurekaLog* expected = component;
    slot.compare_exchange_strong(expected, nullptr);
  }
}

void InstallTerminateHandler() {
  std::set_terminate(OnTerminate);
}

std::mutex& OptionsMutex() {
  return g_options_mutex;
}
std::atomic<TBehaviourOptions>& Behaviour() {
  return g_behaviour;
}
std::atomic<bool>& FreezeActive() {
  return g_freeze_active;
}
std::atomic<int>& FreezeTimeoutSeconds() {
  return g_freeze_timeout;
}

}  // namespace crashreport::internal

// ---------------------------------------------------------------- the component

TEurekaLog::TEurekaLog() {
  crashreport::InstallCrashHandlers();
  crashreport::internal::RegisterComponent(this);
}

TEurekaLog::~TEurekaLog() {
  crashreport::internal::UnregisterComponent(this);
}

// ---------------------------------------------------------------- the options

TBehaviourOptions TEurekaLogOptions::BehaviourOptions() const {
  return crashreport::internal::Behaviour().load();
}

void TEurekaLogOptions::SetBehaviourOptions(TBehaviourOptions options) {
  crashreport::internal::Behaviour().store(options);
}

bool TEurekaLogOptions::FreezeActivate() const {
  return crashreport::internal::FreezeActive().load();
}

void TEurekaLogOptions::SetFreezeActivate(bool on) {
  std::lock_guard lock(crashreport::internal::OptionsMutex());
  if (crashreport::internal::FreezeActive().exchange(on) == on) return;
  if (on) {
    crashreport::internal::StartProcessWatchdog(
        crashreport::internal::FreezeTimeoutSeconds().load());
  } else {
    crashreport::internal::StopProcessWatchdog();
  }
}

int TEurekaLogOptions::FreezeTimeout() const {
  return crashreport::internal::FreezeTimeoutSeconds().load();
}

void TEurekaLogOptions::SetFreezeTimeout(int seconds) {
  std::lock_guard lock(crashreport::internal::OptionsMutex());
  crashreport::internal::FreezeTimeoutSeconds().store(seconds);
  if (crashreport::internal::FreezeActive().load()) {
    // The running watchdog takes the new timeout by starting afresh.
    crashreport::internal::StopProcessWatchdog();
    crashreport::internal::StartProcessWatchdog(seconds);
  }
}

std::string TEurekaLogOptions::ApplicationVersion() const {
  std::lock_guard lock(crashreport::internal::OptionsMutex());
  return crashreport::ApplicationVersionText();
}

void TEurekaLogOptions::SetApplicationVersion(const std::string& version) {
  std::lock_guard lock(crashreport::internal::OptionsMutex());
  crashreport::SetApplicationVersionText(version);
}

TEurekaLogOptions& CurrentEurekaLogOptions() {
  static TEurekaLogOptions options;
  return options;
}

// ---------------------------------------------------------------- the library's services

namespace crashreport {

void InstallCrashHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    InitStackResolver();
    internal::InstallTerminateHandler();
    internal::IgnoreRuntimeTerminateCatch();
    internal::InstallFatalSignalHandlers();
    SetUserInterfaceThread();
  });
}

std::unique_ptr<TCallStack> GetLastExceptionCallStack() {
  internal::TThrowSite site;
  if (!internal::LastThrowSite(site)) return nullptr;
  return std::make_unique<TCallStack>(site.Addresses, site.Count);
}

std::exception_ptr GetLastExceptionObject() {
  return internal::LastCaughtObject();
}

void ReportUnhandledException(std::exception_ptr object) {
  if (!object) object = std::current_exception();
  bool& reporting = internal::ReportingOnThisThread();
  if (reporting) return;
  reporting = true;
  try {
    internal::TThrowSite site;
    TEurekaExceptionRecord record;
    if (internal::LastThrowSite(site)) {
      record =
          internal::MakeRecord(object, site.Addresses, site.Count, platform::CurrentThreadId());
    } else {
      record = internal::MakeRecord(object, nullptr, 0, platform::CurrentThreadId());
    }
    internal::DispatchUnhandled(record);
  } catch (...) {
    // A report that cannot be made is dropped; the program goes on.
  }
  reporting = false;
}

void IgnoreCatchesIn(const void* function) {
  internal::IgnoreCatchesInFunction(function);
}

TQuietCatchScope::TQuietCatchScope() : was_quiet_(internal::ReportingOnThisThread()) {
  internal::ReportingOnThisThread() = true;
}

TQuietCatchScope::~TQuietCatchScope() {
  internal::ReportingOnThisThread() = was_quiet_;
}

uint32_t SignalExceptionCode(int signal) {
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      return 0xC0000005u;
    case SIGFPE:
      return 0xC0000094u;
    case SIGILL:
      return 0xC000001Du;
    case SIGABRT:
      return 0x40000015u;
    default:
      return 0;
  }
}

const char* SignalExceptionClass(int signal) {
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      return "EAccessViolation";
    case SIGFPE:
      return "EDivByZero";
    case SIGILL:
      return "EPrivilege";
    case SIGABRT:
      return "EAbort";
    default:
      return "EExternalException";
  }
}

}  // namespace crashreport
