// Pins the platform clock (and with it every date the program formats) for
// the life of the object. Set() moves it; the real clock comes back at the
// end.
#pragma once

#include <functional>
#include <utility>

#include "platform/Platform.h"

class ScopedClock {
 public:
  explicit ScopedClock(const platform::LocalTime& time) : time_(time) {
    platform::SetClockHook([this] { return Now(); });
  }

  // Calls `on_read` every time the clock is read, with the time it gives. It
  // runs under the platform's hook lock, so it must not use the platform's
  // clock, tick count, sleep or locale functions itself.
  void OnRead(std::function<void(const platform::LocalTime&)> on_read) {
    on_read_ = std::move(on_read);
  }

  void Set(const platform::LocalTime& time) { time_ = time; }

  ~ScopedClock() { platform::SetClockHook(nullptr); }

  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  platform::LocalTime Now() {
    if (on_read_) on_read_(time_);
    return time_;
  }

  platform::LocalTime time_;
  std::function<void(const platform::LocalTime&)> on_read_;
};
