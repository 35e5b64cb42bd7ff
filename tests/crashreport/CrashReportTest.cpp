// The crash-report library in one process: stacks recorded at the throw,
// the thread's last exception, reports of caught exceptions and their
// guard, and the freeze watchdog driven by the platform's clock and wait
// hooks.
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "crashreport/EurekaLog.h"
#include "crashreport/FreezeWatchdog.h"
#include "platform/Platform.h"

namespace {

int LineOf(const std::string& marker) {
  std::ifstream source(RI_TEST_SOURCE_DIR "/CrashReportTest.cpp");
  std::string line;
  for (int number = 1; std::getline(source, line); ++number) {
    if (line.find(marker) != std::string::npos && line.find("LineOf") == std::string::npos)
      return number;
  }
  return 0;
}

__attribute__((noinline)) void ThrowOuter() {
  throw std::runtime_error("outer");  // outer throw
}

__attribute__((noinline)) void ThrowInner() {
  throw std::logic_error("inner");  // inner throw
}

// The first frame of `stack` that has a source line.
crashreport::TStackFrame FirstSourceFrame(const crashreport::TCallStack* stack) {
  if (stack == nullptr) return {};
  for (const crashreport::TStackFrame& frame : stack->Resolve()) {
    if (frame.Line != 0) return frame;
  }
  return {};
}

std::string Where(const crashreport::TStackFrame& frame) {
  return std::string(crashreport::BaseFileName(frame.FileName.c_str())) + ":" +
         std::to_string(frame.Line);
}

std::string ThrowSite(const std::string& marker) {
  return "CrashReportTest.cpp:" + std::to_string(LineOf(marker));
}

TEST(CallStacks, TheLastExceptionIsTheOneBeingHandledThenTheOneHandledLast) {
  try {
    ThrowOuter();
  } catch (const std::exception&) {
    EXPECT_EQ(Where(FirstSourceFrame(crashreport::GetLastExceptionCallStack().get())),
              ThrowSite("// outer throw"));
    try {
      ThrowInner();
    } catch (const std::logic_error&) {
      EXPECT_EQ(Where(FirstSourceFrame(crashreport::GetLastExceptionCallStack().get())),
                ThrowSite("// inner throw"));
    }
    // Back in the outer handler: its exception again.
    EXPECT_EQ(Where(FirstSourceFrame(crashreport::GetLastExceptionCallStack().get())),
              ThrowSite("// outer throw"));
    try {
      std::rethrow_exception(crashreport::GetLastExceptionObject());
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "outer");
    }
  }
  // After the handler the last one handled stays known.
  EXPECT_EQ(Where(FirstSourceFrame(crashreport::GetLastExceptionCallStack().get())),
            ThrowSite("// outer throw"));
  std::thread([] {
    EXPECT_EQ(crashreport::GetLastExceptionCallStack(), nullptr);
    EXPECT_EQ(crashreport::GetLastExceptionObject(), nullptr);
  }).join();
}

TEST(CallStacks, ResolvedFramesNameFunctionFileAndLine) {
  const crashreport::TCallStack stack = crashreport::TCallStack::Capture();
  const crashreport::TStackFrame frame = FirstSourceFrame(&stack);
  EXPECT_NE(frame.Function.find("TestBody"), std::string::npos) << frame.Function;
  EXPECT_EQ(Where(frame), ThrowSite("TCallStack::Capture();"));
}

class ComponentTest : public ::testing::Test {
 protected:
  ~ComponentTest() override { CurrentEurekaLogOptions().SetBehaviourOptions(0); }
  TEurekaLog component_;
};

