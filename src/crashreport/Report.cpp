#include "crashreport/Report.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <link.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <typeinfo>

namespace crashreport {

namespace {

constexpr const char* kCrLf = "\r\n";

// When the library was first used: the start of the process's uptime.
const timespec kProcessStart = [] {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}();

void AppendOperatingSystem(TFixedText& out) {
  utsname name{};
  out.Append("Operating system: ");
  if (uname(&name) == 0) {
    out.Append(name.sysname).Append(" ").Append(name.release).Append(" ").Append(name.version);
    out.Append(" ").Append(name.machine);
  }
  out.Append(kCrLf);
}

// Resident size of the process in KB, from /proc/self/statm; 0 when unknown.
uint64_t ResidentKb() {
  const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  const ssize_t size = read(fd, text, sizeof text - 1);
  close(fd);
  if (size <= 0) return 0;
  text[size] = '\0';
  // The second number is the resident page count.
  const char* at = text;
  while (*at != '\0' && *at != ' ') ++at;
  uint64_t pages = 0;
  while (*at == ' ') ++at;
  while (*at >= '0' && *at <= '9') pages = pages * 10 + static_cast<uint64_t>(*at++ - '0');
  return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

void AppendMemoryAndUptime(TFixedText& out) {
  out.Append("Memory: process ").AppendUnsigned(ResidentKb()).Append(" KB");
  struct sysinfo info {};
  if (sysinfo(&info) == 0) {
    const uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    out.Append(", system ").AppendUnsigned(info.totalram * unit / (1024 * 1024)).Append(" MB");
    out.Append(", free ").AppendUnsigned(info.freeram * unit / (1024 * 1024)).Append(" MB");
  }
  out.Append(kCrLf);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  out.Append("Uptime: process ")
      .AppendUnsigned(static_cast<uint64_t>(now.tv_sec - kProcessStart.tv_sec));
  out.Append(" s");
  timespec boot{};
  if (clock_gettime(CLOCK_BOOTTIME, &boot) == 0) {
    const uint64_t seconds = static_cast<uint64_t>(boot.tv_sec);
    out.Append(", system ").AppendUnsigned(seconds / 86400).Append(" days ");
    out.AppendPadded(seconds / 3600 % 24, 2).Append(":").AppendPadded(seconds / 60 % 60, 2);
    out.Append(":").AppendPadded(seconds % 60, 2);
  }
  out.Append(kCrLf);
}

void AppendApplication(TFixedText& out) {
  char exe[512];
  const ssize_t size = readlink("/proc/self/exe", exe, sizeof exe - 1);
  exe[size > 0 ? size : 0] = '\0';
  out.Append("Application:").Append(kCrLf);
  out.Append("  File: ").Append(exe).Append(kCrLf);
  out.Append("  Version: ").Append(ApplicationVersionText()).Append(kCrLf);
}

int AppendModule(dl_phdr_info* info, size_t, void* data) {
  auto* out = static_cast<TFixedText*>(data);
  const char* name = info->dlpi_name;
  if (name == nullptr || name[0] == '\0') name = "(program)";
  out->Append("  ").AppendHex(info->dlpi_addr, 16).Append(" ").Append(name).Append(kCrLf);
  return 0;
}

void AppendModules(TFixedText& out) {
  out.Append("Modules:").Append(kCrLf);
  dl_iterate_phdr(AppendModule, &out);
}

void AppendRawFrame(void* data, uintptr_t address, const char* function, const char* file_name,
                    int line) {
  auto* out = static_cast<TFixedText*>(data);
  out->Append("  ").AppendHex(address, 16).Append(" ").Append(function ? function : "?");
  if (file_name != nullptr || line != 0) {
    out->Append(" ")
        .Append(BaseFileName(file_name))
        .Append(":")
        .AppendUnsigned(static_cast<uint64_t>(line));
  }
  out->Append(kCrLf);
}

// The report's text after its call stack.
std::string ReportTail() {
  static thread_local char buffer[16384];
  TFixedText tail(buffer, sizeof buffer);
  AppendModules(tail);
  AppendApplication(tail);
  AppendOperatingSystem(tail);
  AppendMemoryAndUptime(tail);
  return std::string(tail.Data(), tail.Size());
}

// Kept in a fixed buffer so that the signal report can read it.
char g_version[64];

}  // namespace

void SetApplicationVersionText(const std::string& version) {
  const size_t length =
      version.size() < sizeof g_version - 1 ? version.size() : sizeof g_version - 1;
  for (size_t i = 0; i < length; ++i) g_version[i] = version[i];
  g_version[length] = '\0';
}

const char* ApplicationVersionText() {
  return g_version;
}

std::string ThrownClassName(const std::exception_ptr& object) {
  if (!object) return {};
  const std::type_info* type = object.__cxa_exception_type();
  if (type == nullptr) return {};
  int status = 0;
  char* plain = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
  if (plain == nullptr) return type->name();
  std::string result = plain;
  std::free(plain);
  return result;
}

std::string BuildFullReport(const TEurekaExceptionRecord& record, const std::string& class_name,
                            const std::string& message) {
  std::string text = "Exception:";
  text += kCrLf;
  text += "  Class: " + class_name + kCrLf;
  text += "  Message: " + message + kCrLf;
  if (record.ExceptionRecord) {
    char buffer[64];
    TFixedText code(buffer, sizeof buffer);
    code.Append("  Code: ").AppendHex(record.ExceptionRecord->ExceptionCode, 8).Append(" at ");
    code.AppendHex(record.ExceptionRecord->ExceptionAddress, 16);
    text += std::string(code.Data(), code.Size()) + kCrLf;
  }
  text += "Thread: " + std::to_string(record.ThreadID) + kCrLf;
  text += "Call stack:";
  text += kCrLf;
  if (record.CallStack) {
    for (const TStackFrame& frame : record.CallStack->Resolve()) {
      char buffer[32];
      TFixedText address(buffer, sizeof buffer);
      address.AppendHex(frame.Address, 16);
      text += "  " + std::string(address.Data(), address.Size()) + " " +
              (frame.Function.empty() ? std::string("?") : frame.Function);
      if (!frame.FileName.empty() || frame.Line != 0) {
        text += std::string(" ") + BaseFileName(frame.FileName.c_str()) + ":" +
                std::to_string(frame.Line);
      }
      text += kCrLf;
    }
  }
  text += ReportTail();
  return text;
}

void AppendSignalMessage(TFixedText& out, const TFatalSignalRecord& record) {
  if (record.Signal == SIGSEGV || record.Signal == SIGBUS) {
    out.Append("Access violation at address ").AppendHex(record.Pc, 16);
    out.Append(". Access of address ").AppendHex(record.FaultAddress, 16);
  } else {
    out.Append("External exception ").AppendHex(record.ExceptionCode, 8);
    out.Append(" at address ").AppendHex(record.Pc, 16);
  }
  out.Append(" (signal ").AppendUnsigned(static_cast<uint64_t>(record.Signal)).Append(")");
}

void AppendSignalReport(TFixedText& out, const TFatalSignalRecord& record) {
  out.Append("Exception:").Append(kCrLf);
  out.Append("  Class: ").Append(SignalExceptionClass(record.Signal)).Append(kCrLf);
  out.Append("  Message: ");
  AppendSignalMessage(out, record);
  out.Append(kCrLf);
  out.Append("  Code: ").AppendHex(record.ExceptionCode, 8).Append(" at ").AppendHex(record.Pc, 16);
  out.Append(kCrLf);
  out.Append("Thread: ").AppendUnsigned(record.ThreadID).Append(kCrLf);
  out.Append("Call stack:").Append(kCrLf);
  for (size_t i = 0; i < record.Count; ++i)
    ResolveAddressRaw(record.Addresses[i], AppendRawFrame, &out);
  AppendModules(out);
  AppendApplication(out);
  AppendOperatingSystem(out);
  AppendMemoryAndUptime(out);
}

}  // namespace crashreport
