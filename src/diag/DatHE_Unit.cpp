// Writing one entry of the activity log.
//
// WriteEntry, in order:
//   1. the log file's name (GetLogFileName);
//   2. at the first entry of the process, and whenever SizeEstimate has
//      reached 3,000,000, the file's real size is looked up and a file of
//      3,000,000 bytes or more is moved aside (RotateLogFile);
//   3. the file is opened for appending (created when missing), the entry
//      composed for it (whether it existed decides the leading empty line)
//      and appended with one write, and the file is closed;
//   4. when the file in the Logs folder cannot be opened, the entry goes to
//      the file of the same name in the program's folder (never rotated),
//      and when that cannot be opened either it is dropped.
// SizeEstimate counts ProcName, Text and 100 per entry; the size on disk is
// asked for only at the checks of step 2.
//
// A full entry:
//   (empty line, when the file existed)
//   [dd/mm/yyyy hh:mm:ss:zzz vW.X.Y.Z  ** ddmmyyyy_hhmmss_T_R  ]
//   (empty line, the environment block, empty line: first full entry only)
//   Sender_Class=... (Sender_Name, Sender_Info, Sender_Parent)   when a Sender is given
//   Exception_Class=... / Exception_Msg=...   when an exception is given
//   Proc_Name=<ProcName>                 when ProcName is not empty
//   <Text>                               when Text is not empty
//   Forms_E=<the screen dump>            when an exception is given
// A continuation entry (ProcName is the last ProcName followed by "3", into
// an existing file) skips the header, the environment block and the sender
// lines. A plain line is preceded by an empty line only when it follows a
// full entry in an existing file. Every line ends with CR LF; texts holding
// line breaks are written as they are.
#include "diag/DatHE_Unit.h"

#include <algorithm>
#include <random>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "crashreport/qt/EventLoopAdapter.h"
#include "platform/Platform.h"

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kLogTimePattern = "dd/mm/yyyy hh:mm:ss:zzz";

std::unique_ptr<THandleExceptions>& Writer() {
  static std::unique_ptr<THandleExceptions> writer;
  return writer;
}

// A number from 0 to 999,999 that tells apart processes started in the same
// second.
int RandomInstanceNumber() {
  try {
    std::mt19937 generator(std::random_device{}());
    return std::uniform_int_distribution<int>(0, 999999)(generator);
  } catch (...) {
    // No random device: the clock still gives a number that varies.
    return static_cast<int>(platform::GetTickCount() % 1000000u);
  }
}

int32_t AddToEstimate(int32_t estimate, size_t proc_name, size_t text) {
  const int64_t sum = static_cast<int64_t>(estimate) + static_cast<int64_t>(proc_name) +
                      static_cast<int64_t>(text) + 100;
  return static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
}

}  // namespace

std::string UserLogFileName(const std::string& Name) {
  return "UserLog_" + Name + ".TXT";
}

THandleExceptions::THandleExceptions() {
  const TFileVerInfo version = GetFileVerInfo(GetModuleName());
  if (!IsFileVerInfoEmpty(version)) VersionText = " v" + version.VersionText;
}

std::string THandleExceptions::GetLogFileName(const std::string& LogName) {
  return GetLogsPath() + UserLogFileName(RemoveInvalidFileChars(LogName));
}

void THandleExceptions::RotateLogFile(const std::string& Path) {
  MoveFileIfSizeAtLeast(Path, MakeTimeStampedFileName(Path, GetFileDatePattern(true)),
                        kLogRotateSize);
}

const std::string& THandleExceptions::GetInstanceId() {
  if (InstanceId.empty()) {
    InstanceId = " ** " + FormatDateTime("ddmmyyyy_hhmmss", Now()) + "_" +
                 IntToStr(platform::MainThreadId()) + "_" + IntToStr(RandomInstanceNumber());
  }
  return InstanceId;
}

