#include "common/DatGenFilesFunctions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include <gtest/gtest.h>

#include "LocaleFixture.h"
#include "support/ChildLock.h"
#include "support/ScopedClock.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

const platform::LocalTime kApril3 = {2020, 4, 3, 14, 5, 9, 7};

// Names of the entries of a folder, sorted.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A file of `size` bytes that takes no room on disk.
std::string SparseFile(const TempDir& dir, const std::string& name, off_t size) {
  const std::string path = dir.WriteFile(name, "");
  EXPECT_EQ(truncate(path.c_str(), size), 0);
  return path;
}

// ---------------------------------------------------------------- path texts

TEST(FilesPathTexts, DelimiterIsAddedOrRemovedOnlyWhereNeeded) {
  struct Case {
    std::string path, included, excluded;
  };
  for (const Case& c : std::vector<Case>{
           {"", "", ""},
           {"/a/b", "/a/b/", "/a/b"},
           {"/a/b/", "/a/b/", "/a/b"},
           {"/", "/", ""},
           {"a//", "a//", "a/"},  // one delimiter only
       }) {
    EXPECT_EQ(IncludeBackslash(c.path), c.included) << c.path;
    EXPECT_EQ(ExcludeBackslash(c.path), c.excluded) << c.path;
  }
}

TEST(FilesPathTexts, JoinPathAddsOneDelimiterAndStripsNothing) {
  EXPECT_EQ(JoinPath("/db/DBSys", "VorlexInx2.ini"), "/db/DBSys/VorlexInx2.ini");
  EXPECT_EQ(JoinPath("/db/DBSys/", "VorlexInx2.ini"), "/db/DBSys/VorlexInx2.ini");
  EXPECT_EQ(JoinPath("", "VorlexInx2.ini"), "VorlexInx2.ini");
  EXPECT_EQ(JoinPath("/db/", "/x"), "/db//x");
}

TEST(FilesPathTexts, ExtensionIsTakenFromTheNamePartOnly) {
  struct Case {
    std::string name, path, file, ext, without_ext;
  };
  for (const Case& c : std::vector<Case>{
           {"/a/Report.txt", "/a/", "Report.txt", ".txt", "/a/Report"},
           {"/a.b/Report", "/a.b/", "Report", "", "/a.b/Report"},
           {"x.tar.gz", "", "x.tar.gz", ".gz", "x.tar"},
           {"/a/.hidden", "/a/", ".hidden", ".hidden", "/a/"},
       }) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileName(c.name), c.file) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
    EXPECT_EQ(ChangeFileExt(c.name, ""), c.without_ext) << c.name;
  }
}

TEST(FilesPathTexts, InvalidFileCharsAreRemoved) {
  EXPECT_EQ(RemoveInvalidFileChars("a:b*d?.txt"), "abd.txt");
  EXPECT_EQ(RemoveInvalidFileChars("1\"2*3/4:5<6>7?8\\9|0"), "1234567890");
  EXPECT_EQ(RemoveInvalidFileChars("Rebuild Tool (2).exe"), "Rebuild Tool (2).exe");
}

// ---------------------------------------------------------------- UNC paths

TEST(FilesUnc, HostAndAddressTests) {
  struct Case {
    std::string path;
    bool unc;
    std::string host;
    bool with_ip;
  };
  for (const Case& c : std::vector<Case>{
           {"\\\\192.168.1.5\\Data", true, "192.168.1.5", true},
           {"\\\\10.0.0.7:6262\\share\\DB", true, "10.0.0.7:6262",
            false},  // the port spoils the last number
           {"\\\\0.1.2.3\\Data", true, "0.1.2.3", false},
           {"\\\\server\\Data", true, "server", false},
           {"\\\\192.168.1\\Data", true, "192.168.1", false},
           {"\\\\300.400.500.600\\x", true, "300.400.500.600", true},  // no upper bound
           {"\\\\1.2.3.4", true, "1.2.3.4", true},
           {"\\\\", true, "", false},
           {"\\server\\Data", false, "", false},
           {"/mnt/data", false, "", false},
           {"", false, "", false},
       }) {
    EXPECT_EQ(IsUNCPath(c.path), c.unc) << c.path;
    EXPECT_EQ(GetUNCHost(c.path), c.host) << c.path;
    EXPECT_EQ(IsUNCPathWithIP(c.path), c.with_ip) << c.path;
  }
}

