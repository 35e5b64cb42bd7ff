// A new state written beside its file and put in place by one rename: the
// temporary names never take an existing file, a failure leaves the old file
// as it was, and the clean-up removes what a killed writer left and nothing
// a running writer holds.
#include "engine/util/StagedFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/util/IndexFileErrors.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"
#include "support/TempDir.h"

namespace {

using engine::FileNameOfPath;
using engine::StagedNaming;

constexpr StagedNaming kUnique{".~", ".tmp", true, engine::AE_INDEX_IO};
constexpr StagedNaming kFixed{".rewrite-new", "", false, 0};

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The serial at the end of a unique temporary name "T.~PID-SERIAL.tmp".
unsigned SerialOf(const std::string& path) {
  const size_t dash = path.rfind('-');
  return static_cast<unsigned>(std::stoul(path.substr(dash + 1)));
}

TEST(StagedFile, TakesTheNextFreeNameAndHoldsItLocked) {
  TempDir dir;
  const std::string target = dir / "Contacts.Adi";
  auto first = engine::CreateStaged(target, kUnique);
  ASSERT_TRUE(first.ok()) << first.status().Message();
  // Names the next two writes would take are taken already (a writer of
  // another process with the same id, or a remnant): they are skipped and
  // stay as they are.
  const std::string prefix = target + ".~" + std::to_string(getpid()) + "-";
  const unsigned next = SerialOf(first->Path()) + 1;
  dir.WriteFile(FileNameOfPath(prefix) + std::to_string(next) + ".tmp", "squatter 1");
  dir.WriteFile(FileNameOfPath(prefix) + std::to_string(next + 1) + ".tmp", "squatter 2");
  auto second = engine::CreateStaged(target, kUnique);
  ASSERT_TRUE(second.ok()) << second.status().Message();
  EXPECT_EQ(second->Path(), prefix + std::to_string(next + 2) + ".tmp");
  EXPECT_EQ(TempDir::ReadFile(prefix + std::to_string(next) + ".tmp"), "squatter 1");
  EXPECT_TRUE(platform::IsFileInUse(first->Path()));
  EXPECT_TRUE(platform::IsFileInUse(second->Path()));
  // Locked files are a running writer's: the clean-up leaves them, and takes
  // the unheld squatters.
  auto removed = engine::RemoveStaleStaged(target, kUnique);
  ASSERT_TRUE(removed.ok()) << removed.status().Message();
  EXPECT_EQ(*removed, 2);
  EXPECT_EQ(FilesIn(dir.Path()).size(), 2u);
}

TEST(StagedFile, AFixedNameThatExistsIsRefusedAndKept) {
  TempDir dir;
  const std::string target = dir / "T.ADT";
  dir.WriteFile("T.ADT.rewrite-new", "a writer's");
  auto staged = engine::CreateStaged(target, kFixed);
  ASSERT_FALSE(staged.ok());
  EXPECT_EQ(staged.status().Code(), engine::AE_TABLE_EXISTS);
  EXPECT_EQ(TempDir::ReadFile(target + ".rewrite-new"), "a writer's");
}

TEST(StagedFile, PutInPlaceReplacesTheTargetAfterTheSync) {
  TempDir dir;
  const std::string target = dir.WriteFile("T.ADT", "old");
  auto staged = engine::CreateStaged(target, kUnique);
  ASSERT_TRUE(staged.ok());
  ASSERT_TRUE(staged->WriteAt(0, "new", 3).ok());
  std::string at_sync;
  const engine::Status placed = engine::PutStagedInPlace(
      *staged, target, /*replace=*/true, kUnique, [&] { at_sync = TempDir::ReadFile(target); });
  ASSERT_TRUE(placed.ok()) << placed.Message();
  EXPECT_EQ(at_sync, "old");  // the rename comes after the sync
  EXPECT_EQ(staged->Path(), target);
  EXPECT_EQ(TempDir::ReadFile(target), "new");
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"T.ADT"});
}

