// The activity log's file layout, line by line.
#include <QObject>
#include <QTimer>

#include <regex>
#include <stdexcept>

#include "LogFixture.h"
#include "common/Exceptions.h"

namespace {

using Lines = std::vector<std::string>;

class LogLayout : public LogTest {};

TEST_F(LogLayout, FirstFullEntryIntoAMissingFile) {
  WriteLog("MainFrm-Bld-Bof", "N");
  EXPECT_EQ(LogLines(), Concat(FirstEntryHead(), {"Proc_Name=MainFrm-Bld-Bof", "N"}));
  EXPECT_TRUE(std::regex_match(
      Writer().InstanceId, std::regex(" \\*\\* 03042020_140509_" +
                                      std::to_string(platform::MainThreadId()) + "_[0-9]{1,6}")))
      << Writer().InstanceId;
}

TEST_F(LogLayout, SecondFullEntryHasNoEnvironmentBlock) {
  WriteLog("MainFrm-Bld-Bof", "N");
  const size_t before = LogLines().size();
  clock_.Set({2020, 4, 3, 14, 5, 10, 250});
  WriteLog("MainFrm-Bld-Eof", "Y");
  // The instance id keeps its first time stamp.
  EXPECT_EQ(LinesAfter(before),
            (Lines{"", Header("03/04/2020 14:05:10:250"), "Proc_Name=MainFrm-Bld-Eof", "Y"}));
}

TEST_F(LogLayout, EntryWithoutTagOrTextIsItsHeaderAlone) {
  WriteLog("", "");
  EXPECT_EQ(LogLines(), FirstEntryHead());
  WriteLog("", "");
  EXPECT_EQ(LinesAfter(FirstEntryHead().size()), (Lines{"", Header()}));
}

TEST_F(LogLayout, PlainLinesTakeAnEmptyLineOnlyAfterAFullEntry) {
  WriteLogLine("Start");  // first entry of all, into a missing file: no empty line
  WriteLog("GenInxFile-1", "x");
  const size_t before = LogLines().size();
  WriteLogLine("Table Contacts.ADT");
  WriteLogTimedLine("Index Name");
  WriteLog("Next", "");
  EXPECT_EQ(LogLines().front(), "Start");
  EXPECT_EQ(LinesAfter(before),
            (Lines{"", "Table Contacts.ADT", "03/04/2020 14:05:09:007 - Index Name", "", Header(),
                   "Proc_Name=Next"}));
}

TEST_F(LogLayout, TextWithLineBreaksFollowsTheTagLineAsItIs) {
  WriteLog("GenInxFile-1: /x/CRMInx.ini N", "/x/VorlexInx.ini\r\n/x/CRMInx.ini\r\n\r\nend");
  EXPECT_EQ(LinesAfter(FirstEntryHead().size()),
            (Lines{"Proc_Name=GenInxFile-1: /x/CRMInx.ini N", "/x/VorlexInx.ini", "/x/CRMInx.ini",
                   "", "end"}));
}

TEST_F(LogLayout, ContinuationEntrySkipsHeaderAndSender) {
  QObject sender;
  const EOleSysError error("Catastrophic failure", -2147418113);
  WriteLog("AddIndexes-ERR", "first");
  const size_t before = LogLines().size();
  WriteLog(&sender, "AddIndexes-ERR3", "stack", &error);
  EXPECT_EQ(LinesAfter(before),
            (Lines{"", "Exception_Class=EOleSysError 0", "Exception_Msg=Catastrophic failure",
                   "EOleSysError = -2147418113 ", "Proc_Name=AddIndexes-ERR3", "stack",
                   "Forms_E=FormCount:0 ", ""}));

  // Not the last tag + "3", or not into an existing file: a full entry.
  const size_t later = LogLines().size();
  WriteLog(&sender, "AddIndexes-ERR3", "again", nullptr);
  EXPECT_EQ(LinesAfter(later),
            (Lines{"", Header(), "Sender_Class=QObject", "Sender_Name=", "Sender_Info=",
                   "Sender_Parent=", "Proc_Name=AddIndexes-ERR3", "again"}));
  ASSERT_TRUE(platform::DeleteFile(LogPath()));
  WriteLog(&sender, "AddIndexes-ERR33", "", nullptr);
  EXPECT_EQ(LogLines(), (Lines{Header(), "Sender_Class=QObject", "Sender_Name=", "Sender_Info=",
                               "Sender_Parent=", "Proc_Name=AddIndexes-ERR33"}));
}

TEST_F(LogLayout, SenderAndExceptionBlocks) {
  WriteLog("", "");  // past the environment block
  QTimer timer;
  struct Case {
    std::string what;
    const QObject* sender;
    std::exception_ptr error;
    int last_error;
    Lines expected;
  };
  for (const Case& c : std::vector<Case>{
           {"sender only",
            &timer,
            nullptr,
            0,
            {"Sender_Class=QTimer",
             "Sender_Name=", "Sender_Info=", "Sender_Parent=", "Proc_Name=P"}},
           {"our exception",
            nullptr,
            std::make_exception_ptr(Exception("Table not found")),
            2,
            {"Exception_Class=Exception 2", "Exception_Msg=Table not found", "Proc_Name=P",
             "Forms_E=FormCount:0 ", ""}},
           {"system error",
            nullptr,
            std::make_exception_ptr(EOleSysError("Class not registered", -2147221164)),
            0,
            {"Exception_Class=EOleSysError 0", "Exception_Msg=Class not registered",
             "EOleSysError = -2147221164 ", "Proc_Name=P", "Forms_E=FormCount:0 ", ""}},
           {"a library's exception",
            &timer,
            std::make_exception_ptr(std::runtime_error("bad")),
            16,
            {"Sender_Class=QTimer", "Sender_Name=", "Sender_Info=", "Sender_Parent=",
             "Exception_Class=std::runtime_error 16", "Exception_Msg=bad", "Proc_Name=P",
             "Forms_E=FormCount:0 ", ""}},
       }) {
    const size_t before = LogLines().size();
    try {
      if (c.error) std::rethrow_exception(c.error);
      platform::SetLastError(c.last_error);
      WriteLog(c.sender, "P", "", nullptr);
    } catch (const std::exception& e) {
      platform::SetLastError(c.last_error);
      WriteLog(c.sender, "P", "", &e);
    }
    EXPECT_EQ(platform::GetLastError(), c.last_error)
        << c.what << ": the log changed the last error";
    EXPECT_EQ(LinesAfter(before), Concat({"", Header()}, c.expected)) << c.what;
  }
}

TEST_F(LogLayout, NothingIsWrittenBeforeTheLogStarts) {
  FreeLogHandler();
  const EOleSysError error("x", 1);
  WriteLog(nullptr, "P", "T", &error);
  WriteLog("P", "T");
  WriteLogLine("line");
  WriteLogTimedLine("line");
  EXPECT_FALSE(platform::FileExists(LogPath()));
  InitLog();
  WriteLogLine("after");
  EXPECT_EQ(LogLines(), Lines{"after"});
}

TEST(LogUptime, TickCountIsReadAsUnsigned32Bit) {
  struct Case {
    uint32_t ticks;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{
           {0, "TC: 0 0:0:0(0) 0"},
           {kUptime, "TC: 3 4:5:6(789) 273906789"},
           {2147483648u, "TC: 24 20:31:23(648) 2147483648"},  // past 24.8 days: still positive
           {4294967295u, "TC: 49 17:2:47(295) 4294967295"},
       }) {
    EXPECT_EQ(TickCountText(c.ticks), c.text);
  }
}

class LogWithoutVersion : public LogTest {
 protected:
  LogWithoutVersion()
      : LogTest(InstallationTree::Options{"RebuildTool", true, /*LinkProgram=*/false}) {}
};

TEST_F(LogWithoutVersion, HeaderLeavesTheVersionOut) {
  WriteLog("P", "");
  EXPECT_EQ(Writer().VersionText, "");
  EXPECT_EQ(LogLines().front(), Header("03/04/2020 14:05:09:007", /*with_version=*/false));
}

}  // namespace
