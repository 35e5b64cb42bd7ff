// The throw and catch hooks: this file defines __cxa_throw,
// __cxa_begin_catch and __cxa_end_catch for the program, each of which does
// its own small part and then calls the C++ runtime's function of the same
// name (found with dlsym(RTLD_NEXT), which also keeps a sanitizer's own
// interceptor in the chain).
//
//   __cxa_throw        records the thrower's stack (addresses only) in a
//                      small per-thread ring, keyed by the thrown object;
//   __cxa_begin_catch  pushes the caught object, with the stack of its
//                      throw, on the thread's catch stack, and reports it as
//                      handled when the option asks for it;
//   __cxa_end_catch    pops it again; the last popped stays known as the
//                      thread's last exception.
//
// The runtime pairs every begin with one end, so the catch stack mirrors the
// handlers the thread is in. Nothing here allocates except the report.
//
// Being defined in a static library, the hooks join every program that
// links it (the linker takes this object for the runtime symbols), and the
// executable's definitions win over the runtime's for shared libraries too.
#include <dlfcn.h>
#include <unwind.h>

#include <atomic>
#include <exception>
#include <typeinfo>

#include "crashreport/Internal.h"
#include "platform/Platform.h"

namespace crashreport::internal {

namespace {

constexpr size_t kThrowRing = 8;
constexpr size_t kMaxIgnoredCatchers = 4;

// Functions whose catches are no handled exceptions: the adapter's, and the
// runtime's own __cxa_throw, which "catches" an exception no handler takes
// on its way to std::terminate.
std::atomic<uintptr_t> g_ignored_catchers[kMaxIgnoredCatchers] = {};

bool IsIgnoredCatcher(const void* return_address) {
  if (g_ignored_catchers[0].load() == 0) return false;
  const uintptr_t start = FunctionStart(reinterpret_cast<uintptr_t>(return_address) - 1);
  if (start == 0) return false;
  for (const std::atomic<uintptr_t>& ignored : g_ignored_catchers) {
    if (ignored.load() == start) return true;
  }
  return false;
}
constexpr size_t kCatchDepth = 16;

struct TThreadExceptions {
  TThrowSite thrown[kThrowRing];
  size_t next_thrown = 0;
  TThrowSite caught[kCatchDepth];
  std::exception_ptr caught_objects[kCatchDepth];
  size_t depth = 0;  // may exceed kCatchDepth; deeper catches are not kept
  TThrowSite last;   // the last exception caught (kept after its handler) or thrown
  std::exception_ptr last_object;
  bool has_last = false;
  bool reporting = false;
};

TThreadExceptions& ThreadExceptions() {
  thread_local TThreadExceptions exceptions;
  return exceptions;
}

using ThrowFunction = void (*)(void*, void*, void (*)(void*));
using BeginCatchFunction = void* (*)(void*);
using EndCatchFunction = void (*)();

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

const TThrowSite* FindThrown(TThreadExceptions& exceptions, const void* object) {
  for (size_t i = 0; i < kThrowRing; ++i) {
    const TThrowSite& site =
        exceptions.thrown[(exceptions.next_thrown + kThrowRing - 1 - i) % kThrowRing];
    if (site.Object == object && object != nullptr) return &site;
  }
  return nullptr;
}

void ReportHandled(TThreadExceptions& exceptions, const TThrowSite& site, const void* catcher) {
  if (exceptions.reporting) return;
  exceptions.reporting = true;
  if (IsIgnoredCatcher(catcher)) {
    exceptions.reporting = false;
    return;
  }
  try {
    TEurekaExceptionRecord record = MakeRecord(std::current_exception(), site.Addresses, site.Count,
                                               platform::CurrentThreadId());
    DispatchHandled(record);
  } catch (...) {
    // A report that fails is dropped; the program's own handler goes on.
  }
  exceptions.reporting = false;
}

}  // namespace

bool LastThrowSite(TThrowSite& out) {
  TThreadExceptions& exceptions = ThreadExceptions();
  if (exceptions.depth > 0 && exceptions.depth <= kCatchDepth) {
    out = exceptions.caught[exceptions.depth - 1];
    return true;
  }
  if (!exceptions.has_last) return false;
  out = exceptions.last;
  return true;
}

std::exception_ptr LastCaughtObject() {
  TThreadExceptions& exceptions = ThreadExceptions();
  if (exceptions.depth > 0 && exceptions.depth <= kCatchDepth)
    return exceptions.caught_objects[exceptions.depth - 1];
  return exceptions.last_object;
}

bool& ReportingOnThisThread() {
  return ThreadExceptions().reporting;
}

void IgnoreCatchesInFunction(const void* function) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(function);
  for (std::atomic<uintptr_t>& slot : g_ignored_catchers) {
    uintptr_t empty = 0;
    if (slot.load() == start || slot.compare_exchange_strong(empty, start)) return;
  }
}

