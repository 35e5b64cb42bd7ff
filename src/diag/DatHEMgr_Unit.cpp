#include "diag/DatHEMgr_Unit.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QThread>
#include <cerrno>
#include <ctime>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenIniFile.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "crashreport/Report.h"
#include "crashreport/SignalSafeText.h"
#include "diag/DatHECallStack_Unit.h"
#include "diag/DatHE_Unit.h"
#include "diag/DatHE_Unit_Message.h"
#include "platform/Platform.h"

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kUnhandledEvent = "GenUnHndExp";
constexpr const char* kHandledEvent = "GenHndExp";
constexpr const char* kLevel3Switch = "VorlexSystem3";
constexpr const char* kLevel2Switch = "VorlexSystem2";
constexpr int kDefaultFreezeTimeout = 120;

std::unique_ptr<THEMgr>& Manager() {
  static std::unique_ptr<THEMgr> manager;
  return manager;
}

bool OnUserInterfaceThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

// What the fatal-signal entry needs, copied while allocating is allowed.
struct TFatalEntry {
  char log_path[1024] = {};
  char fallback_path[1024] = {};
  char version[64] = {};
  int32_t level = 0;
  long utc_offset = 0;  // seconds east of UTC when the manager was set up
  char date_separator = '/';
  char time_separator = ':';
};
TFatalEntry g_fatal_entry;
char g_fatal_text[128 * 1024];

void CopyText(char* target, size_t capacity, const std::string& text) {
  const size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
  text.copy(target, length);
  target[length] = '\0';
}

// "dd/mm/yyyy hh:mm:ss:zzz" of the current local time, by arithmetic only.
void AppendLogTime(crashreport::TFixedText& out) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const int64_t local = static_cast<int64_t>(now.tv_sec) + g_fatal_entry.utc_offset;
  int64_t days = local / 86400;
  int64_t seconds = local % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  const char date[2] = {g_fatal_entry.date_separator, '\0'};
  const char time[2] = {g_fatal_entry.time_separator, '\0'};
  out.AppendPadded(static_cast<uint64_t>(day), 2)
      .Append(date)
      .AppendPadded(static_cast<uint64_t>(month), 2);
  out.Append(date).AppendUnsigned(static_cast<uint64_t>(year)).Append(" ");
  out.AppendPadded(static_cast<uint64_t>(seconds / 3600), 2).Append(time);
  out.AppendPadded(static_cast<uint64_t>(seconds / 60 % 60), 2).Append(time);
  out.AppendPadded(static_cast<uint64_t>(seconds % 60), 2).Append(time);
  out.AppendPadded(static_cast<uint64_t>(now.tv_nsec / 1000000), 3);
}

}  // namespace

// ---------------------------------------------------------------- the level

std::string GetKnownLogFilePath(const std::string& FileName) {
  for (const char* name : {kLevel3Switch, kLevel2Switch}) {
    if (SameText(FileName, UserLogFileName(name))) return GetDBSysPath() + FileName;
  }
  return {};
}

void THEMgr::FindDiagLevel() {
  const std::string module = ChangeFileExt(ExtractFileName(GetModuleName()), "");
  std::string first;
  std::string resolved;
  bool first_lookup = true;
  auto lookup = [&](const std::string& name) {
    const bool found = ResolveFileName(name, true, resolved);
    if (first_lookup) first = resolved;
    first_lookup = false;
    return found;
  };
  // A switch file under its own or generic name, then the generic name's
  // variant for this module.
  auto find_level = [&](const char* switch_name) {
    if (lookup(GetKnownLogFilePath(UserLogFileName(switch_name)))) return true;
    const std::string variant =
        ChangeFileExt(resolved, "") + "_" + module + ExtractFileExt(resolved);
    return lookup(variant);
  };
  if (find_level(kLevel3Switch)) {
    DiagLevel = 3;
  } else if (find_level(kLevel2Switch)) {
    DiagLevel = 2;
  } else {
    DiagLevel = 1;
    resolved = first;
  }
  SwitchFilePath = resolved;
}

// ---------------------------------------------------------------- set-up

THEMgr::~THEMgr() {
  // The watchdog reports through this manager: it stops first.
  if (DiagLevel == 3) CurrentEurekaLogOptions().SetFreezeActivate(false);
}

