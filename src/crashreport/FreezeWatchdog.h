// The freeze watchdog: a thread that notices when a watched thread (the
// user-interface thread) has not beaten its heartbeat for the timeout.
//
// The watched thread beats whenever it serves its event loop; since an idle
// loop serves nothing, the watchdog asks for a beat each time it looks (the
// event-loop adapter answers by posting an event). When the last beat is
// older than the timeout, the watchdog signals the watched thread, whose
// signal handler records its stack and then holds the thread still until
// the report has been delivered; the report goes to `report` on the
// watchdog's thread. One freeze gives one report: the next report needs a
// beat first.
//
// Time is the platform's tick count and the waits between looks are
// platform::Sleep, so a test drives the watchdog with the hooks of both
// without waiting.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "crashreport/EurekaLog.h"

namespace crashreport {

// The beats of one watched thread.
class THeartbeat {
 public:
  void Beat();
  uint64_t Count() const { return count_.load(); }
  uint32_t LastTick() const { return last_tick_.load(); }

 private:
  std::atomic<uint64_t> count_{0};
  std::atomic<uint32_t> last_tick_{0};
};

class TFreezeWatchdog {
 public:
  using TReport = std::function<void(TEurekaExceptionRecord& record)>;

  // Starts watching `thread` (its handle and kernel id) for `timeout_ms`
  // without a beat of `heartbeat`. `request_beat` may be empty.
  TFreezeWatchdog(pthread_t thread, uint64_t thread_id, const THeartbeat& heartbeat,
                  uint32_t timeout_ms, TReport report, std::function<void()> request_beat);
  // Stops and joins the watchdog's thread.
  ~TFreezeWatchdog();
  TFreezeWatchdog(const TFreezeWatchdog&) = delete;
  TFreezeWatchdog& operator=(const TFreezeWatchdog&) = delete;

  // The wait between two looks: a quarter of the timeout, 10 ms to 1 s.
  uint32_t Interval() const { return interval_ms_; }

 private:
  void Run();
  void ReportFreeze(uint32_t frozen_ms);

  pthread_t thread_;
  uint64_t thread_id_;
  const THeartbeat& heartbeat_;
  uint32_t timeout_ms_;
  uint32_t interval_ms_;
  TReport report_;
  std::function<void()> request_beat_;
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

// Records the stack of `thread` (not the caller's) and holds it still until
// ReleaseHeldThread. Returns the number of addresses, 0 when the thread did
// not answer within a few seconds (it is then not held). One capture at a
// time in the process.
size_t CaptureAndHoldThread(pthread_t thread, uintptr_t* addresses, size_t capacity);
void ReleaseHeldThread();

}  // namespace crashreport
