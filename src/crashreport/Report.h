// The full report text of an exception event:
//
//   Exception:
//     Class: EADSDatabaseError
//     Message: <the exception's message>
//     Code: C0000005 at 00005555555551A4      (an exception of the system only)
//   Thread: 12345
//   Call stack:
//     00005555555551A4 TForm1::Button1Click() MaimInxBld_Unit.cpp:88
//     ...                                    (inlined calls on lines of their own)
//   Modules:
//     00007FFFF7C00000 /usr/lib/x86_64-linux-gnu/libc.so.6
//   Application:
//     File: /opt/VLX/App/RebuildIndexes
//     Version: 1.0.0.1
//   Operating system: Linux 6.1.0 #1 SMP ... x86_64
//   Memory: process 5120 KB, system 16000 MB, free 8000 MB
//   Uptime: process 12 s, system 3 days 04:05:06
//
// Lines end with CR LF, as everything the activity log holds. A fatal signal
// gets the same report, written by AppendSignalReport with code that is
// safe in a signal handler (function names then stay as the linker has
// them).
#pragma once

#include <string>

#include "crashreport/EurekaLog.h"
#include "crashreport/SignalSafeText.h"

namespace crashreport {

// The report of `record`, under the exception's class name and message.
std::string BuildFullReport(const TEurekaExceptionRecord& record, const std::string& class_name,
                            const std::string& message);

// The class name of a thrown object as its type names it ("EADSDatabaseError"),
// and its message (what() of a std::exception, else empty).
std::string ThrownClassName(const std::exception_ptr& object);

// Async-signal-safe counterparts for a fatal signal.
void AppendSignalMessage(TFixedText& out, const TFatalSignalRecord& record);
void AppendSignalReport(TFixedText& out, const TFatalSignalRecord& record);

// The program's version as last set in the options; the reader is
// async-signal-safe.
void SetApplicationVersionText(const std::string& version);
const char* ApplicationVersionText();

}  // namespace crashreport
