#include "crashreport/CallStack.h"

#include <backtrace.h>
#include <cxxabi.h>
#include <unwind.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace crashreport {

namespace {

struct CaptureState {
  uintptr_t* out;
  size_t capacity;
  size_t count;
  size_t skip;
};

_Unwind_Reason_Code CollectFrame(_Unwind_Context* context, void* arg) {
  auto* state = static_cast<CaptureState*>(arg);
  int before_instruction = 0;
  const uintptr_t ip = _Unwind_GetIPInfo(context, &before_instruction);
  if (ip == 0) return _URC_END_OF_STACK;
  if (state->skip > 0) {
    --state->skip;
    return _URC_NO_REASON;
  }
  if (state->count >= state->capacity) return _URC_END_OF_STACK;
  // A return address points after the call; one less lands inside it.
  state->out[state->count++] = before_instruction ? ip : ip - 1;
  return _URC_NO_REASON;
}

std::atomic<backtrace_state*> g_resolver{nullptr};

void IgnoreResolverError(void*, const char*, int) {
  // A module without debug information resolves to fewer details; the
  // frame is still printed with what is known.
}

struct RawResolve {
  TRawFrameCallback frame;
  void* data;
  bool any;
};

int OnPcInfo(void* data, uintptr_t pc, const char* file_name, int line, const char* function) {
  auto* resolve = static_cast<RawResolve*>(data);
  if (file_name == nullptr && function == nullptr && line == 0) return 0;
  resolve->any = true;
  resolve->frame(resolve->data, pc, function, file_name, line);
  return 0;
}

void OnSymInfo(void* data, uintptr_t pc, const char* symbol, uintptr_t, uintptr_t) {
  auto* resolve = static_cast<RawResolve*>(data);
  resolve->any = true;
  resolve->frame(resolve->data, pc, symbol, nullptr, 0);
}

std::string Demangle(const char* name) {
  if (name == nullptr) return {};
  if (std::strncmp(name, "_Z", 2) != 0) return name;
  int status = 0;
  char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (plain == nullptr) return name;
  std::string result = plain;
  std::free(plain);
  return result;
}

}  // namespace

__attribute__((noinline)) size_t CaptureStack(uintptr_t* out, size_t capacity, size_t skip) {
  CaptureState state{out, capacity, 0, skip + 1};  // + 1: this function's own frame
  _Unwind_Backtrace(CollectFrame, &state);
  return state.count;
}

size_t CaptureInterruptedStack(uintptr_t* out, size_t capacity, uintptr_t pc) {
  uintptr_t all[kMaxFrames + 16];
  const size_t count = CaptureStack(all, kMaxFrames + 16, 0);
  size_t from = count;
  for (size_t i = 0; i < count; ++i) {
    if (all[i] == pc) {
      from = i;
      break;
    }
  }
  if (from == count) {
    // The unwinder did not get through the signal frame: the faulting
    // instruction alone still says where it happened.
    if (capacity == 0) return 0;
    out[0] = pc;
    return 1;
  }
  size_t stored = 0;
  for (size_t i = from; i < count && stored < capacity; ++i) out[stored++] = all[i];
  return stored;
}

__attribute__((noinline)) TCallStack TCallStack::Capture() {
  uintptr_t addresses[kMaxFrames];
  const size_t count = CaptureStack(addresses, kMaxFrames, 1);
  return TCallStack(addresses, count);
}

void InitStackResolver() {
  static std::once_flag once;
  std::call_once(once, [] {
    backtrace_state* state = backtrace_create_state(nullptr, 1, IgnoreResolverError, nullptr);
    if (state == nullptr) return;
    g_resolver.store(state);
    // The first look-up reads the modules' debug information.
    ResolveAddressRaw(
        reinterpret_cast<uintptr_t>(&InitStackResolver),
        [](void*, uintptr_t, const char*, const char*, int) {}, nullptr);
  });
}

void ResolveAddressRaw(uintptr_t address, TRawFrameCallback frame, void* data) {
  RawResolve resolve{frame, data, false};
  backtrace_state* state = g_resolver.load();
  if (state != nullptr) {
    backtrace_pcinfo(state, address, OnPcInfo, IgnoreResolverError, &resolve);
    if (!resolve.any) backtrace_syminfo(state, address, OnSymInfo, IgnoreResolverError, &resolve);
  }
  if (!resolve.any) frame(data, address, nullptr, nullptr, 0);
}

std::vector<TStackFrame> TCallStack::Resolve() const {
  InitStackResolver();
  std::vector<TStackFrame> frames;
  for (const uintptr_t address : Addresses) {
    const size_t first = frames.size();
    ResolveAddressRaw(
        address,
        [](void* data, uintptr_t pc, const char* function, const char* file_name, int line) {
          TStackFrame frame;
          frame.Address = pc;
          frame.Function = Demangle(function);
          if (file_name != nullptr) frame.FileName = file_name;
          frame.Line = line;
          static_cast<std::vector<TStackFrame>*>(data)->push_back(std::move(frame));
        },
        &frames);
    // Debug information names a function without its scope and parameters;
    // the symbol table has the full name of the outermost (not inlined) one.
    backtrace_state* state = g_resolver.load();
    if (state != nullptr && frames.size() > first) {
      std::string symbol;
      backtrace_syminfo(
          state, address,
          [](void* data, uintptr_t, const char* name, uintptr_t, uintptr_t) {
            if (name != nullptr) *static_cast<std::string*>(data) = Demangle(name);
          },
          IgnoreResolverError, &symbol);
      if (!symbol.empty()) frames.back().Function = symbol;
    }
  }
  return frames;
}

uintptr_t FunctionStart(uintptr_t address) {
  InitStackResolver();
  backtrace_state* state = g_resolver.load();
  uintptr_t start = 0;
  if (state != nullptr) {
    backtrace_syminfo(
        state, address,
        [](void* data, uintptr_t, const char* name, uintptr_t value, uintptr_t) {
          if (name != nullptr) *static_cast<uintptr_t*>(data) = value;
        },
        IgnoreResolverError, &start);
  }
  return start;
}

const char* BaseFileName(const char* path) {
  if (path == nullptr) return "";
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace crashreport