void THEMgr::InitEurekaLog(TEurekaLog* Component) {
  if (Component == nullptr) {
    OwnEurekaLog = std::make_unique<TEurekaLog>();
    Component = OwnEurekaLog.get();
  }
  FindDiagLevel();
  Component->OnExceptionNotify = [this](TEurekaExceptionRecord& record, bool& handled) {
    EurekaExceptionNotify(record, handled);
  };
  PrepareFatalSignalEntry();
  Component->OnFatalSignalNotify = &THEMgr::FatalSignalNotify;
  Component->FatalSignalData = this;
  if (DiagLevel == 3) EnableFullDiagnostics(*Component);
  if (DiagLevel > 1) WriteLog("***** InitEurekaLog ***** ", IntToStr(DiagLevel));
}

void THEMgr::EnableFullDiagnostics(TEurekaLog& Component) {
  const TIniFile switch_file(SwitchFilePath);
  Component.OnHandledExceptionNotify = [this](TEurekaExceptionRecord& record, bool& handled) {
    EurekaHandledExceptionNotify(record, handled);
  };
  TEurekaLogOptions& options = CurrentEurekaLogOptions();
  options.SetBehaviourOptions(options.BehaviourOptions() | boReportHandledExceptions);
  options.SetFreezeTimeout(switch_file.ReadInteger("GEN", "FreezeTimeout", kDefaultFreezeTimeout));
  options.SetFreezeActivate(true);
}

// ---------------------------------------------------------------- the events

void THEMgr::EurekaExceptionNotify(TEurekaExceptionRecord& Record, bool& Handled) {
  HandleEurekaEvent(kUnhandledEvent, Record, Handled);
}

void THEMgr::EurekaHandledExceptionNotify(TEurekaExceptionRecord& Record, bool& Handled) {
  HandleEurekaEvent(kHandledEvent, Record, Handled);
}

void THEMgr::GetEventPolicy(int32_t Level, const std::string& Name, bool& ShowMessage,
                            bool& DoLog) {
  ShowMessage = false;
  DoLog = false;
  if (Name == kUnhandledEvent) {
    ShowMessage = true;
    DoLog = true;
  } else if (Name == kHandledEvent) {
    DoLog = Level == 3;
  }
}

void THEMgr::HandleEurekaEvent(const std::string& Name, TEurekaExceptionRecord& Record,
                               bool& Handled) {
  Handled = true;
  try {
    bool show_message = false;
    bool do_log = false;
    GetEventPolicy(DiagLevel, Name, show_message, do_log);
    const std::exception* e = Record.Exception;
    if (do_log) {
      const std::string report = BuildReportText(DiagLevel, Name, Record);
      WriteLog(nullptr, Name + " " + IntToStr(DiagLevel), kCrLf + report + kCrLf, e);
    }
    // A freeze is reported from the watchdog's thread, which shows nothing.
    if (show_message && e != nullptr && OnUserInterfaceThread()) ShowExceptionMessage(*e);
  } catch (...) {
    // The report stays handled; the library must not report it again.
  }
}

std::string THEMgr::BuildReportText(int32_t Level, const std::string&,
                                    const TEurekaExceptionRecord& Record) {
  std::string body = Level == 1 ? CallStackToText(Record.CallStack.get()) : Record.LogText;
  const std::string thread = ThreadInfoText(Record);
  if (!thread.empty()) body += kCrLf + thread;
  return body;
}

std::string THEMgr::ThreadInfoText(const TEurekaExceptionRecord& Record) {
  std::string text;
  try {
    text = kCrLf + std::string("ExceptionThreadID: ") + std::to_string(Record.ThreadID) + kCrLf;
    if (Record.ExceptionRecord) {
      text +=
          "Win32ExceptionRecord: " + std::to_string(Record.ExceptionRecord->ExceptionCode) + kCrLf;
    }
  } catch (...) {
    // What was built is the answer.
  }
  return text;
}

