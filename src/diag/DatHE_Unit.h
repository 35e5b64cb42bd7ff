// The activity log: the lasting record of every run.
//
// Every part of the program reports what it does, and every failure it
// catches, by appending entries to one text file named after the program,
// "UserLog_<program>.TXT" in the installation's Logs folder. The file is
// opened, appended to and closed for every entry, so it is complete up to
// the last entry even when the process is killed, and it is moved aside to a
// time-stamped name once it has grown to 3,000,000 bytes.
//
// A full entry is a bracketed header line (time with milliseconds, program
// version, instance id), then name=value lines and free text; the first full
// entry of a process also writes the environment block (system, user,
// uptime, folders, locale settings). A plain line is one line of text,
// optionally preceded by the time.
//
// The writer is the process's single THandleExceptions object, made by
// InitLog. The entry points do nothing before it exists and never raise.
// The writer takes no lock: it is used from the user-interface thread, and
// from the crash reporter's watchdog only while that thread is held still.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "common/DatGenDateTime.h"

class QObject;

// One entry, as the entry points hand it to WriteEntry. It lives on the
// caller's stack for one call; the writer keeps no reference to it.
struct TDatHERecType {
  TDateTime Time = 0;                 // when the entry was made (local time)
  std::string ProcName;               // full entry: the tag; plain line: the whole line
  std::string Text;                   // full entry: free text, may span lines; plain line: empty
  const std::exception* E = nullptr;  // the exception being reported, if any
  const QObject* Sender = nullptr;    // the object the entry is written for, if any
  std::string SenderClass;            // the class of a Sender that is no component (no QObject)
  bool PlainLine = false;             // a plain line rather than a full entry
  bool WithTime = false;              // plain line: the time goes in front
};

class THandleExceptions {
 public:
  // Reads the program file's version for the headers; everything else starts
  // empty.
  THandleExceptions();
  virtual ~THandleExceptions() = default;

  THandleExceptions(const THandleExceptions&) = delete;
  THandleExceptions& operator=(const THandleExceptions&) = delete;

  // The full name of the log file for `LogName`: the Logs folder +
  // UserLogFileName(LogName without the characters a file name may not hold).
  virtual std::string GetLogFileName(const std::string& LogName);

  // Writes one entry. Never raises: when the Logs folder cannot take it, the
  // entry goes to the file of the same name in the program's folder, and when
  // that fails too it is dropped. Leaves the thread's last error as it was.
  void WriteEntry(const TDatHERecType& Rec);

  // Moves the log at `Path` aside to its time-stamped name when it has
  // 3,000,000 bytes or more; a failed move is ignored.
  void RotateLogFile(const std::string& Path);

  std::string InstanceId;  // " ** ddmmyyyy_hhmmss_<main thread>_<random>", made at the first entry
  std::string FirstWriteText;   // " FirstWrite ddmmyyyy_hhmmss ", made with the environment block
  std::string EnvironmentText;  // the environment block, made at the first full entry
  bool AfterFullEntry = false;  // the last entry written was a full entry
  std::string VersionText;      // " v" + the program's version, or empty without one
  std::string LogName;          // base name of the log file
  std::string LastProcName;     // ProcName of the last entry
  int32_t SizeEstimate = 0;     // bytes added since the last size check, estimated

 protected:
  // The lines of a full entry that describe its Sender and its exception.
  // LastError is the thread's last error code when the entry was asked for.
  virtual void WriteSenderBlock(std::string& Out, const QObject* Sender,
                                const std::string& SenderClass);
  virtual void WriteExceptionBlock(std::string& Out, const std::exception& E, uint32_t LastError);

 private:
  // The bytes of one entry for a file that `Existed` or not, updating the
  // writer's state as it goes. Stops where a failure happens and gives what
  // was composed until then.
  std::string ComposeEntry(const TDatHERecType& Rec, bool Existed, uint32_t LastError);

  // Opens `Path` for appending, composes the entry and writes it; false when
  // the file cannot be opened.
  bool AppendEntry(const std::string& Path, const TDatHERecType& Rec, uint32_t LastError);

  const std::string& GetInstanceId();
  std::string BuildEnvironmentText();
};

// "UserLog_" + Name + ".TXT".
std::string UserLogFileName(const std::string& Name);

// The log's size limit: a file this large is moved aside.
inline constexpr int32_t kLogRotateSize = 3000000;

// ---------------------------------------------------------------- the process's writer

// Starts the activity log under the program's own name (its file name without
// folder and extension).
void InitLog();

// Makes the process's writer if there is none, then gives it `LogName`.
void InitLogHandler(const std::string& LogName);

// The process's writer, or null before InitLogHandler.
THandleExceptions* GetHandleExceptions();

// Destroys the process's writer (at program end); nothing is written.
void FreeLogHandler();

// ---------------------------------------------------------------- entry points (never raise)

// A full entry: now, the given Sender, tag, text and exception.
void WriteLog(const QObject* Sender, const std::string& ProcName, const std::string& Text,
              const std::exception* E);

// A full entry without Sender and exception.
void WriteLog(const std::string& ProcName, const std::string& Text);

// A plain line without time, and one with the time in front.
void WriteLogLine(const std::string& Text);
void WriteLogTimedLine(const std::string& Text);

// ---------------------------------------------------------------- the exception reporter
//
// The lines of a full entry that describe its Sender, its exception and the
// screen, and the application's handler for exceptions that escape an event.
// None of these raises.

// " Unit - <unit of Sender's class>." when the class records one, then, for
// a control, " Form - <unit of its form's class>.<form name>-><form class>".
std::string GetSenderInfo(const QObject* Sender);

// " <name> <class>" of the nearest named control above a control; empty
// otherwise.
std::string GetParentInfo(const QObject* Sender);

// The unit the class of `Obj` records (Q_CLASSINFO "Unit" of the class
// itself, not of a base class); empty when none.
std::string GetClassUnitName(const QObject* Obj);

// "SQLText:" CR LF + the statement's lines of the query that raised the
// engine error E, found by its owner among the open forms, then among the
// open data modules; empty when not found or not loggable.
std::string GetErrorSqlText(const std::exception& E);
std::string FindQuerySql(const std::string& OwnerName, const std::string& ComponentName);

// False for a statement that mentions "SysPM" (in any case).
bool IsSqlLoggable(const std::string& SQL);

// The value of the "Forms_E" line: the form count, the active form and
// control, then one line per open form (at most 100). Empty when called
// off the user-interface thread, whose widgets only that thread may read.
std::string GetScreenInfo();

// The application's handler for an exception that escaped an event: writes
// a full entry with Sender and E. Shows nothing.
void HandleAppException(QObject* Sender, const std::exception* E);

// False only for the engine's error 5041.
bool NeedsExceptionMessage(const std::exception& E);

// The program file's name without folder and extension.
std::string GetExeBaseName();

// The open data modules, in the order they were made. A data module
// registers itself when made and unregisters when destroyed.
void RegisterDataModule(QObject* DataModule);
void UnregisterDataModule(QObject* DataModule);
std::vector<QObject*> OpenDataModules();

// ---------------------------------------------------------------- environment texts

// "TC: " + days, hours:minutes:seconds(milliseconds) and the raw count, from
// a millisecond tick count read as unsigned 32-bit.
std::string TickCountText(uint32_t TickCount);

// The process's user name and the computer's name; empty when the system
// cannot give them.
std::string GetUserNameText();
std::string GetComputerNameText();
