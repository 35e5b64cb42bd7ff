// The call stack in the activity log: error handlers add the stack of the
// exception they caught with WriteLastExceptionStack2Log, and the crash-report
// manager writes stacks with CallStackToText. One line per frame that knows
// its source: CR LF + "<file name> - <line>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/CallStack.h"
#include "crashreport/SignalSafeText.h"

// The stack's lines, innermost frame first; frames without a file name and
// line are left out. Empty without a stack.
std::string CallStackToText(const crashreport::TCallStack* Stack);

// The same lines for bare addresses, without allocating (for the report of
// a fatal signal).
void AppendCallStackTextSignalSafe(crashreport::TFixedText& Out, const uintptr_t* Addresses,
                                   size_t Count);

// In an error handler, after the caught exception has been logged: a full
// entry tagged ProcName with the exception being handled (the one the
// crash-report library saw last, else the runtime's current one) and the
// call stack of its throw as text. Never raises.
void WriteLastExceptionStack2Log(const std::string& ProcName);