TEST_F(ComponentTest, UnhandledExceptionRecordCarriesObjectThreadStackAndReport) {
  int reports = 0;
  component_.OnExceptionNotify = [&](TEurekaExceptionRecord& record, bool& handled) {
    ++reports;
    handled = true;
    ASSERT_NE(record.Exception, nullptr);
    EXPECT_STREQ(record.Exception->what(), "outer");
    EXPECT_EQ(record.ThreadID, platform::CurrentThreadId());
    EXPECT_FALSE(record.ExceptionRecord.has_value());
    EXPECT_EQ(Where(FirstSourceFrame(record.CallStack.get())), ThrowSite("// outer throw"));
    EXPECT_EQ(record.LogText.rfind(
                  "Exception:\r\n  Class: std::runtime_error\r\n  Message: outer\r\n", 0),
              0u)
        << record.LogText;
    for (const char* part :
         {"\r\nCall stack:\r\n", "ThrowOuter() CrashReportTest.cpp:", "\r\nModules:\r\n",
          "\r\nApplication:\r\n", "\r\nOperating system: ", "\r\nMemory: process ",
          "\r\nUptime: process "}) {
      EXPECT_NE(record.LogText.find(part), std::string::npos) << part;
    }
  };
  try {
    ThrowOuter();
  } catch (...) {
    crashreport::ReportUnhandledException(nullptr);
  }
  EXPECT_EQ(reports, 1);
}

TEST_F(ComponentTest, CaughtExceptionsAreReportedOnlyWhenAskedAndNeverFromInsideAReport) {
  std::vector<std::string> reported;
  component_.OnHandledExceptionNotify = [&](TEurekaExceptionRecord& record, bool& handled) {
    handled = true;
    reported.push_back(record.Exception != nullptr ? record.Exception->what() : "?");
    // Whatever the report does, its own catches are not reported.
    try {
      ThrowInner();
    } catch (const std::exception&) {
    }
  };
  try {
    ThrowOuter();
  } catch (const std::exception&) {
  }
  EXPECT_TRUE(reported.empty());
  CurrentEurekaLogOptions().SetBehaviourOptions(boReportHandledExceptions);
  try {
    ThrowOuter();
  } catch (const std::exception&) {
  }
  CurrentEurekaLogOptions().SetBehaviourOptions(0);
  EXPECT_EQ(reported, std::vector<std::string>{"outer"});
}

__attribute__((noinline)) void CatchAsUnhandled() {
  try {
    ThrowOuter();
  } catch (...) {
    // Reported as unhandled by whoever catches here (the event-loop adapter).
  }
}

TEST_F(ComponentTest, CatchesOfAnIgnoredFunctionAreNotReportedAsHandled) {
  int reports = 0;
  component_.OnHandledExceptionNotify = [&](TEurekaExceptionRecord&, bool& handled) {
    handled = true;
    ++reports;
  };
  crashreport::IgnoreCatchesIn(reinterpret_cast<const void*>(&CatchAsUnhandled));
  CurrentEurekaLogOptions().SetBehaviourOptions(boReportHandledExceptions);
  CatchAsUnhandled();
  EXPECT_EQ(reports, 0);
  try {
    ThrowOuter();
  } catch (const std::exception&) {
  }
  CurrentEurekaLogOptions().SetBehaviourOptions(0);
  EXPECT_EQ(reports, 1);
}

// ---------------------------------------------------------------- the freeze watchdog

// The watched thread: beats, then blocks (frozen) until released, then
// serves its "event loop" (beats) until told to finish.
class WatchedThread {
 public:
  explicit WatchedThread(crashreport::THeartbeat& beat) : beat_(beat) {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return id_ != 0; });
  }

  ~WatchedThread() {
    {
      std::lock_guard lock(mutex_);
      released_ = true;
      finish_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void Release() {
    {
      std::lock_guard lock(mutex_);
      released_ = true;
    }
    changed_.notify_all();
  }

  // Waits (bounded) until the thread has beaten again after its release.
  bool WentOn() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return went_on_; });
  }

  pthread_t Handle() { return thread_.native_handle(); }
  uint64_t Id() const { return id_; }

 private:
  __attribute__((noinline)) void Frozen() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return released_; });  // frozen here
  }

  void Run() {
    beat_.Beat();
    {
      std::lock_guard lock(mutex_);
      id_ = platform::CurrentThreadId();
    }
    changed_.notify_all();
    Frozen();
    beat_.Beat();
    {
      std::lock_guard lock(mutex_);
      went_on_ = true;
    }
    changed_.notify_all();
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (finish_) return;
      }
      beat_.Beat();
      std::this_thread::yield();
    }
  }

  crashreport::THeartbeat& beat_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t id_ = 0;
  bool released_ = false;
  bool went_on_ = false;
  bool finish_ = false;
  std::thread thread_;
};

