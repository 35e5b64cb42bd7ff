// Call stacks: captured as bare code addresses where something goes wrong,
// resolved to functions, source files and lines only when they are printed.
//
// Capturing walks the calling thread's frames with the compiler's unwinder
// and allocates nothing, so it may run inside __cxa_throw and inside a signal
// handler. Resolving reads the program's debug information through GCC's
// libbacktrace; its state is made once (InitStackResolver) and afterwards
// resolving allocates nothing either, so the fatal-signal report can use it.
//
// Every stored address points into the call instruction of its frame (a
// return address minus one), or at the faulting instruction itself for the
// frame a signal interrupted, so that it resolves to the line of the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace crashreport {

// The most frames a stack keeps; deeper frames are dropped.
inline constexpr size_t kMaxFrames = 64;

// Captures the calling thread's stack into `out` (at most `capacity`
// addresses), innermost first, leaving out `skip` frames above the caller
// (0 keeps the caller's own frame). Returns the number of addresses stored.
// Async-signal-safe.
size_t CaptureStack(uintptr_t* out, size_t capacity, size_t skip);

// Inside a signal handler: captures the stack of the code the signal
// interrupted, starting at its instruction `pc` (the frames of the handler
// itself are left out). Async-signal-safe.
size_t CaptureInterruptedStack(uintptr_t* out, size_t capacity, uintptr_t pc);

// One resolved frame. Inlined calls give one frame each, innermost first,
// all with the same address.
struct TStackFrame {
  uintptr_t Address = 0;
  std::string Function;  // demangled; empty when unknown
  std::string FileName;  // full name of the source file; empty when unknown
  int Line = 0;          // 0 when unknown
};

// A captured call stack.
class TCallStack {
 public:
  TCallStack() = default;
  TCallStack(const uintptr_t* addresses, size_t count) : Addresses(addresses, addresses + count) {}

  // The stack of the caller of Capture (its own frame first).
  static TCallStack Capture();

  // The frames with function, file and line, innermost first.
  std::vector<TStackFrame> Resolve() const;

  std::vector<uintptr_t> Addresses;  // innermost first
};

// Makes the resolver's state (reading nothing yet) and resolves one address
// so that the debug information of the loaded modules is read now, not
// first inside a signal handler. Safe to call more than once.
void InitStackResolver();

// Resolves `address` without allocating: calls `frame` once per frame
// (inlined calls first) with the function's raw (mangled) name, the file
// name and the line, each possibly null or 0. Async-signal-safe once
// InitStackResolver has run; does nothing before.
using TRawFrameCallback = void (*)(void* data, uintptr_t address, const char* function,
                                   const char* file_name, int line);
void ResolveAddressRaw(uintptr_t address, TRawFrameCallback frame, void* data);

// The start of the function that holds `address`, from the symbol tables;
// 0 when unknown.
uintptr_t FunctionStart(uintptr_t address);

// "name.cpp" of "/src/dir/name.cpp".
const char* BaseFileName(const char* path);

}  // namespace crashreport
