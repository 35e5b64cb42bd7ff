// THEMgr: the crash-report manager, the program's layer over the
// crash-report library.
//
// At start-up it picks the diagnostics level from switch files in DBSys:
//   level 3  UserLog_VorlexSystem3.TXT, its generic name UserLog_CRMSystem3.TXT,
//            or UserLog_CRMSystem3_<module>.TXT;
//   level 2  the same three names with "System2";
//   level 1  none of them.
// It then attaches its handlers to the library's events: every unhandled
// exception (a freeze report included) is logged as "GenUnHndExp <level>"
// with the bare call stack at level 1 and the library's full report at
// levels 2 and 3, and the operator sees the recorded-message dialog for it
// (on the user-interface thread only). At level 3 the exceptions the
// program's own handlers catch are logged too ("GenHndExp 3"), and freeze
// detection runs with the timeout of the level-3 file ("GEN",
// "FreezeTimeout", 120 seconds by default).
//
// A fatal signal is logged by a handler of its own that is safe in a signal
// handler: the same entry, without dialog and with an empty screen line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crashreport/EurekaLog.h"

class THEMgr {
 public:
  THEMgr() = default;
  ~THEMgr();
  THEMgr(const THEMgr&) = delete;
  THEMgr& operator=(const THEMgr&) = delete;

  // Sets up the level and the handlers on `Component`, or on a component of
  // its own when none is given. Once, right after InitLog.
  void InitEurekaLog(TEurekaLog* Component);

  // Sets SwitchFilePath and DiagLevel from the switch files.
  void FindDiagLevel();

  // Level 3: handled exceptions reported, freeze detection on with the
  // timeout of the switch file.
  void EnableFullDiagnostics(TEurekaLog& Component);

  void EurekaExceptionNotify(TEurekaExceptionRecord& Record, bool& Handled);
  void EurekaHandledExceptionNotify(TEurekaExceptionRecord& Record, bool& Handled);
  void HandleEurekaEvent(const std::string& Name, TEurekaExceptionRecord& Record, bool& Handled);

  // "GenUnHndExp": shown and logged; "GenHndExp": logged at level 3 only;
  // anything else: neither.
  static void GetEventPolicy(int32_t Level, const std::string& Name, bool& ShowMessage,
                             bool& DoLog);

  // The entry's report: the call stack's lines at level 1, the library's
  // full report otherwise, then the thread information.
  static std::string BuildReportText(int32_t Level, const std::string& Name,
                                     const TEurekaExceptionRecord& Record);

  // CR LF "ExceptionThreadID: <id>" CR LF, then "Win32ExceptionRecord: <code>"
  // CR LF when the record has a system exception record.
  static std::string ThreadInfoText(const TEurekaExceptionRecord& Record);

  std::string SwitchFilePath;
  int32_t DiagLevel = 0;
  std::unique_ptr<TEurekaLog> OwnEurekaLog;

 private:
  // Copies what the fatal-signal entry needs (file names, header parts,
  // separators) into fixed buffers while allocating is still allowed.
  void PrepareFatalSignalEntry();
  static void FatalSignalNotify(const TFatalSignalRecord& Record, void* Data, bool& Handled);
};

// The folder + name of a known diagnostics file: the level switch files are
// in DBSys; any other name gives an empty text.
std::string GetKnownLogFilePath(const std::string& FileName);

// The process's manager: made at program initialization, before the main
// window; destroyed at program end.
void CreateHEMgr();
THEMgr* GetHEMgr();
void FreeHEMgr();