TEST(FreezeWatchdog, AFrozenThreadIsReportedOnceWithItsStackAndThenGoesOn) {
  // The clock moves only when the watchdog waits.
  std::atomic<uint32_t> clock{5000};
  platform::SetTickCountHook([&] { return clock.load(); });
  platform::SetSleepHook([&](unsigned ms) {
    clock += ms;
    std::this_thread::yield();
  });

  crashreport::THeartbeat beat;
  WatchedThread watched(beat);
  std::mutex mutex;
  std::condition_variable reported;
  std::vector<std::string> report_classes;
  std::vector<uint64_t> report_threads;
  std::vector<std::string> frozen_frames;
  uint32_t reported_at = 0;
  {
    crashreport::TFreezeWatchdog watchdog(
        watched.Handle(), watched.Id(), beat, 30000,
        [&](TEurekaExceptionRecord& record) {
          // Resolved while the watched thread is held.
          std::vector<std::string> frames;
          for (const crashreport::TStackFrame& frame : record.CallStack->Resolve())
            frames.push_back(Where(frame));
          std::lock_guard lock(mutex);
          report_classes.push_back(record.LogText.substr(0, record.LogText.find("\r\n  Message")));
          report_threads.push_back(record.ThreadID);
          frozen_frames = frames;
          reported_at = clock.load();
          reported.notify_all();
        },
        nullptr);
    {
      std::unique_lock lock(mutex);
      ASSERT_TRUE(reported.wait_for(lock, std::chrono::seconds(60),
                                    [&] { return !report_classes.empty(); }));
    }
    EXPECT_GE(reported_at, 5000u + 30000u);
    // Still frozen for three more timeouts: no second report.
    while (clock.load() < reported_at + 90000) std::this_thread::yield();
    watched.Release();
    EXPECT_TRUE(watched.WentOn());
  }
  platform::SetSleepHook(nullptr);
  platform::SetTickCountHook(nullptr);

  ASSERT_EQ(report_classes.size(), 1u);
  EXPECT_EQ(report_classes[0], "Exception:\r\n  Class: EFrozenApplication");
  EXPECT_EQ(report_threads[0], watched.Id());
  EXPECT_NE(std::find(frozen_frames.begin(), frozen_frames.end(), ThrowSite("// frozen here")),
            frozen_frames.end())
      << ::testing::PrintToString(frozen_frames);
}

TEST(FreezeWatchdog, AThreadThatBeatsIsNeverReported) {
  std::atomic<uint32_t> clock{0};
  std::atomic<int> looks{0};
  crashreport::THeartbeat beat;
  platform::SetTickCountHook([&] { return clock.load(); });
  // Each look lets a second pass, and the watched thread beats in time
  // (its beat is asked for by the watchdog, as the event loop would).
  platform::SetSleepHook([&](unsigned ms) {
    clock += ms;
    ++looks;
  });
  int reports = 0;
  {
    crashreport::TFreezeWatchdog watchdog(
        pthread_self(), platform::CurrentThreadId(), beat, 4000,
        [&](TEurekaExceptionRecord&) { ++reports; }, [&] { beat.Beat(); });
    while (looks.load() < 200) std::this_thread::yield();
  }
  platform::SetSleepHook(nullptr);
  platform::SetTickCountHook(nullptr);
  EXPECT_EQ(reports, 0);
}

}  // namespace
