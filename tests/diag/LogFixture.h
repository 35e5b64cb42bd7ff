// A test of the activity log: an installation tree with the program in App/,
// the clock, the tick count and the locale settings pinned, and the log
// started under the program's name ("RebuildTool", so the log is
// Logs/UserLog_RebuildTool.TXT).
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"
#include "support/InstallationTree.h"
#include "support/QtApp.h"
#include "support/ScopedClock.h"

#ifndef RI_PROJECT_VERSION
#error "the log tests need the project version (RI_PROJECT_VERSION)"
#endif

inline const platform::LocalTime kLogTime = {2020, 4, 3, 14, 5, 9, 7};

// 3 days, 4 hours, 5 minutes, 6 seconds and 789 milliseconds.
inline constexpr uint32_t kUptime = ((3u * 24u + 4u) * 60u + 5u) * 60000u + 6789u;

class LogTest : public ::testing::Test {
 protected:
  explicit LogTest(InstallationTree::Options options = {}) : tree_(options) {
    EnsureQtApp();  // the screen line reads the application's forms
    platform::LocaleSettings locale;
    locale.LongDateFormat = "dddd, d MMMM yyyy";
    locale.ShortDateFormat = "dd/MM/yyyy";
    locale.LongTimeFormat = "HH:mm:ss";
    locale.ShortTimeFormat = "HH:mm";
    locale.TimeAMString = "AM";
    locale.TimePMString = "PM";
    locale.DateSeparator = '/';
    locale.TimeSeparator = ':';
    locale.ThousandSeparator = ',';
    locale.DecimalSeparator = '.';
    platform::SetLocaleSettings(locale);
    platform::SetTickCountHook([] { return kUptime; });
    platform::SetLastError(0);  // the thread's code shows in exception lines
    InitLog();
  }

  ~LogTest() override {
    FreeLogHandler();
    platform::SetTickCountHook(nullptr);
    platform::ResetLocaleSettings();
  }

  THandleExceptions& Writer() { return *GetHandleExceptions(); }

  std::string LogPath() const { return tree_.Folder("Logs") + "UserLog_RebuildTool.TXT"; }

  // The lines of a file that ends every line with CR LF.
  static std::vector<std::string> FileLines(const std::string& path) {
    const std::string content = TempDir::ReadFile(path);
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < content.size()) {
      const size_t end = content.find("\r\n", from);
      if (end == std::string::npos) {
        ADD_FAILURE() << "the file does not end with CR LF: " << path;
        break;
      }
      lines.push_back(content.substr(from, end - from));
      EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos)
          << "a lone line break in " << path;
      from = end + 2;
    }
    return lines;
  }

  std::vector<std::string> LogLines() const { return FileLines(LogPath()); }

  // The lines the log gained since `before` lines.
  std::vector<std::string> LinesAfter(size_t before) const {
    std::vector<std::string> lines = LogLines();
    return before <= lines.size() ? std::vector<std::string>(lines.begin() + before, lines.end())
                                  : std::vector<std::string>{};
  }

  // The header line of an entry made at `time` (as the pinned clock reads).
  std::string Header(const std::string& time = "03/04/2020 14:05:09:007",
                     bool with_version = true) {
    return "[" + time + (with_version ? " v" RI_PROJECT_VERSION : "") + " " + Writer().InstanceId +
           "  ]";
  }

  // The environment block as this machine's system and the pinned values
  // give it.
  std::vector<std::string> EnvironmentLines() const {
    const platform::OsVersion os = platform::GetOsVersion();
    return {" FirstWrite 03042020_140509 OS:" + std::to_string(os.PlatformId) + " " +
                std::to_string(os.Major) + " " + std::to_string(os.Minor) + " " +
                std::to_string(os.Build) + " " + os.ServicePack + "  " + platform::UserName() +
                " " + platform::ComputerName() + " ",
            "",
            "TC: 3 4:5:6(789) " + std::to_string(kUptime),
            tree_.Program(),
            tree_.Root() + "/DB",
            "",
            " Sys Vlx ",
            " dddd, d MMMM yyyy",
            " dd/MM/yyyy",
            " HH:mm:ss",
            " HH:mm",
            " AM",
            " PM",
            " /",
            " :",
            " ,",
            " ."};
  }

  // Header, empty line, environment block, empty line: how the first full
  // entry of a process begins.
  std::vector<std::string> FirstEntryHead() {
    std::vector<std::string> lines = {Header(), ""};
    for (const std::string& line : EnvironmentLines()) lines.push_back(line);
    lines.push_back("");
    return lines;
  }

  static std::vector<std::string> Concat(std::vector<std::string> a,
                                         const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }

  InstallationTree tree_;
  ScopedClock clock_{kLogTime};
};
