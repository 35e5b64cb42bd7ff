// Where the activity log goes: its name, its rotation at 3,000,000 bytes and
// the fallback to the program's folder.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "LogFixture.h"
#include "common/DatGenFilesFunctions.h"

namespace {

using Lines = std::vector<std::string>;

const char kRotatedName[] = "UserLog_RebuildTool-03042020-140509.TXT";

off_t SizeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// A log that is already there with `size` bytes.
void MakeLogOfSize(const std::string& path, off_t size) {
  ASSERT_EQ(WriteTextToFile(path, ""), 0);
  ASSERT_EQ(truncate(path.c_str(), size), 0);
}

class LogRotation : public LogTest, public ::testing::WithParamInterface<off_t> {};

TEST_P(LogRotation, FirstEntryMovesALogOfTheLimitAside) {
  const off_t size = GetParam();
  MakeLogOfSize(LogPath(), size);
  WriteLog("MainFrm-Bld-Bof", "N");
  const std::string rotated = tree_.Folder("Logs") + kRotatedName;
  if (size >= kLogRotateSize) {
    EXPECT_EQ(SizeOf(rotated), size);
    EXPECT_EQ(LogLines(), Concat(FirstEntryHead(), {"Proc_Name=MainFrm-Bld-Bof", "N"}));
  } else {
    EXPECT_FALSE(platform::FileExists(rotated));
    const std::string tail = TempDir::ReadFile(LogPath()).substr(static_cast<size_t>(size));
    EXPECT_EQ(tail.substr(0, 2 + Header().size()), "\r\n" + Header());  // the file grows in place
  }
}

INSTANTIATE_TEST_SUITE_P(AtTheLimit, LogRotation, ::testing::Values(2999999, 3000000));

TEST_F(LogRotation, SizeIsLookedAtAgainOnlyWhenTheEstimateReachesTheLimit) {
  WriteLog("First", "");
  EXPECT_EQ(Writer().SizeEstimate, 5 + 100);

  // Grown behind the writer's back: not seen while the estimate is small.
  ASSERT_EQ(truncate(LogPath().c_str(), kLogRotateSize), 0);
  WriteLog("Second", "");
  const std::string rotated = tree_.Folder("Logs") + kRotatedName;
  EXPECT_FALSE(platform::FileExists(rotated));

  // An entry that brings the estimate to the limit: the next one checks.
  WriteLog("Big", std::string(static_cast<size_t>(kLogRotateSize - Writer().SizeEstimate), 'x'));
  EXPECT_GE(Writer().SizeEstimate, kLogRotateSize);
  EXPECT_FALSE(platform::FileExists(rotated));
  WriteLog("Third", "");
  EXPECT_TRUE(platform::FileExists(rotated));
  EXPECT_EQ(Writer().SizeEstimate, 5 + 100);
  // The new file starts with the entry's header; the environment block is
  // not repeated.
  EXPECT_EQ(LogLines(), (Lines{Header(), "Proc_Name=Third"}));
}

TEST_F(LogRotation, FailedMoveKeepsWritingInTheSameFile) {
  MakeLogOfSize(LogPath(), kLogRotateSize);
  const std::string rotated =
      tree_.WriteFile(std::string("Logs/") + kRotatedName, "earlier rotation");
  WriteLog("P", "");
  EXPECT_EQ(TempDir::ReadFile(rotated), "earlier rotation");
  EXPECT_GT(SizeOf(LogPath()), kLogRotateSize);
}

class LogName : public LogTest {};

TEST_F(LogName, CharactersAFileNameMayNotHoldAreLeftOut) {
  InitLogHandler("Re:bu*ild?Tool|");
  WriteLog("P", "");
  EXPECT_TRUE(platform::FileExists(LogPath()));
  EXPECT_EQ(Writer().LogName, "Re:bu*ild?Tool|");
}

// The Logs folder cannot be used: a regular file stands where it should be,
// so it can neither be created nor opened (a read-only folder would not stop
// the root user the tests run as).
class LogFallback : public LogTest {
 protected:
  LogFallback() : LogTest(InstallationTree::Options{"RebuildTool", /*MakeLogs=*/false}) {}

  void SetUp() override { tree_.WriteFile("Logs", "not a folder"); }

  std::string FallbackPath() const { return tree_.Folder("App") + "UserLog_RebuildTool.TXT"; }
};

TEST_F(LogFallback, EntriesGoToTheProgramFolderWithoutRotation) {
  MakeLogOfSize(FallbackPath(), kLogRotateSize);
  WriteLog("MainFrm-Bld-Bof", "N");
  WriteLogLine("plain");
  EXPECT_FALSE(platform::FileExists(tree_.Folder("App") + kRotatedName));
  const std::string written = TempDir::ReadFile(FallbackPath()).substr(kLogRotateSize);
  EXPECT_EQ(written.substr(0, 2 + Header().size()), "\r\n" + Header());
  EXPECT_NE(written.find("\r\nProc_Name=MainFrm-Bld-Bof\r\nN\r\n\r\nplain\r\n"), std::string::npos);
  EXPECT_EQ(TempDir::ReadFile(tree_ / "Logs"), "not a folder");
}

TEST_F(LogFallback, EntryIsDroppedWhenTheProgramFolderFailsToo) {
  ForceFolder(FallbackPath());  // a folder where the fallback file would be
  platform::SetLastError(7);
  WriteLog("P", "T");
  WriteLogLine("line");
  EXPECT_EQ(platform::GetLastError(), 7);
  EXPECT_EQ(Writer().LastProcName, "line");
  EXPECT_TRUE(FolderExists(FallbackPath()));
  EXPECT_TRUE(std::filesystem::is_empty(FallbackPath()));

  // Once the folder is usable the log goes on, and the environment block is
  // still written once, with the first entry that reached a file.
  ASSERT_EQ(rmdir(FallbackPath().c_str()), 0);
  WriteLog("Q", "");
  EXPECT_EQ(FileLines(FallbackPath()), Concat(FirstEntryHead(), {"Proc_Name=Q"}));
}

}  // namespace
