#include "diag/DatHECallStack_Unit.h"

#include <memory>

#include "common/DatGenDateTime.h"
#include "crashreport/EurekaLog.h"
#include "crashreport/Report.h"
#include "diag/DatHE_Unit.h"

std::string CallStackToText(const crashreport::TCallStack* Stack) {
  std::string text;
  if (Stack == nullptr) return text;
  for (const crashreport::TStackFrame& frame : Stack->Resolve()) {
    if (frame.FileName.empty() && frame.Line == 0) continue;
    text += "\r\n" + std::string(crashreport::BaseFileName(frame.FileName.c_str())) + " - " +
            std::to_string(frame.Line);
  }
  return text;
}

void AppendCallStackTextSignalSafe(crashreport::TFixedText& Out, const uintptr_t* Addresses,
                                   size_t Count) {
  for (size_t i = 0; i < Count; ++i) {
    crashreport::ResolveAddressRaw(
        Addresses[i],
        [](void* data, uintptr_t, const char*, const char* file_name, int line) {
          if (file_name == nullptr && line == 0) return;
          auto* out = static_cast<crashreport::TFixedText*>(data);
          out->Append("\r\n").Append(crashreport::BaseFileName(file_name)).Append(" - ");
          if (line < 0) out->Append("-");
          out->AppendUnsigned(static_cast<uint64_t>(line < 0 ? -static_cast<int64_t>(line) : line));
        },
        &Out);
  }
}

void WriteLastExceptionStack2Log(const std::string& ProcName) {
  try {
    THandleExceptions* writer = GetHandleExceptions();
    if (writer == nullptr) return;
    const std::unique_ptr<crashreport::TCallStack> stack = crashreport::GetLastExceptionCallStack();
    std::string suffix;
    std::exception_ptr object;
    try {
      object = crashreport::GetLastExceptionObject();
      if (!object) object = std::current_exception();
    } catch (...) {
      suffix = " Gen Err in WriteLastExceptionStack2Log";
      object = nullptr;
    }
    TDatHERecType rec;
    rec.Time = Now();
    rec.ProcName = ProcName + suffix;
    rec.Text = CallStackToText(stack.get());
    if (object) {
      const crashreport::TQuietCatchScope quiet;  // looking at the object is no new catch
      try {
        std::rethrow_exception(object);
      } catch (const std::exception& e) {
        rec.E = &e;  // kept alive by `object`
      } catch (...) {
        rec.SenderClass =
            crashreport::ThrownClassName(object);  // a thrown object that is no exception
      }
    }
    writer->WriteEntry(rec);
  } catch (...) {
    // An error handler's stack entry never fails the handler.
  }
}
