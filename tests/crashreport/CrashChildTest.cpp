// Unhandled failures of a whole program, run as child processes: each must
// leave a "GenUnHndExp 1" entry in the program's activity log whose stack
// lines name the line of the fault, and end as it would without the
// library (a fatal signal still kills the process with that signal).
//
// Under AddressSanitizer the child runs with ASAN_OPTIONS that leave the
// fatal signals to the program (handle_segv=0 ...): otherwise the
// sanitizer's own handler takes SIGSEGV first, prints its report and exits
// with its own code, and the program's report is never written.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempDir.h"

extern char** environ;

namespace {

struct ChildResult {
  int status = 0;
  std::string output;
};

// The line of the child's source that holds "fault: <mode>".
int FaultLine(const std::string& mode) {
  std::ifstream source(RI_CRASH_CHILD_SOURCE);
  std::string line;
  for (int number = 1; std::getline(source, line); ++number) {
    if (line.find("// fault: " + mode) != std::string::npos) return number;
  }
  return 0;
}

ChildResult RunChild(const std::string& mode, const std::string& root) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (text.rfind("ASAN_OPTIONS=", 0) != 0 && text.rfind("QT_QPA_PLATFORM=", 0) != 0)
      environment.push_back(text);
  }
  environment.push_back("QT_QPA_PLATFORM=offscreen");
  environment.push_back(
      "ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:"
      "allow_user_segv_handler=1:detect_leaks=0");
  std::vector<char*> env;
  for (std::string& text : environment) env.push_back(text.data());
  env.push_back(nullptr);

  const std::string output_path = root + "/child-output.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::string program = RI_CRASH_CHILD;
  std::vector<char*> args = {program.data(), const_cast<char*>(mode.c_str()),
                             const_cast<char*>(root.c_str()), nullptr};
  pid_t pid = 0;
  ChildResult result;
  EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), env.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(waitpid(pid, &result.status, 0), pid);
  result.output = TempDir::ReadFile(output_path);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from <= text.size()) {
    const size_t end = text.find("\r\n", from);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

class CrashChildTest : public ::testing::Test {
 protected:
  CrashChildTest() {
    for (const char* folder : {"App", "DB", "DBSys", "Logs"})
      std::filesystem::create_directories(dir_ / folder);
  }

  std::vector<std::string> Log() const {
    return Lines(TempDir::ReadFile(dir_ / "Logs/UserLog_CrashChild.TXT"));
  }

  // The lines of the log's "GenUnHndExp 1" entry, from its tag to the
  // entry's end (the screen line).
  std::vector<std::string> UnhandledEntry() const {
    const std::vector<std::string> log = Log();
    auto tag = std::find(log.begin(), log.end(), "Proc_Name=GenUnHndExp 1");
    if (tag == log.end()) return {};
    auto end = std::find_if(tag, log.end(),
                            [](const std::string& line) { return line.rfind("Forms_E=", 0) == 0; });
    return std::vector<std::string>(tag, end == log.end() ? end : end + 1);
  }

  static bool Holds(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TempDir dir_;
};

TEST_F(CrashChildTest, ExceptionOutOfAnEventIsLoggedShownAndTheLoopGoesOn) {
  const ChildResult child = RunChild("qt-event", dir_.Path());
  ASSERT_TRUE(WIFEXITED(child.status)) << child.output;
  EXPECT_EQ(WEXITSTATUS(child.status), 0) << child.output;
  EXPECT_NE(child.output.find("dialog: Ooopppsss"), std::string::npos) << child.output;
  EXPECT_NE(child.output.find("the event loop went on"), std::string::npos) << child.output;
  const std::vector<std::string> entry = UnhandledEntry();
  ASSERT_FALSE(entry.empty()) << TempDir::ReadFile(dir_ / "Logs/UserLog_CrashChild.TXT");
  EXPECT_TRUE(Holds(entry, "CrashChild.cpp - " + std::to_string(FaultLine("qt-event"))));
  // The application's own handler wrote its entry too, with the exception.
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Exception_Msg=thrown out of an event"), 2);
}

TEST_F(CrashChildTest, ExceptionsOutOfMainAndOfAThreadAreLoggedBeforeTheAbort) {
  for (const std::string mode : {"main-throw", "thread-throw"}) {
    std::filesystem::remove(dir_ / "Logs/UserLog_CrashChild.TXT");
    const ChildResult child = RunChild(mode, dir_.Path());
    ASSERT_TRUE(WIFSIGNALED(child.status)) << mode << child.output;
    EXPECT_EQ(WTERMSIG(child.status), SIGABRT) << mode;
    const std::vector<std::string> entry = UnhandledEntry();
    ASSERT_FALSE(entry.empty()) << mode << TempDir::ReadFile(dir_ / "Logs/UserLog_CrashChild.TXT");
    EXPECT_TRUE(Holds(entry, "CrashChild.cpp - " + std::to_string(FaultLine(mode)))) << mode;
    // One report: the abort that follows is not reported again.
    const std::vector<std::string> log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Proc_Name=GenUnHndExp 1"), 1) << mode;
  }
}

TEST_F(CrashChildTest, AtLevelThreeAnExceptionOutOfMainIsUnhandledOnly) {
  dir_.WriteFile("DBSys/UserLog_CRMSystem3.TXT", "");
  const ChildResult child = RunChild("main-throw", dir_.Path());
  ASSERT_TRUE(WIFSIGNALED(child.status)) << child.output;
  EXPECT_EQ(WTERMSIG(child.status), SIGABRT);
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Proc_Name=GenUnHndExp 3"), 1);
  // The runtime's own catch on the way to std::terminate is no handled exception.
  for (const std::string& line : log) EXPECT_EQ(line.find("GenHndExp"), std::string::npos) << line;
  EXPECT_NE(std::find(log.begin(), log.end(), "  Message: thrown out of main"), log.end());
}

TEST_F(CrashChildTest, NullDereferenceIsLoggedAndTheProcessStillDiesOfTheSignal) {
  const ChildResult child = RunChild("null-deref", dir_.Path());
  ASSERT_TRUE(WIFSIGNALED(child.status)) << child.output;
  EXPECT_EQ(WTERMSIG(child.status), SIGSEGV);
  const std::vector<std::string> entry = UnhandledEntry();
  ASSERT_FALSE(entry.empty()) << TempDir::ReadFile(dir_ / "Logs/UserLog_CrashChild.TXT");
  ASSERT_GE(entry.size(), 4u);
  // The text begins with a line break, and so does the stack's first line.
  EXPECT_EQ(entry[1], "");
  EXPECT_EQ(entry[2], "");
  EXPECT_EQ(entry[3], "CrashChild.cpp - " + std::to_string(FaultLine("null-deref")));
  EXPECT_TRUE(Holds(entry, "Win32ExceptionRecord: 3221225477"));
  const std::vector<std::string> log = Log();
  const auto tag = std::find(log.begin(), log.end(), "Proc_Name=GenUnHndExp 1");
  ASSERT_GE(tag - log.begin(), 2);
  EXPECT_EQ((tag - 2)->rfind("Exception_Class=EAccessViolation ", 0), 0u) << *(tag - 2);
  EXPECT_EQ((tag - 1)->rfind("Exception_Msg=Access violation at address ", 0), 0u) << *(tag - 1);
  EXPECT_NE((tag - 1)->find(". Access of address 0000000000000000 (signal 11)"), std::string::npos)
      << *(tag - 1);
}

TEST_F(CrashChildTest, AFaultWhileReportingEndsTheProcessWithTheSignal) {
  const ChildResult child = RunChild("fault-in-report", dir_.Path());
  ASSERT_TRUE(WIFSIGNALED(child.status)) << child.output;
  EXPECT_EQ(WTERMSIG(child.status), SIGSEGV);
}

}  // namespace
