// Fatal signals: SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT are handled on
// an alternate stack (a stack overflow leaves no room on the thread's own).
//
// The handler, in order:
//   1. a second fatal signal while a report is being written (a fault inside
//      the handler itself) ends the process at once with that signal;
//   2. an alarm is armed: if the report hangs, the alarm ends the process
//      with the original signal;
//   3. the record is filled (the Windows code, the faulting instruction and
//      address, the thread, the interrupted code's stack) and handed to the
//      components (OnFatalSignalNotify); when nobody takes it, the full
//      report goes to the standard error;
//   4. the signal's default action is restored and the signal raised again,
//      so the process ends as it would have without the library (a core
//      file, the exit status of the signal).
// A SIGABRT that follows an unhandled exception already reported (the
// terminate handler's abort) skips step 3.
//
// Everything the handler calls is async-signal-safe or, where the system
// does not promise it (the unwinder, the list of loaded modules), allocates
// nothing and is guarded by the alarm of step 2.
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>

#include "crashreport/Internal.h"
#include "crashreport/Report.h"
#include "crashreport/SignalSafeText.h"

namespace crashreport::internal {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr unsigned kReportSeconds = 10;  // the longest a report may take

// Big enough for the unwinder and the resolver, also under the sanitizers.
constexpr size_t kAltStackSize = 256 * 1024;
alignas(16) char g_alt_stack[kAltStackSize];

std::atomic<bool> g_in_handler{false};
volatile sig_atomic_t g_signal = 0;
TFatalSignalRecord g_record;
char g_report_buffer[64 * 1024];

[[noreturn]] void DieOf(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal);
  _exit(128 + signal);  // the default action of the signal does not end the process
}

void OnReportTimeout(int) {
  DieOf(g_signal != 0 ? g_signal : SIGABRT);
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
  if (g_in_handler.exchange(true)) DieOf(signal);
  g_signal = signal;

  struct sigaction alarm_action {};
  alarm_action.sa_handler = OnReportTimeout;
  sigemptyset(&alarm_action.sa_mask);
  sigaction(SIGALRM, &alarm_action, nullptr);
  alarm(kReportSeconds);

  if (!(signal == SIGABRT && g_unhandled_reported.load())) {
    TFatalSignalRecord& record = g_record;
    record.Signal = signal;
    record.ExceptionCode = SignalExceptionCode(signal);
    record.FaultAddress =
        (signal == SIGSEGV || signal == SIGBUS) ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
    record.Pc = InterruptedInstruction(context);
    record.ThreadID = static_cast<uint64_t>(syscall(SYS_gettid));
    record.Count = record.Pc != 0 ? CaptureInterruptedStack(record.Addresses, kMaxFrames, record.Pc)
                                  : CaptureStack(record.Addresses, kMaxFrames, 0);
    if (!DispatchFatalSignal(record)) {
      TFixedText report(g_report_buffer, sizeof g_report_buffer);
      report.Append("Fatal signal\n");
      AppendSignalReport(report, record);
      [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, report.Data(), report.Size());
    }
  }
  DieOf(signal);
}

}  // namespace

uintptr_t InterruptedInstruction(void* context) {
#if defined(__x86_64__)
  return static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
  (void)context;
  return 0;
#endif
}

void InstallFatalSignalHandlers() {
  stack_t alternate{};
  alternate.ss_sp = g_alt_stack;
  alternate.ss_size = sizeof g_alt_stack;
  alternate.ss_flags = 0;
  sigaltstack(&alternate, nullptr);

  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  sigemptyset(&action.sa_mask);
  // SA_NODEFER: a fault inside the handler re-enters it and ends the process
  // at once (step 1) instead of waiting blocked.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  for (const int signal : kFatalSignals) sigaction(signal, &action, nullptr);
}

}  // namespace crashreport::internal

namespace crashreport {

bool AppendToFileSignalSafe(const char* path, const char* data, size_t size) {
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const ssize_t written = write(fd, data, size);
  const bool closed = close(fd) == 0;
  return written == static_cast<ssize_t>(size) && closed;
}

}  // namespace crashreport