std::string THandleExceptions::ComposeEntry(const TDatHERecType& Rec, bool Existed,
                                            uint32_t LastError) {
  std::string out;
  try {
    GetInstanceId();  // made at the first entry of either kind
    if (Rec.PlainLine) {
      if (Existed && AfterFullEntry) out += kCrLf;
      AfterFullEntry = false;
      if (Rec.WithTime) out += FormatDateTime(kLogTimePattern, Rec.Time) + " - ";
      out += Rec.ProcName + kCrLf;
      return out;
    }
    if (Existed) out += kCrLf;
    AfterFullEntry = true;
    const bool continuation =
        !Rec.ProcName.empty() && Existed && Rec.ProcName == LastProcName + "3";
    if (!continuation) {
      out += "[" + FormatDateTime(kLogTimePattern, Rec.Time) + VersionText + " " + InstanceId +
             " " + " " + "]" + kCrLf;
      if (EnvironmentText.empty()) {
        EnvironmentText = BuildEnvironmentText();
        out += kCrLf + EnvironmentText + kCrLf + kCrLf;
      }
      if (Rec.Sender || !Rec.SenderClass.empty())
        WriteSenderBlock(out, Rec.Sender, Rec.SenderClass);
    }
    if (Rec.E) WriteExceptionBlock(out, *Rec.E, LastError);
    if (!Rec.ProcName.empty()) out += MakeKeyValue("Proc_Name", Rec.ProcName) + kCrLf;
    if (!Rec.Text.empty()) out += Rec.Text + kCrLf;
    if (Rec.E) out += MakeKeyValue("Forms_E", GetScreenInfo()) + kCrLf;
  } catch (...) {
    // The rest of the entry is dropped; what was composed is still written.
  }
  return out;
}

bool THandleExceptions::AppendEntry(const std::string& Path, const TDatHERecType& Rec,
                                    uint32_t LastError) {
  platform::AppendFile file;
  bool existed = false;
  if (!file.Open(Path, existed)) return false;
  SizeEstimate = AddToEstimate(SizeEstimate, Rec.ProcName.size(), Rec.Text.size());
  // A failed write or close is not reported: the entry is lost, as a log
  // entry that cannot be written must be, and the caller goes on.
  file.Append(ComposeEntry(Rec, existed, LastError));
  file.Close();
  return true;
}

void THandleExceptions::WriteEntry(const TDatHERecType& Rec) {
  const int last_error = platform::GetLastError();
  try {
    const std::string file_name = UserLogFileName(RemoveInvalidFileChars(LogName));
    bool written = false;
    try {
      const std::string path = GetLogFileName(LogName);
      if (SizeEstimate == 0 || SizeEstimate >= kLogRotateSize) {
        RotateLogFile(path);
        SizeEstimate = 0;
      }
      written = AppendEntry(path, Rec, static_cast<uint32_t>(last_error));
    } catch (...) {
      written = false;  // the Logs folder could not be used: the fallback below takes the entry
    }
    if (!written) AppendEntry(GetModulePath() + file_name, Rec, static_cast<uint32_t>(last_error));
  } catch (...) {
    // Logging never raises to the code that logs; the entry is dropped.
  }
  LastProcName = Rec.ProcName;
  platform::SetLastError(last_error);
}

// ---------------------------------------------------------------- the process's writer

void InitLog() {
  InitLogHandler(MakeModuleFileName("", ""));
}

void InitLogHandler(const std::string& LogName) {
  std::unique_ptr<THandleExceptions>& writer = Writer();
  if (!writer) {
    writer = std::make_unique<THandleExceptions>();
    writer->LogName = LogName;
    writer->LastProcName.clear();
    // Exceptions that escape an event reach the log from now on.
    TEventLoopApplication::SetAppExceptionHandler(
        [](QObject* receiver, const std::exception* e) { HandleAppException(receiver, e); });
  }
  if (writer->LogName != LogName) writer->LogName = LogName;
}

THandleExceptions* GetHandleExceptions() {
  return Writer().get();
}

void FreeLogHandler() {
  Writer().reset();
}

// ---------------------------------------------------------------- entry points

namespace {

void Write(const TDatHERecType& rec) {
  THandleExceptions* writer = GetHandleExceptions();
  if (!writer) return;
  writer->WriteEntry(rec);
}

}  // namespace

void WriteLog(const QObject* Sender, const std::string& ProcName, const std::string& Text,
              const std::exception* E) {
  try {
    TDatHERecType rec;
    rec.Time = Now();
    rec.ProcName = ProcName;
    rec.Text = Text;
    rec.E = E;
    rec.Sender = Sender;
    Write(rec);
  } catch (...) {
    // Logging never raises to the code that logs.
  }
}

void WriteLog(const std::string& ProcName, const std::string& Text) {
  WriteLog(nullptr, ProcName, Text, nullptr);
}

void WriteLogLine(const std::string& Text) {
  try {
    TDatHERecType rec;
    rec.ProcName = Text;
    rec.PlainLine = true;
    Write(rec);
  } catch (...) {
    // Logging never raises to the code that logs.
  }
}

void WriteLogTimedLine(const std::string& Text) {
  try {
    TDatHERecType rec;
    rec.Time = Now();
    rec.ProcName = Text;
    rec.PlainLine = true;
    rec.WithTime = true;
    Write(rec);
  } catch (...) {
    // Logging never raises to the code that logs.
  }
}
