#include "platform/Platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

TEST(PlatformSleep, HookRecordsWaitsInsteadOfWaiting) {
  SleepRecorder recorder;
  platform::Sleep(2000);
  platform::Sleep(50);
  EXPECT_EQ(recorder.Waits, (std::vector<unsigned>{2000, 50}));
}

// Two opens of the same file in one process behave like two programs: the
// engine's lock on one description makes the file "in use" for the other.
TEST(PlatformFiles, LockedFileIsInUseAndCannotBeDeletedOrMoved) {
  TempDir dir;
  const std::string path = dir.WriteFile("Contacts.ADT", "data");
  EXPECT_FALSE(platform::IsFileInUse(path));

  const int fd = open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(platform::LockFile(fd, platform::LockKind::Shared));
  EXPECT_TRUE(platform::IsFileInUse(path));

  EXPECT_FALSE(platform::DeleteFile(path));
  EXPECT_EQ(platform::GetLastError(), EBUSY);
  EXPECT_FALSE(platform::MoveFile(path, dir / "aside.ADT"));
  EXPECT_EQ(platform::GetLastError(), EBUSY);
  EXPECT_TRUE(platform::FileExists(path));

  close(fd);
  EXPECT_FALSE(platform::IsFileInUse(path));
  EXPECT_TRUE(platform::DeleteFile(path));
  EXPECT_FALSE(platform::FileExists(path));
}

TEST(PlatformFiles, SharedLocksAdmitEachOtherButNotAnExclusiveOne) {
  TempDir dir;
  const std::string path = dir.WriteFile("t.ADT", "x");
  const int a = open(path.c_str(), O_RDWR);
  const int b = open(path.c_str(), O_RDWR);
  const int c = open(path.c_str(), O_RDWR);
  ASSERT_TRUE(platform::LockFile(a, platform::LockKind::Shared));
  EXPECT_TRUE(platform::LockFile(b, platform::LockKind::Shared));
  EXPECT_FALSE(platform::LockFile(c, platform::LockKind::Exclusive));
  EXPECT_EQ(platform::GetLastError(), EBUSY);
  close(a);
  close(b);
  EXPECT_TRUE(platform::LockFile(c, platform::LockKind::Exclusive));
  close(c);
}

