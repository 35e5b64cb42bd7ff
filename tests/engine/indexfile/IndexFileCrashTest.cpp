// A build killed at any point leaves the old index file or the new one, and
// the clean-up removes whatever the killed build left beside it.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "IndexFileTestSupport.h"
#include "engine/indexfile/IndexFileVerify.h"
#include "engine/indexfile/IndexFileWriter.h"
#include "platform/Platform.h"
#include "support/TempDir.h"

namespace {

using namespace indextest;

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

enum class KillPoint { WhileSorting, TemporaryCreated, FirstTagWritten, Synced, Replaced };

// In a child process: adds the tag BIG to the index file and stops for good
// at `point`, after telling the parent through `ready`.
[[noreturn]] void BuildAndStop(const std::string& path, const MemoryTable& table, KillPoint point,
                               int ready) {
  auto stop_here = [ready] {
    const char byte = 'k';
    if (write(ready, &byte, 1) != 1) _exit(3);
    while (true) pause();  // until the parent's SIGKILL
  };
  engine::IndexBuildSettings settings;
  settings.IndexPath = path;
  settings.SortMemoryBytes = 64 * 1024;  // small, so that runs are spilled
  auto builder = engine::IndexBuilder::Create(Definition("BIG", "LASTNAME;FIRSTNAME;RECID"),
                                              table.Fields, settings);
  if (!builder.ok()) _exit(2);
  const auto& parts = (*builder)->Key().Parts();
  std::vector<KeyValue> values(parts.size());
  for (size_t r = 0; r < table.Rows.size(); ++r) {
    for (size_t p = 0; p < parts.size(); ++p)
      values[p] = table.ValueOf(table.Rows[r], parts[p].FieldIndex);
    (*builder)->Add(static_cast<uint32_t>(r + 1), values);
    if (point == KillPoint::WhileSorting && r == table.Rows.size() / 2) {
      if ((*builder)->Sorter().RunCount() == 0) _exit(2);
      stop_here();
    }
  }
  engine::IndexWriteOptions options;
  bool first_tag = true;
  options.OnStep = [&](engine::IndexWriteStep step) {
    if ((point == KillPoint::TemporaryCreated &&
         step == engine::IndexWriteStep::TemporaryCreated) ||
        (point == KillPoint::Synced && step == engine::IndexWriteStep::Synced) ||
        (point == KillPoint::Replaced && step == engine::IndexWriteStep::Replaced)) {
      stop_here();
    }
    if (point == KillPoint::FirstTagWritten && step == engine::IndexWriteStep::TagWritten &&
        first_tag)
      stop_here();
  };
  engine::Status status = engine::AddIndexTag(path, **builder, options);
  _exit(status.ok() ? 0 : 2);
}

TEST(IndexFileCrash, AKilledBuildLeavesTheOldFileOrTheNewOne) {
  const MemoryTable table = SampleTable(20000, 12);
  struct Case {
    KillPoint point;
    const char* label;
    int temporaries;  // left beside the index file by the killed build
    bool replaced;    // whether the new file is in place
  } cases[] = {
      {KillPoint::WhileSorting, "while sorting", 0, false},
      {KillPoint::TemporaryCreated, "temporary created", 1, false},
      {KillPoint::FirstTagWritten, "first tag written", 1, false},
      {KillPoint::Synced, "synced, before the rename", 1, false},
      {KillPoint::Replaced, "replaced", 0, true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir / "Contacts.Adi";
    ASSERT_TRUE(AddTag(path, table, Definition("PRIMARY", "RECID", true)).ok());
    ASSERT_TRUE(AddTag(path, table, Definition("BORN", "BIRTHDATE")).ok());
    const std::string before = TempDir::ReadFile(path);

    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipe_ends[0]);
      BuildAndStop(path, table, c.point, pipe_ends[1]);
    }
    close(pipe_ends[1]);
    char byte = 0;
    const ssize_t got = read(pipe_ends[0], &byte, 1);
    close(pipe_ends[0]);
    kill(child, SIGKILL);
    int wait_status = 0;
    ASSERT_EQ(waitpid(child, &wait_status, 0), child);
    ASSERT_EQ(got, 1) << c.label << ": the child ended before its stop, status " << wait_status;
    EXPECT_TRUE(WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == SIGKILL) << c.label;

    if (c.replaced) {
      auto file = engine::IndexFile::Open(path);
      ASSERT_TRUE(file.ok()) << c.label << ": " << file.status().Message();
      EXPECT_EQ((*file)->Tags().size(), 3u) << c.label;
    } else {
      EXPECT_TRUE(TempDir::ReadFile(path) == before) << c.label << ": the old file changed";
    }
    EXPECT_EQ(FilesIn(dir.Path()).size(), 1u + c.temporaries) << c.label;
    auto removed = engine::RemoveIndexTemporaries(path);
    ASSERT_TRUE(removed.ok()) << removed.status().Message();
    EXPECT_EQ(*removed, c.temporaries) << c.label;
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"Contacts.Adi"}) << c.label;
    const auto check = engine::VerifyIndexFile(path);
    EXPECT_TRUE(check.Ok()) << c.label << ": " << ::testing::PrintToString(check.Lines());
  }
}

TEST(IndexFileCrash, CleanUpTakesOnlyUnheldTemporariesOfThisIndex) {
  TempDir dir;
  const std::string path = dir / "Contacts.Adi";
  dir.WriteFile("Contacts.Adi", "index");
  dir.WriteFile("Contacts.Adi.~12-0.tmp", "stray");
  dir.WriteFile("CONTACTS.ADI.~13-4.TMP", "stray, other case");
  dir.WriteFile("Contacts.Adi.~sort-14-1.tmp", "stray sort run");
  dir.WriteFile("Contacts.Adi.~15-0.tmp", "held by a write in progress");
  dir.WriteFile("Orders.Adi.~12-0.tmp", "another table's");
  dir.WriteFile("Contacts.Adi.tmp", "not ours");
  dir.WriteFile("Contacts.ADT", "the table");
  const int held = open((dir / "Contacts.Adi.~15-0.tmp").c_str(), O_RDWR);
  ASSERT_GE(held, 0);
  ASSERT_TRUE(platform::LockFile(held, platform::LockKind::Exclusive));
  auto removed = engine::RemoveIndexTemporaries(path);
  close(held);
  ASSERT_TRUE(removed.ok()) << removed.status().Message();
  EXPECT_EQ(*removed, 3);
  EXPECT_EQ(FilesIn(dir.Path()),
            (std::vector<std::string>{"Contacts.ADT", "Contacts.Adi", "Contacts.Adi.tmp",
                                      "Contacts.Adi.~15-0.tmp", "Orders.Adi.~12-0.tmp"}));
}

}  // namespace
