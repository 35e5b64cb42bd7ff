// The crash-report manager: the diagnostics level from the switch files, the
// freeze timeout, and the entries and dialogs of the library's events.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "LogFixture.h"
#include "crashreport/EurekaLog.h"
#include "dataset/EADSDatabaseError.h"
#include "diag/DatHECallStack_Unit.h"
#include "diag/DatHEMgr_Unit.h"
#include "diag/DatHE_Unit_Message.h"
#include "ui/ModalSeam.h"

namespace {

using Lines = std::vector<std::string>;

int LineOf(const std::string& marker) {
  std::ifstream source(RI_TEST_SOURCE_DIR "/DatHEMgr_UnitTest.cpp");
  std::string line;
  for (int number = 1; std::getline(source, line); ++number) {
    if (line.find(marker) != std::string::npos && line.find("LineOf") == std::string::npos)
      return number;
  }
  return 0;
}

std::string Join(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

[[noreturn]] void ThrowEngineError(uint32_t code) {
  throw EADSDatabaseError(code, "Error " + std::to_string(code),
                          {"Customers", "", "MainTbl", "DM"});  // engine throw
}

class HEMgrTest : public LogTest {
 protected:
  HEMgrTest() {
    // The watchdog of level 3 looks without waiting, and with the tick
    // count pinned it never sees time pass.
    platform::SetSleepHook([](unsigned) { std::this_thread::yield(); });
    ui::SetModalResponder([this](const ui::ModalRequest& request) {
      Shown.push_back(request.Text);
      return 1;
    });
    WriteLog("", "");  // past the environment block
  }

  ~HEMgrTest() override {
    Manager.reset();
    CurrentEurekaLogOptions().SetFreezeActivate(false);
    CurrentEurekaLogOptions().SetBehaviourOptions(0);
    CurrentEurekaLogOptions().SetFreezeTimeout(120);
    ui::SetModalResponder(nullptr);
    platform::SetSleepHook(nullptr);
  }

  THEMgr& Start(const std::vector<std::pair<std::string, std::string>>& switch_files) {
    for (const auto& [name, content] : switch_files) tree_.WriteFile("DBSys/" + name, content);
    Manager = std::make_unique<THEMgr>();
    Manager->InitEurekaLog(nullptr);
    return *Manager;
  }

  size_t Count(const Lines& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
  }

  std::unique_ptr<THEMgr> Manager;
  std::vector<std::string> Shown;
};

TEST_F(HEMgrTest, LevelFromTheSwitchFiles) {
  struct Case {
    std::vector<std::string> files;
    int level;
    std::string path;  // below DBSys
  };
  for (const Case& c : std::vector<Case>{
           {{}, 1, "UserLog_CRMSystem3.TXT"},
           {{"UserLog_CRMSystem2.TXT"}, 2, "UserLog_CRMSystem2.TXT"},
           {{"UserLog_VorlexSystem2.TXT"}, 2, "UserLog_VorlexSystem2.TXT"},
           {{"UserLog_VorlexSystem3.TXT", "UserLog_VorlexSystem2.TXT"},
            3,
            "UserLog_VorlexSystem3.TXT"},
           {{"UserLog_CRMSystem3_RebuildTool.TXT"}, 3, "UserLog_CRMSystem3_RebuildTool.TXT"},
           {{"UserLog_CRMSystem2_RebuildTool.TXT"}, 2, "UserLog_CRMSystem2_RebuildTool.TXT"},
           {{"UserLog_VorlexSystem3_RebuildTool.TXT"}, 1, "UserLog_CRMSystem3.TXT"},
       }) {
    std::string what;
    for (const std::string& file : c.files) what += file + " ";
    for (const std::string& file : c.files) tree_.WriteFile("DBSys/" + file, "");
    const size_t before = LogLines().size();
    THEMgr manager;
    manager.InitEurekaLog(nullptr);
    EXPECT_EQ(manager.DiagLevel, c.level) << what;
    EXPECT_EQ(manager.SwitchFilePath, tree_.Folder("DBSys") + c.path) << what;
    const Lines start_entry =
        c.level > 1
            ? Lines{"", Header(), "Proc_Name=***** InitEurekaLog ***** ", std::to_string(c.level)}
            : Lines{};
    EXPECT_EQ(LinesAfter(before), start_entry) << what;
    EXPECT_EQ(CurrentEurekaLogOptions().FreezeActivate(), c.level == 3) << what;
    CurrentEurekaLogOptions().SetFreezeActivate(false);
    CurrentEurekaLogOptions().SetBehaviourOptions(0);
    for (const std::string& file : c.files)
      ASSERT_TRUE(platform::DeleteFile(tree_.Folder("DBSys") + file));
  }
}

TEST_F(HEMgrTest, MissingDBSysGivesLevelOne) {
  ASSERT_TRUE(std::filesystem::remove_all(tree_.Folder("DBSys")) > 0);
  EXPECT_EQ(Start({}).DiagLevel, 1);
}

TEST_F(HEMgrTest, FreezeTimeoutOfTheLevelThreeFile) {
  for (const auto& [content, timeout] : std::vector<std::pair<std::string, int>>{
           {"[GEN]\r\nFreezeTimeout=30\r\n", 30},
           {"", 120},
           {"[GEN]\r\nFreezeTimeout=thirty\r\n", 120},
           {"[OTHER]\r\nFreezeTimeout=30\r\n", 120},
       }) {
    tree_.WriteFile("DBSys/UserLog_VorlexSystem3.TXT", content);
    THEMgr manager;
    manager.InitEurekaLog(nullptr);
    TEurekaLogOptions& options = CurrentEurekaLogOptions();
    EXPECT_EQ(options.FreezeTimeout(), timeout) << content;
    EXPECT_TRUE(options.FreezeActivate());
    EXPECT_NE(options.BehaviourOptions() & boReportHandledExceptions, 0u);
    options.SetFreezeActivate(false);
    options.SetBehaviourOptions(0);
  }
}

TEST_F(HEMgrTest, UnhandledExceptionAtLevelOneLogsTheStackAndShowsTheDialog) {
  Start({});
  const size_t before = LogLines().size();
  try {
    ThrowEngineError(7200);
  } catch (...) {
    crashreport::ReportUnhandledException(nullptr);
  }
  const Lines entry = LinesAfter(before);
  const std::string throw_line =
      "DatHEMgr_UnitTest.cpp - " + std::to_string(LineOf("// engine throw"));
  ASSERT_GE(entry.size(), 10u);
  EXPECT_EQ(Lines(entry.begin(), entry.begin() + 9),
            (Lines{"", Header(), "Exception_Class=EADSDatabaseError 0", "Exception_Msg=Error 7200",
                   "EADSDatabaseError = 7200 0 Customers  MainTbl DM", " ",
                   "Proc_Name=GenUnHndExp 1", "", ""}));
  EXPECT_EQ(entry[9], throw_line);
  const auto thread_line =
      std::find(entry.begin(), entry.end(),
                "ExceptionThreadID: " + std::to_string(platform::CurrentThreadId()));
  ASSERT_NE(thread_line, entry.end());
  EXPECT_EQ(Lines(thread_line - 1, entry.end()),
            (Lines{"", "ExceptionThreadID: " + std::to_string(platform::CurrentThreadId()), "", "",
                   "Forms_E=FormCount:0 ", ""}));
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0], ExceptionMessageText(EADSDatabaseError(7200, "Error 7200", {})));
  EXPECT_EQ(Shown[0].substr(0, 14), "Ooopppsss\x85\n\r\n\r");
  EXPECT_NE(Shown[0].find("log out from RebuildTool, log in again"), std::string::npos);
}