TEST(PlatformFiles, LockHeldByAnotherProcessIsSeen) {
  TempDir dir;
  const std::string path = dir.WriteFile("t.ADT", "x");
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(path.c_str(), O_RDWR);
    const bool locked = fd >= 0 && platform::LockFile(fd, platform::LockKind::Exclusive);
    char byte = locked ? 'y' : 'n';
    (void)!write(ready[1], &byte, 1);
    (void)!read(release[0], &byte, 1);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  EXPECT_TRUE(platform::IsFileInUse(path));
  EXPECT_FALSE(platform::DeleteFile(path));
  (void)!write(release[1], &byte, 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_FALSE(platform::IsFileInUse(path));
  EXPECT_TRUE(platform::DeleteFile(path));
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST(PlatformFiles, ReadOnlyFileIsRefusedLikeOnWindows) {
  TempDir dir;
  const std::string path = dir.WriteFile("ro.txt", "x");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_FALSE(platform::DeleteFile(path));
  EXPECT_EQ(platform::GetLastError(), EACCES);
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  EXPECT_TRUE(platform::DeleteFile(path));
}

TEST(PlatformFiles, ReadOnlyFileIsNotWrittenWhoeverTheUser) {
  // Runs as the superuser too, whom the permission bits alone would not stop.
  TempDir dir;
  const std::string path = dir.WriteFile("ro.txt", "kept");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  for (const auto mode : {platform::WriteMode::Replace, platform::WriteMode::Append}) {
    platform::SetLastError(0);
    EXPECT_FALSE(platform::WriteToFile(path, "new", mode));
    EXPECT_EQ(platform::GetLastError(), EACCES);
  }
  platform::AppendFile file;
  bool existed = false;
  EXPECT_FALSE(file.Open(path, existed));
  EXPECT_EQ(platform::GetLastError(), EACCES);
  EXPECT_EQ(TempDir::ReadFile(path), "kept");
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  EXPECT_TRUE(platform::WriteToFile(path, "new", platform::WriteMode::Replace));
  EXPECT_EQ(TempDir::ReadFile(path), "new");
}

TEST(PlatformFiles, MoveRefusesAnExistingTargetAndKeepsBothFiles) {
  TempDir dir;
  const std::string from = dir.WriteFile("a.txt", "a");
  const std::string to = dir.WriteFile("b.txt", "b");
  EXPECT_FALSE(platform::MoveFile(from, to));
  EXPECT_EQ(platform::GetLastError(), EEXIST);
  EXPECT_EQ(TempDir::ReadFile(to), "b");
  EXPECT_TRUE(platform::MoveFile(from, dir / "c.txt"));
  EXPECT_EQ(TempDir::ReadFile(dir / "c.txt"), "a");
}

TEST(PlatformFiles, DeleteOfMissingFileOrFolderFails) {
  TempDir dir;
  EXPECT_FALSE(platform::DeleteFile(dir / "missing"));
  EXPECT_EQ(platform::GetLastError(), ENOENT);
  EXPECT_FALSE(platform::DeleteFile(dir.Path()));
  EXPECT_TRUE(platform::DirectoryExists(dir.Path()));
}

TEST(PlatformFiles, ForceDirectoriesCreatesEveryMissingParent) {
  TempDir dir;
  const std::string deep = dir / "a/b/c";
  EXPECT_TRUE(platform::ForceDirectories(deep));
  EXPECT_TRUE(platform::DirectoryExists(deep));
  EXPECT_TRUE(platform::ForceDirectories(deep + "/"));
  const std::string file = dir.WriteFile("f", "x");
  EXPECT_FALSE(platform::ForceDirectories(file + "/sub"));
}

TEST(PlatformProcess, ModuleOfOurOwnCodeIsThisExecutable) {
  const std::string exe = platform::ExecutableFileName();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.front(), '/');
  static int marker = 0;
  EXPECT_EQ(platform::ModuleFileNameOf(&marker), exe);
}

TEST(PlatformClock, HooksReplaceClockAndTickCount) {
  platform::SetClockHook([] { return platform::LocalTime{2020, 4, 3, 14, 5, 9, 7}; });
  platform::SetTickCountHook([] { return 4000000000u; });
  EXPECT_EQ(platform::NowLocal().Year, 2020);
  EXPECT_EQ(platform::GetTickCount(), 4000000000u);
  platform::SetClockHook(nullptr);
  platform::SetTickCountHook(nullptr);
  EXPECT_GT(platform::NowLocal().Year, 2000);
}

}  // namespace

namespace {

TEST(PlatformFiles, FindFileIgnoringCaseTakesExactNameFirst) {
  TempDir dir;
  dir.WriteFile("lower.Adi", "x");
  EXPECT_EQ(platform::FindFileIgnoringCase(dir / "Lower.ADI"), dir / "lower.Adi");
  EXPECT_EQ(platform::FindFileIgnoringCase(dir / "lower.Adi"), dir / "lower.Adi");
  dir.WriteFile("Lower.ADI", "y");
  EXPECT_EQ(platform::FindFileIgnoringCase(dir / "Lower.ADI"), dir / "Lower.ADI");
  EXPECT_EQ(platform::FindFileIgnoringCase(dir / "LOWER.adi"),
            dir / "Lower.ADI");  // first in name order
  EXPECT_EQ(platform::FindFileIgnoringCase(dir / "other.adi"), "");
  EXPECT_EQ(platform::FindFileIgnoringCase(dir / "nofolder/x"), "");
}

TEST(PlatformFiles, ReadOnlyStateIsTheWriteBits) {
  TempDir dir;
  const std::string path = dir.WriteFile("f.txt", "12345");
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(path, info));
  EXPECT_EQ(info.Size, 5u);
  EXPECT_FALSE(info.ReadOnly);
  EXPECT_FALSE(info.IsDirectory);
  ASSERT_TRUE(platform::SetReadOnly(path, true));
  ASSERT_TRUE(platform::GetFileInfo(path, info));
  EXPECT_TRUE(info.ReadOnly);
  ASSERT_TRUE(platform::SetReadOnly(path, false));
  ASSERT_TRUE(platform::GetFileInfo(path, info));
  EXPECT_FALSE(info.ReadOnly);
  EXPECT_FALSE(platform::GetFileInfo(dir / "missing", info));
}

}  // namespace