TEST(StagedFile, AFailedPutLeavesTheOldFileAndTheTemporaryName) {
  struct Case {
    const char* label;
    bool replace;
    bool target_is_folder;
    int code;
  };
  const Case cases[] = {
      {"an existing target without replace", false, false, engine::AE_TABLE_EXISTS},
      {"a rename the system refuses", true, true, engine::AE_INDEX_IO},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string target = dir / "T.ADT";
    if (c.target_is_folder) {
      dir.WriteFile("T.ADT/inside", "kept");
    } else {
      dir.WriteFile("T.ADT", "old");
    }
    auto staged = engine::CreateStaged(target, kUnique);
    ASSERT_TRUE(staged.ok()) << c.label;
    ASSERT_TRUE(staged->WriteAt(0, "new", 3).ok());
    const std::string temporary = staged->Path();
    const engine::Status placed = engine::PutStagedInPlace(*staged, target, c.replace, kUnique);
    EXPECT_EQ(placed.Code(), c.code) << c.label << ": " << placed.Message();
    EXPECT_EQ(staged->Path(), temporary) << c.label;
    EXPECT_EQ(TempDir::ReadFile(temporary), "new") << c.label;
    if (c.target_is_folder) {
      EXPECT_EQ(TempDir::ReadFile(target + "/inside"), "kept") << c.label;
    } else {
      EXPECT_EQ(TempDir::ReadFile(target), "old") << c.label;
    }
  }
}

TEST(StagedFile, CleanUpTakesWhatAKilledWriterLeftAndOnlyThat) {
  TempDir dir;
  const std::string target = dir.WriteFile("Contacts.Adi", "index");
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_ends[0]);
    auto staged = engine::CreateStaged(target, kUnique);
    if (!staged.ok() || !staged->WriteAt(0, "half", 4).ok()) _exit(2);
    const char byte = 'k';
    if (write(pipe_ends[1], &byte, 1) != 1) _exit(3);
    while (true) pause();  // until the parent's SIGKILL
  }
  close(pipe_ends[1]);
  char byte = 0;
  const ssize_t got = read(pipe_ends[0], &byte, 1);
  close(pipe_ends[0]);
  kill(child, SIGKILL);
  int wait_status = 0;
  ASSERT_EQ(waitpid(child, &wait_status, 0), child);
  ASSERT_EQ(got, 1) << "the writer ended before its stop, status " << wait_status;

  // Beside the killed writer's file: one of a running writer, files that
  // only look alike, and a folder under a temporary name.
  auto running = engine::CreateStaged(target, kUnique);
  ASSERT_TRUE(running.ok());
  dir.WriteFile("CONTACTS.ADI.~77-1.TMP", "a remnant, in other letters");
  dir.WriteFile("Orders.Adi.~77-1.tmp", "another file's");
  dir.WriteFile("Contacts.Adi.~.tmp", "no serial: not a temporary name");
  dir.WriteFile("Contacts.Adi.~77-2.tmp/inside", "a folder");
  auto removed = engine::RemoveStaleStaged(target, kUnique);
  ASSERT_TRUE(removed.ok()) << removed.status().Message();
  EXPECT_EQ(*removed, 2);
  const std::string running_name = FileNameOfPath(running->Path());
  std::vector<std::string> left{"Contacts.Adi", "Contacts.Adi.~.tmp", "Contacts.Adi.~77-2.tmp",
                                "Orders.Adi.~77-1.tmp", running_name};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(FilesIn(dir.Path()), left);
  EXPECT_EQ(TempDir::ReadFile(target), "index");
}

TEST(StagedFile, TemporaryNamesOfATarget) {
  struct Case {
    const char* name;
    StagedNaming naming;
    bool matches;
  };
  const Case cases[] = {
      {"T.ADT.~12-0.tmp", kUnique, true},      {"t.adt.~12-0.TMP", kUnique, true},
      {"T.ADT.~sort-12-0.tmp", kUnique, true},  // a sort run beside it
      {"T.ADT.~.tmp", kUnique, false},         {"T.ADT.tmp", kUnique, false},
      {"T.ADTX.~12-0.tmp", kUnique, false},    {"T.ADT.~12-0.tmpx", kUnique, false},
      {"T.ADT.rewrite-new", kFixed, true},     {"t.adt.REWRITE-NEW", kFixed, true},
      {"T.ADT.rewrite-new2", kFixed, false},   {"T.ADT.rewrite-ne", kFixed, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(engine::IsStagedNameOf(c.name, "T.ADT", c.naming), c.matches) << c.name;
}

}  // namespace