TEST_F(HEMgrTest, UnhandledEngineError5041IsLoggedWithoutDialog) {
  Start({});
  const size_t before = LogLines().size();
  try {
    ThrowEngineError(5041);
  } catch (...) {
    crashreport::ReportUnhandledException(nullptr);
  }
  EXPECT_EQ(Count(LinesAfter(before), "Proc_Name=GenUnHndExp 1"), 1u);
  EXPECT_TRUE(Shown.empty());
}

TEST_F(HEMgrTest, UnhandledExceptionAtLevelTwoLogsTheFullReport) {
  Start({{"UserLog_CRMSystem2.TXT", ""}});
  const size_t before = LogLines().size();
  try {
    ThrowEngineError(7200);
  } catch (...) {
    crashreport::ReportUnhandledException(nullptr);
  }
  const Lines entry = LinesAfter(before);
  EXPECT_EQ(Count(entry, "Proc_Name=GenUnHndExp 2"), 1u);
  EXPECT_EQ(Count(entry, "  Class: EADSDatabaseError"), 1u);
  EXPECT_EQ(Count(entry, "Call stack:"), 1u);
  EXPECT_EQ(Shown.size(), 1u);
}

// An error handler of the rebuild, as the rebuild writes it.
void BuildIndexesHandler() {
  try {
    ThrowEngineError(7059);
  } catch (const std::exception& e) {
    WriteLog(nullptr, "BuildIndexes-ERR", "Customers PRIMARY", &e);
    WriteLastExceptionStack2Log("BuildIndexes-1.1");
  }
}