// ---------------------------------------------------------------- fatal signals
//
// The entry of a fatal signal, composed in a fixed buffer and appended with
// one write:
//   (empty line, when the log exists)
//   [dd/mm/yyyy hh:mm:ss:zzz vW.X.Y.Z  ** <instance id>  ]
//   Exception_Class=EAccessViolation <errno>
//   Exception_Msg=Access violation at address ... (signal 11)
//   Proc_Name=GenUnHndExp <level>
//   (the report as HandleEurekaEvent writes it: the stack's lines or the
//   full report, then ExceptionThreadID and Win32ExceptionRecord)
//   Forms_E=
// The screen line stays empty: widgets cannot be read in a signal handler.

void THEMgr::PrepareFatalSignalEntry() {
  THandleExceptions* writer = GetHandleExceptions();
  g_fatal_entry.level = DiagLevel;
  if (writer != nullptr) {
    CopyText(g_fatal_entry.log_path, sizeof g_fatal_entry.log_path,
             writer->GetLogFileName(writer->LogName));
    CopyText(g_fatal_entry.fallback_path, sizeof g_fatal_entry.fallback_path,
             GetModulePath() + UserLogFileName(RemoveInvalidFileChars(writer->LogName)));
    CopyText(g_fatal_entry.version, sizeof g_fatal_entry.version, writer->VersionText);
  }
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  g_fatal_entry.utc_offset = local.tm_gmtoff;
  const platform::LocaleSettings locale = platform::GetLocaleSettings();
  g_fatal_entry.date_separator = locale.DateSeparator;
  g_fatal_entry.time_separator = locale.TimeSeparator;
  CurrentEurekaLogOptions().SetApplicationVersion(
      writer != nullptr && writer->VersionText.size() > 2 ? writer->VersionText.substr(2)
                                                          : std::string());
}

void THEMgr::FatalSignalNotify(const TFatalSignalRecord& Record, void*, bool& Handled) {
  const int last_error = errno;
  if (g_fatal_entry.log_path[0] == '\0') return;  // no log: the library's own report goes to stderr
  crashreport::TFixedText out(g_fatal_text, sizeof g_fatal_text);
  const char* path = g_fatal_entry.log_path;
  if (access(path, W_OK) != 0 && access(path, F_OK) == 0) path = g_fatal_entry.fallback_path;
  if (access(path, F_OK) == 0) out.Append(kCrLf);
  out.Append("[");
  AppendLogTime(out);
  out.Append(g_fatal_entry.version).Append(" ");
  // The writer as it is at the fault: gone after the log was closed.
  const THandleExceptions* writer = GetHandleExceptions();
  if (writer == nullptr) return;
  out.Append(writer->InstanceId.c_str());
  out.Append("  ]").Append(kCrLf);
  out.Append("Exception_Class=")
      .Append(crashreport::SignalExceptionClass(Record.Signal))
      .Append(" ");
  out.AppendUnsigned(static_cast<uint32_t>(last_error)).Append(kCrLf);
  out.Append("Exception_Msg=");
  crashreport::AppendSignalMessage(out, Record);
  out.Append(kCrLf);
  out.Append("Proc_Name=").Append(kUnhandledEvent).Append(" ");
  out.AppendUnsigned(static_cast<uint64_t>(g_fatal_entry.level)).Append(kCrLf);
  out.Append(kCrLf);
  if (g_fatal_entry.level == 1) {
    AppendCallStackTextSignalSafe(out, Record.Addresses, Record.Count);
  } else {
    crashreport::AppendSignalReport(out, Record);
  }
  out.Append(kCrLf)
      .Append(kCrLf)
      .Append("ExceptionThreadID: ")
      .AppendUnsigned(Record.ThreadID)
      .Append(kCrLf);
  out.Append("Win32ExceptionRecord: ").AppendUnsigned(Record.ExceptionCode).Append(kCrLf);
  out.Append(kCrLf).Append(kCrLf);
  out.Append("Forms_E=").Append(kCrLf);
  Handled = true;
  if (!crashreport::AppendToFileSignalSafe(path, out.Data(), out.Size())) {
    crashreport::AppendToFileSignalSafe(g_fatal_entry.fallback_path, out.Data(), out.Size());
  }
}

// ---------------------------------------------------------------- the process's manager

void CreateHEMgr() {
  if (!Manager()) Manager() = std::make_unique<THEMgr>();
}

THEMgr* GetHEMgr() {
  return Manager().get();
}

void FreeHEMgr() {
  Manager().reset();
}