void IgnoreRuntimeTerminateCatch() {
  // The runtime's own __cxa_throw, in the C++ runtime library (not ours,
  // not a sanitizer's interceptor).
  void* runtime = dlopen("libstdc++.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (runtime == nullptr) return;
  if (void* own_throw = dlsym(runtime, "__cxa_throw")) IgnoreCatchesInFunction(own_throw);
  dlclose(runtime);
}

}  // namespace crashreport::internal

using crashreport::internal::TThreadExceptions;
using crashreport::internal::TThrowSite;

extern "C" {

__attribute__((noreturn, noinline)) void __cxa_throw(void* object, void* type,
                                                     void (*destructor)(void*)) {
  static const auto next =
      crashreport::internal::Next<crashreport::internal::ThrowFunction>("__cxa_throw");
  TThreadExceptions& exceptions = crashreport::internal::ThreadExceptions();
  TThrowSite& site = exceptions.thrown[exceptions.next_thrown];
  exceptions.next_thrown = (exceptions.next_thrown + 1) % crashreport::internal::kThrowRing;
  site.Object = object;
  site.Count = crashreport::CaptureStack(site.Addresses, crashreport::kMaxFrames, 1);
  exceptions.last = site;
  exceptions.has_last = true;
  next(object, type, destructor);
  __builtin_unreachable();
}

void* __cxa_begin_catch(void* header) noexcept {
  static const auto next =
      crashreport::internal::Next<crashreport::internal::BeginCatchFunction>("__cxa_begin_catch");
  void* object = next(header);
  TThreadExceptions& exceptions = crashreport::internal::ThreadExceptions();
  // The thrown object follows the unwinder's header; the object the catch
  // receives may be adjusted (a base class), or null when no handler was
  // found and the runtime is on its way to std::terminate.
  const void* thrown = static_cast<char*>(header) + sizeof(_Unwind_Exception);
  const TThrowSite* site = crashreport::internal::FindThrown(exceptions, thrown);
  if (site == nullptr) site = crashreport::internal::FindThrown(exceptions, object);
  TThrowSite unknown;  // thrown where the hook did not see it (a rethrown exception_ptr)
  unknown.Object = object;
  const TThrowSite& caught = site != nullptr ? *site : unknown;
  if (exceptions.depth < crashreport::internal::kCatchDepth) {
    exceptions.caught[exceptions.depth] = caught;
    exceptions.caught_objects[exceptions.depth] = std::current_exception();
  }
  ++exceptions.depth;
  if (crashreport::internal::HandledReportsOn()) {
    crashreport::internal::ReportHandled(exceptions, caught, __builtin_return_address(0));
  }
  return object;
}

void __cxa_end_catch() {
  static const auto next =
      crashreport::internal::Next<crashreport::internal::EndCatchFunction>("__cxa_end_catch");
  TThreadExceptions& exceptions = crashreport::internal::ThreadExceptions();
  if (exceptions.depth > 0) {
    --exceptions.depth;
    if (exceptions.depth < crashreport::internal::kCatchDepth) {
      exceptions.last = exceptions.caught[exceptions.depth];
      exceptions.last_object = std::move(exceptions.caught_objects[exceptions.depth]);
      exceptions.caught_objects[exceptions.depth] = nullptr;
      exceptions.has_last = true;
    }
  }
  next();
}

}  // extern "C"