TEST(FilesUnc, ServerPathPutsTwoBackslashesBeforeTheShare) {
  EXPECT_EQ(MakeServerPath("10.0.0.7", "6262", "\\share\\DB"), "\\\\10.0.0.7:6262\\\\share\\DB");
  EXPECT_EQ(MakeServerPath("h", "6262\\", "share"), "\\\\h:6262\\share");
  EXPECT_EQ(MakeServerPath("IP", "PortX", "x"), "\\\\IP:PortX\\x");
}

// ---------------------------------------------------------------- dates, sizes, read-only

TEST(FilesFacts, TimeStampGoesBeforeTheExtension) {
  ScopedLocale locale;
  ScopedClock clock(kApril3);
  EXPECT_EQ(MakeTimeStampedFileName("/logs/Report.txt", "ddmmyyy_hhmmss"),
            "/logs/Report-03042020_140509.txt");
  EXPECT_EQ(MakeTimeStampedFileName("/lo.gs/Report", "ddmmyyyy-hhmmss"),
            "/lo.gs/Report-03042020-140509");
  EXPECT_EQ(MakeTimeStampedFileName("a.b.TXT", "mmddyyyy-hhmmss"), "a.b-04032020-140509.TXT");
}

TEST(FilesFacts, FileDateIsTheLastWriteTimeAndZeroWithoutAFile) {
  TempDir dir;
  const std::string path = dir.WriteFile("VorlexInx.ini", "x");
  std::tm parts{};
  parts.tm_year = 2019 - 1900;
  parts.tm_mon = 6;
  parts.tm_mday = 15;
  parts.tm_hour = 10;
  parts.tm_min = 20;
  parts.tm_sec = 30;
  parts.tm_isdst = -1;
  const timespec times[2] = {{mktime(&parts), 0}, {mktime(&parts), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_DOUBLE_EQ(GetFileDateTime(path), EncodeDateTime({2019, 7, 15, 10, 20, 30, 0}));
  EXPECT_EQ(GetFileDateTime(dir / "missing.ini"), 0);
  EXPECT_EQ(GetFileDateTime(dir.Path()), 0);
}

TEST(FilesFacts, SizeIsThe32BitSignedLowPart) {
  TempDir dir;
  struct Case {
    off_t size;
    int32_t expected;
  };
  for (const Case& c : std::vector<Case>{
           {0, 0},
           {5, 5},
           {2147483647, 2147483647},
           {2147483648LL, -2147483647 - 1},  // 2 GiB: negative
           {4294967296LL + 5, 5},            // 4 GiB + 5: only the low part
       }) {
    const std::string path = SparseFile(dir, "f" + std::to_string(c.size), c.size);
    EXPECT_EQ(GetFileSizeByName(path), c.expected) << c.size;
  }
  EXPECT_EQ(GetFileSizeByName(dir / "missing"), 0);
  EXPECT_EQ(GetFileSizeByName(dir.Path()), 0);
}

TEST(FilesFacts, ReadOnlyStateIsSetAndClearedOnFilesOnly) {
  TempDir dir;
  const std::string path = dir.WriteFile("VorlexStop.INI", "x");
  platform::FileInfo info;
  SetFileReadOnly(path, true);
  ASSERT_TRUE(platform::GetFileInfo(path, info));
  EXPECT_TRUE(info.ReadOnly);
  SetFileReadOnly(path, true);  // already so: nothing changes
  ASSERT_TRUE(platform::GetFileInfo(path, info));
  EXPECT_TRUE(info.ReadOnly);
  SetFileReadOnly(path, false);
  ASSERT_TRUE(platform::GetFileInfo(path, info));
  EXPECT_FALSE(info.ReadOnly);

  SetFileReadOnly(dir.Path(), true);
  ASSERT_TRUE(platform::GetFileInfo(dir.Path(), info));
  EXPECT_FALSE(info.ReadOnly);
  SetFileReadOnly(dir / "missing", true);  // nothing to do, nothing raised
}

TEST(FilesLookup, DirectorySearchTakesNamesAndWildcards) {
  TempDir dir;
  dir.WriteFile("Contacts.ADT", "12345");
  dir.WriteFile("Contacts.Adi", "x");
  ForceFolder(dir / "Sub");
  struct Case {
    std::string pattern;
    bool found;
  };
  for (const Case& c : std::vector<Case>{
           {"Contacts.ADT", true},
           {"contacts.adt", false},  // a plain name is looked up as written
           {"*.adt", true},          // wildcards match without regard to case
           {"C?NTACTS.*", true},
           {"*.ini", false},
           {"Sub", true},  // any kind of entry
           {"S*", true},
           {"missing", false},
       }) {
    EXPECT_EQ(FileFound(dir / c.pattern), c.found) << c.pattern;
  }
  EXPECT_EQ(GetFileSizeByName(dir / "*.ADT"), 5);  // the first match in name order
  EXPECT_FALSE(FileFound(dir / "nofolder/*.ADT"));
}

TEST(FilesLookup, LocateFileTakesTheExactNameThenIgnoresCase) {
  TempDir dir;
  dir.WriteFile("lower.Adi", "x");
  ForceFolder(dir / "Folder.ADT");
  EXPECT_EQ(LocateFile(dir / "lower.Adi"), dir / "lower.Adi");
  EXPECT_EQ(LocateFile(dir / "Lower.ADI"), dir / "lower.Adi");
  EXPECT_EQ(LocateFile(dir / "folder.adt"), "");  // a folder is not a file
  EXPECT_EQ(LocateFile(dir / "other.Adi"), "");
  EXPECT_EQ(LocateFile(""), "");
}

// ---------------------------------------------------------------- reading, writing, moving

TEST(FilesText, LinesOfAnyEndingAreJoinedWithCrLf) {
  TempDir dir;
  struct Case {
    std::string content, expected;
  };
  for (const Case& c : std::vector<Case>{
           {"a\r\nb\r\n", "a\r\nb"},
           {"a\nb", "a\r\nb"},
           {"a\rb\r", "a\r\nb"},
           {"\r\na\n\nb", "\r\na\r\n\r\nb"},  // empty lines kept, the first one too
           {"", ""},
           {std::string("x\0y\n", 4), std::string("x\0y", 3)},  // bytes as they stand
       }) {
    const std::string path = dir.WriteFile("t.txt", c.content);
    EXPECT_EQ(ReadTextFileToString(path), c.expected);
  }
  EXPECT_EQ(ReadTextFileToString(dir / "missing.txt"), "");
  EXPECT_EQ(ReadTextFileToString(dir.Path()), "");
}

TEST(FilesText, WriteCreatesOrOverwritesAndReportsTheErrorCode) {
  TempDir dir;
  const std::string path = dir / "out.txt";
  EXPECT_EQ(WriteTextToFile(path, "first text"), 0);
  EXPECT_EQ(WriteTextToFile(path, "new"), 0);
  EXPECT_EQ(TempDir::ReadFile(path), "new");
  EXPECT_EQ(WriteTextToFile(dir / "missing/out.txt", "x"), ENOENT);
}

struct RotationCase {
  off_t size;
  bool moved;
};

class FilesMoveIfSize : public ::testing::TestWithParam<RotationCase> {};

TEST_P(FilesMoveIfSize, MovesOnlyFromTheMinimumSizeOn) {
  TempDir dir;
  const std::string source = SparseFile(dir, "UserLog_RebuildTool.TXT", GetParam().size);
  const std::string target = dir / "UserLog_RebuildTool-03042020-140509.TXT";
  MoveFileIfSizeAtLeast(source, target, 3000000);
  EXPECT_EQ(platform::FileExists(source), !GetParam().moved);
  EXPECT_EQ(platform::FileExists(target), GetParam().moved);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FilesMoveIfSize,
                         ::testing::Values(RotationCase{0, false}, RotationCase{2999999, false},
                                           RotationCase{3000000, true}, RotationCase{3000001, true},
                                           RotationCase{2147483648LL,
                                                        false}));  // negative 32-bit size

TEST(FilesMoveIfSizeEdges, MissingSourceAndExistingTargetMoveNothing) {
  TempDir dir;
  MoveFileIfSizeAtLeast(dir / "missing", dir / "target", 0);
  EXPECT_FALSE(platform::FileExists(dir / "target"));
  const std::string source = dir.WriteFile("log.TXT", "new");
  const std::string target = dir.WriteFile("log-old.TXT", "old");
  MoveFileIfSizeAtLeast(source, target, 1);
  EXPECT_EQ(TempDir::ReadFile(source), "new");
  EXPECT_EQ(TempDir::ReadFile(target), "old");
}

// ---------------------------------------------------------------- forced delete

class FilesDeleteForce : public ::testing::Test {
 protected:
  ScopedLocale locale_;
  ScopedClock clock_{kApril3};
  TempDir dir_;
  const std::string aside_name_ = "Contacts-03042020_140509.Adi";
};

TEST_F(FilesDeleteForce, DeletesPlainAndReadOnlyFiles) {
  const std::string plain = dir_.WriteFile("plain.Adi", "x");
  const std::string read_only = dir_.WriteFile("ro.Adi", "x");
  ASSERT_EQ(chmod(read_only.c_str(), 0444), 0);
  ASSERT_FALSE(platform::DeleteFile(read_only));  // the plain delete refuses it
  EXPECT_TRUE(DeleteFileForce(plain));
  EXPECT_TRUE(DeleteFileForce(read_only));
  EXPECT_TRUE(Entries(dir_.Path()).empty());
}

TEST_F(FilesDeleteForce, MissingFileOrFolderGivesFalseAndTouchesNothing) {
  dir_.WriteFile("other.Adi", "x");
  ForceFolder(dir_ / "Folder");
  EXPECT_FALSE(DeleteFileForce(dir_ / "Contacts.Adi"));
  EXPECT_FALSE(DeleteFileForce(dir_ / "Folder"));
  EXPECT_EQ(Entries(dir_.Path()), (std::vector<std::string>{"Folder", "other.Adi"}));
}

TEST_F(FilesDeleteForce, FileInUseByAnotherProcessStaysWhenRenameIsRefusedToo) {
  const std::string path = dir_.WriteFile("Contacts.Adi", "index");
  ChildLock lock(path, platform::LockKind::Shared);
  ASSERT_TRUE(lock.Locked());
  EXPECT_FALSE(DeleteFileForce(path));
  EXPECT_EQ(Entries(dir_.Path()), (std::vector<std::string>{"Contacts.Adi"}));
  EXPECT_EQ(TempDir::ReadFile(path), "index");
}

// The holder lets go just when the forced delete reads the clock for the
// time-stamped name, that is after both deletes were refused: the rename
// step then moves the file aside.
TEST_F(FilesDeleteForce, FileThatResistsBothDeletesIsRenamedAside) {
  const std::string path = dir_.WriteFile("Contacts.Adi", "index");
  ChildLock lock(path, platform::LockKind::Exclusive);
  ASSERT_TRUE(lock.Locked());
  clock_.OnRead([&](const platform::LocalTime&) { lock.Release(); });
  EXPECT_TRUE(DeleteFileForce(path));
  EXPECT_EQ(Entries(dir_.Path()), (std::vector<std::string>{aside_name_}));
  EXPECT_EQ(TempDir::ReadFile(dir_ / aside_name_), "index");
}

TEST_F(FilesDeleteForce, SecondRenameInTheSameSecondFails) {
  const std::string path = dir_ / "Contacts.Adi";
  for (const char* content : {"first", "second"}) {
    dir_.WriteFile("Contacts.Adi", content);
    ChildLock lock(path, platform::LockKind::Shared);
    ASSERT_TRUE(lock.Locked());
    clock_.OnRead([&](const platform::LocalTime&) { lock.Release(); });
    EXPECT_EQ(DeleteFileForce(path), std::string(content) == "first") << content;
  }
  EXPECT_EQ(Entries(dir_.Path()), (std::vector<std::string>{aside_name_, "Contacts.Adi"}));
  EXPECT_EQ(TempDir::ReadFile(dir_ / aside_name_), "first");
  EXPECT_EQ(TempDir::ReadFile(path), "second");
}

// ---------------------------------------------------------------- the running module

class FilesModule : public ::testing::Test {
 protected:
  ~FilesModule() override { OverrideModuleName(""); }
};

TEST_F(FilesModule, ModuleIsTheRunningExecutable) {
  OverrideModuleName("");
  EXPECT_EQ(GetModuleName(), platform::ExecutableFileName());
  EXPECT_FALSE(IsModuleDll());
  EXPECT_EQ(
      MakeModuleFileName("UserLog_", ".TXT"),
      "UserLog_" + ChangeFileExt(ExtractFileName(platform::ExecutableFileName()), "") + ".TXT");
}

TEST_F(FilesModule, DllIsToldByItsExtensionIgnoringCase) {
  const std::string exe_base = ChangeFileExt(ExtractFileName(platform::ExecutableFileName()), "");
  struct Case {
    std::string module;
    bool dll;
    std::string file_name;
  };
  for (const Case& c : std::vector<Case>{
           {"/inst/App/RebuildTool", false, "<RebuildTool>"},
           {"/inst/App/Rebuild.Tool.exe", false, "<Rebuild.Tool>"},
           {"/inst/App/Helper.DLL", true, "<Helper_" + exe_base + ">"},
           {"/inst/App/helper.dll", true, "<helper_" + exe_base + ">"},
           {"/inst/App/helper.dll.bak", false, "<helper.dll>"},
       }) {
    OverrideModuleName(c.module);
    EXPECT_EQ(GetModuleName(), c.module);
    EXPECT_EQ(IsModuleDll(), c.dll) << c.module;
    EXPECT_EQ(MakeModuleFileName("<", ">"), c.file_name) << c.module;
  }
}

}  // namespace