TEST_F(HEMgrTest, HandledExceptionsAreLoggedAtLevelThreeOnly) {
  for (const int level : {1, 2, 3}) {
    const std::string switch_file =
        level == 1 ? "" : "UserLog_CRMSystem" + std::to_string(level) + ".TXT";
    if (!switch_file.empty()) tree_.WriteFile("DBSys/" + switch_file, "");
    THEMgr manager;
    manager.InitEurekaLog(nullptr);
    ASSERT_EQ(manager.DiagLevel, level);
    const size_t before = LogLines().size();
    BuildIndexesHandler();
    const Lines entries = LinesAfter(before);
    const std::string throw_line =
        "DatHEMgr_UnitTest.cpp - " + std::to_string(LineOf("// engine throw"));
    if (level == 3) {
      // The report comes when the handler catches, before the handler's own entries.
      const auto report = std::find(entries.begin(), entries.end(), "Proc_Name=GenHndExp 3");
      const auto handler = std::find(entries.begin(), entries.end(), "Proc_Name=BuildIndexes-ERR");
      ASSERT_NE(report, entries.end());
      EXPECT_LT(report, handler);
      EXPECT_EQ(Lines(report + 1, report + 5),
                (Lines{"", "Exception:", "  Class: EADSDatabaseError", "  Message: Error 7059"}));
      EXPECT_NE(
          std::find_if(report, handler,
                       [](const std::string& line) {
                         return line.find("ThrowEngineError(unsigned int) DatHEMgr_UnitTest.cpp:" +
                                          std::to_string(LineOf("// engine throw"))) !=
                                std::string::npos;
                       }),
          handler)
          << Join(Lines(report, handler));
      EXPECT_EQ(Count(entries, "Proc_Name=GenHndExp 3"), 1u);
    } else {
      for (const std::string& line : entries) {
        EXPECT_EQ(line.find("GenHndExp"), std::string::npos) << level;
      }
    }
    // The stack entry of the handler names the throw.
    const auto stack_entry =
        std::find(entries.begin(), entries.end(), "Proc_Name=BuildIndexes-1.1");
    ASSERT_NE(stack_entry, entries.end());
    ASSERT_LT(stack_entry + 2, entries.end());
    EXPECT_EQ(*(stack_entry + 2), throw_line);
    EXPECT_TRUE(Shown.empty()) << level;
    CurrentEurekaLogOptions().SetFreezeActivate(false);
    CurrentEurekaLogOptions().SetBehaviourOptions(0);
    if (!switch_file.empty()) {
      ASSERT_TRUE(platform::DeleteFile(tree_.Folder("DBSys") + switch_file));
    }
  }
}

