#include "crashreport/FreezeWatchdog.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "crashreport/Internal.h"
#include "platform/Platform.h"

namespace crashreport {

namespace {

// How long a signalled thread may take to record its stack.
constexpr int kCaptureAnswerMs = 5000;
// The longest a thread is held: a report that hangs (on a lock the held
// thread owns) must not freeze the program for good.
constexpr int kHoldLimitMs = 60000;

// The capture in progress; one at a time (g_capture_mutex).
struct TCapture {
  uintptr_t addresses[kMaxFrames];
  size_t count = 0;
  int answered[2] = {-1, -1};  // the held thread says its stack is recorded
  int release[2] = {-1, -1};   // the watchdog lets the held thread go on
};
TCapture g_capture;
std::mutex g_capture_mutex;

int FreezeSignal() {
  return SIGRTMIN + 5;
}

void OnFreezeSignal(int, siginfo_t*, void* context) {
  const int saved_errno = errno;
  const uintptr_t pc = internal::InterruptedInstruction(context);
  g_capture.count = pc != 0 ? CaptureInterruptedStack(g_capture.addresses, kMaxFrames, pc)
                            : CaptureStack(g_capture.addresses, kMaxFrames, 0);
  char byte = 1;
  [[maybe_unused]] ssize_t done = write(g_capture.answered[1], &byte, 1);
  // Held here until the report is written.
  pollfd release{g_capture.release[0], POLLIN, 0};
  if (poll(&release, 1, kHoldLimitMs) > 0) done = read(g_capture.release[0], &byte, 1);
  errno = saved_errno;
}

bool PrepareCapture() {
  static const bool ready = [] {
    if (pipe2(g_capture.answered, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    if (pipe2(g_capture.release, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_sigaction = OnFreezeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    return sigaction(FreezeSignal(), &action, nullptr) == 0;
  }();
  return ready;
}

void Drain(int fd) {
  char bytes[16];
  while (read(fd, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

void THeartbeat::Beat() {
  last_tick_.store(platform::GetTickCount());
  count_.fetch_add(1);
}

size_t CaptureAndHoldThread(pthread_t thread, uintptr_t* addresses, size_t capacity) {
  g_capture_mutex.lock();
  if (!PrepareCapture()) return 0;
  Drain(g_capture.answered[0]);
  Drain(g_capture.release[0]);  // a release left by a thread that answered too late
  g_capture.count = 0;
  if (pthread_kill(thread, FreezeSignal()) != 0) return 0;
  pollfd answer{g_capture.answered[0], POLLIN, 0};
  if (poll(&answer, 1, kCaptureAnswerMs) <= 0) {
    // No answer: the thread must not stay held if the signal arrives later.
    char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_capture.release[1], &byte, 1);
    return 0;
  }
  Drain(g_capture.answered[0]);
  const size_t count = std::min(g_capture.count, capacity);
  std::copy(g_capture.addresses, g_capture.addresses + count, addresses);
  return count;
}

void ReleaseHeldThread() {
  if (g_capture.count != 0) {
    char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_capture.release[1], &byte, 1);
  }
  g_capture_mutex.unlock();
}

TFreezeWatchdog::TFreezeWatchdog(pthread_t thread, uint64_t thread_id, const THeartbeat& heartbeat,
                                 uint32_t timeout_ms, TReport report,
                                 std::function<void()> request_beat)
    : thread_(thread),
      thread_id_(thread_id),
      heartbeat_(heartbeat),
      timeout_ms_(timeout_ms),
      interval_ms_(std::clamp<uint32_t>(timeout_ms / 4, 10, 1000)),
      report_(std::move(report)),
      request_beat_(std::move(request_beat)) {
  worker_ = std::thread([this] { Run(); });
}

TFreezeWatchdog::~TFreezeWatchdog() {
  stop_.store(true);
  if (worker_.joinable()) worker_.join();
}

void TFreezeWatchdog::Run() {
  uint64_t seen_beats = heartbeat_.Count();
  uint32_t since = platform::GetTickCount();
  bool reported = false;
  while (!stop_.load()) {
    if (request_beat_) request_beat_();
    platform::Sleep(interval_ms_);
    if (stop_.load()) break;
    const uint64_t beats = heartbeat_.Count();
    if (beats != seen_beats) {
      seen_beats = beats;
      since = heartbeat_.LastTick();
      reported = false;
    }
    const uint32_t frozen_ms = platform::GetTickCount() - since;
    if (!reported && frozen_ms >= timeout_ms_) {
      reported = true;
      ReportFreeze(frozen_ms);
    }
  }
}

void TFreezeWatchdog::ReportFreeze(uint32_t frozen_ms) {
  bool& reporting = internal::ReportingOnThisThread();
  reporting = true;  // the watchdog's own exceptions are no program's
  uintptr_t addresses[kMaxFrames];
  const size_t count = CaptureAndHoldThread(thread_, addresses, kMaxFrames);
  try {
    const std::exception_ptr freeze = std::make_exception_ptr(EFrozenApplication(
        "The application has not responded for " + std::to_string(frozen_ms / 1000) + " seconds"));
    TEurekaExceptionRecord record = internal::MakeRecord(freeze, addresses, count, thread_id_);
    report_(record);
  } catch (...) {
    // The report is lost; the held thread is let go below all the same.
  }
  ReleaseHeldThread();
  reporting = false;
}

// ---------------------------------------------------------------- the process's watchdog

namespace {

struct TUserInterfaceThread {
  pthread_t handle{};
  uint64_t id = 0;
  bool known = false;
};

std::mutex g_process_mutex;
TUserInterfaceThread g_ui_thread;
THeartbeat g_ui_heartbeat;
std::function<void()> g_request_beat;
std::unique_ptr<TFreezeWatchdog> g_process_watchdog;

}  // namespace

void SetUserInterfaceThread() {
  std::lock_guard lock(g_process_mutex);
  g_ui_thread = {pthread_self(), platform::CurrentThreadId(), true};
}

void UserInterfaceHeartbeat() {
  g_ui_heartbeat.Beat();
}

void SetHeartbeatRequest(std::function<void()> request) {
  std::lock_guard lock(g_process_mutex);
  g_request_beat = std::move(request);
}

namespace internal {

void StartProcessWatchdog(int timeout_seconds) {
  std::lock_guard lock(g_process_mutex);
  if (!g_ui_thread.known || timeout_seconds <= 0) return;
  std::function<void()> request = [] {
    std::function<void()> current;
    {
      std::lock_guard lock(g_process_mutex);
      current = g_request_beat;
    }
    if (current) current();
  };
  g_process_watchdog = std::make_unique<TFreezeWatchdog>(
      g_ui_thread.handle, g_ui_thread.id, g_ui_heartbeat,
      static_cast<uint32_t>(timeout_seconds) * 1000u,
      [](TEurekaExceptionRecord& record) { DispatchUnhandled(record); }, std::move(request));
}

void StopProcessWatchdog() {
  std::unique_ptr<TFreezeWatchdog> stopping;
  {
    std::lock_guard lock(g_process_mutex);
    stopping = std::move(g_process_watchdog);
  }
  stopping.reset();  // joins outside the lock: the watchdog's requests take it
}

}  // namespace internal

}  // namespace crashreport