TEST_F(HEMgrTest, FreezeAtLevelThreeIsLoggedFromTheWatchdogWithoutDialog) {
  // The clock moves only when the watchdog waits; this thread is the
  // user-interface thread and stays blocked until the report has come.
  std::atomic<uint32_t> clock{kUptime};
  platform::SetTickCountHook([&] { return clock.load(); });
  platform::SetSleepHook([&](unsigned ms) {
    clock += ms;
    std::this_thread::yield();
  });
  std::mutex mutex;
  std::condition_variable reported;
  int freezes = 0;
  TEurekaLog observer;
  observer.OnExceptionNotify = [&](TEurekaExceptionRecord&, bool&) {
    std::lock_guard lock(mutex);
    ++freezes;
    reported.notify_all();
  };
  crashreport::SetUserInterfaceThread();
  const size_t before = LogLines().size();
  Start({{"UserLog_VorlexSystem3.TXT", "[GEN]\r\nFreezeTimeout=5\r\n"}});
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(reported.wait_for(lock, std::chrono::seconds(60), [&] { return freezes > 0; }));
  }
  CurrentEurekaLogOptions().SetFreezeActivate(false);
  platform::SetSleepHook(nullptr);
  platform::SetTickCountHook([] { return kUptime; });

  const Lines entries = LinesAfter(before);
  const auto tag = std::find(entries.begin(), entries.end(), "Proc_Name=GenUnHndExp 3");
  ASSERT_NE(tag, entries.end()) << Join(entries);
  EXPECT_EQ(*(tag - 2), "Exception_Class=EFrozenApplication 0");
  EXPECT_EQ(*(tag - 1), "Exception_Msg=The application has not responded for 5 seconds");
  EXPECT_EQ(Lines(tag + 1, tag + 5),
            (Lines{"", "Exception:", "  Class: EFrozenApplication",
                   "  Message: The application has not responded for 5 seconds"}));
  EXPECT_NE(std::find(tag, entries.end(),
                      "ExceptionThreadID: " + std::to_string(platform::CurrentThreadId())),
            entries.end());
  // Widgets are not read from the watchdog's thread, and it shows nothing.
  EXPECT_NE(std::find(tag, entries.end(), "Forms_E="), entries.end());
  EXPECT_TRUE(Shown.empty());
}

TEST(HEMgrPolicy, EventPolicyTable) {
  struct Case {
    int level;
    std::string name;
    bool show;
    bool log;
  };
  for (const Case& c : std::vector<Case>{{1, "GenUnHndExp", true, true},
                                         {3, "GenUnHndExp", true, true},
                                         {1, "GenHndExp", false, false},
                                         {2, "GenHndExp", false, false},
                                         {3, "GenHndExp", false, true},
                                         {3, "Other", false, false}}) {
    bool show = !c.show;
    bool log = !c.log;
    THEMgr::GetEventPolicy(c.level, c.name, show, log);
    EXPECT_EQ(show, c.show) << c.level << " " << c.name;
    EXPECT_EQ(log, c.log) << c.level << " " << c.name;
  }
}

TEST(HEMgrPolicy, ThreadInfoAndReportText) {
  TEurekaExceptionRecord record;
  record.ThreadID = 4711;
  record.LogText = "FULL";
  EXPECT_EQ(THEMgr::ThreadInfoText(record), "\r\nExceptionThreadID: 4711\r\n");
  record.ExceptionRecord = TSystemExceptionRecord{0xC0000005u, 0};
  EXPECT_EQ(THEMgr::ThreadInfoText(record),
            "\r\nExceptionThreadID: 4711\r\nWin32ExceptionRecord: 3221225477\r\n");
  EXPECT_EQ(THEMgr::BuildReportText(2, "GenUnHndExp", record),
            "FULL\r\n\r\nExceptionThreadID: 4711\r\nWin32ExceptionRecord: 3221225477\r\n");
  EXPECT_EQ(THEMgr::BuildReportText(1, "GenUnHndExp", record),
            "\r\n\r\nExceptionThreadID: 4711\r\nWin32ExceptionRecord: 3221225477\r\n");
}

TEST(HEMgrPolicy, KnownLogFilesAreTheSwitchFilesInDBSys) {
  EXPECT_EQ(GetKnownLogFilePath("userlog_vorlexsystem3.txt"),
            GetDBSysPath() + "userlog_vorlexsystem3.txt");
  EXPECT_EQ(GetKnownLogFilePath("UserLog_VorlexSystem2.TXT"),
            GetDBSysPath() + "UserLog_VorlexSystem2.TXT");
  EXPECT_EQ(GetKnownLogFilePath("UserLog_Other.TXT"), "");
}

}  // namespace
