// A change of a table's encryption killed at any point leaves the old table
// or the new one, whole and with its index file; the next open finishes or
// undoes what the killed change left.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "TableEncryptionTestSupport.h"
#include "engine/util/Checksum.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using namespace crypt_test;
using engine::TableRewriteStep;
using engine_test::DatabaseFolder;
using engine_test::ReadRows;

// Enough rows for two blocks of records, so that the first kill stops the
// copy halfway.
constexpr int kRows = 12000;

// In a child process: encrypts (or decrypts) People.ADT and stops for good
// at `point`, after telling the parent through `ready`.
[[noreturn]] void RewriteAndStop(const DatabaseFolder& db, bool encrypt, TableRewriteStep point,
                                 int ready) {
  engine::TableRewriteOptions options = QuickRewrite();
  options.OnStep = [&](TableRewriteStep step) {
    if (step != point) return;
    const char byte = 'k';
    if (write(ready, &byte, 1) != 1) _exit(3);
    while (true) pause();  // until the parent's SIGKILL
  };
  const engine::Status status =
      encrypt ? engine::EncryptTable(db.Connection(), "People.ADT", kPassword, options)
              : engine::DecryptTable(db.Connection(), "People.ADT", kPassword, options);
  _exit(status.ok() ? 0 : 2);
}

// Runs RewriteAndStop in a child, calls `while_stopped` while it waits at
// its point, then kills it.
void KillRewriteAt(const DatabaseFolder& db, bool encrypt, TableRewriteStep point,
                   const std::function<void()>& while_stopped = {}) {
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_ends[0]);
    RewriteAndStop(db, encrypt, point, pipe_ends[1]);
  }
  close(pipe_ends[1]);
  char byte = 0;
  const ssize_t got = read(pipe_ends[0], &byte, 1);
  close(pipe_ends[0]);
  if (got == 1 && while_stopped) while_stopped();
  kill(child, SIGKILL);
  int wait_status = 0;
  ASSERT_EQ(waitpid(child, &wait_status, 0), child);
  ASSERT_EQ(got, 1) << "the child ended before its stop, status " << wait_status;
}

// The table opens, is encrypted or not as `encrypted` says, holds every
// row, its indexes check out, and nothing else is left in the folder.
void ExpectWholeTable(const DatabaseFolder& db, int rows, bool encrypted,
                      const std::string& label) {
  auto table = engine_test::OpenOrFail(db.Connection(), "People.ADT");
  ASSERT_TRUE(table) << label;
  EXPECT_EQ(table->IsEncrypted(), encrypted) << label;
  if (encrypted) {
    ASSERT_TRUE(table->EnableEncryption(kPassword).ok()) << label;
  }
  EXPECT_TRUE(ReadRows(*table) == PeopleRows(rows)) << label << ": the records differ";
  const auto check = table->VerifyIndexes();
  ASSERT_TRUE(check) << label;
  EXPECT_TRUE(check->Ok()) << label << ": " << ::testing::PrintToString(check->Lines());
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"People.ADT", "People.Adi"})) << label;
}

TEST(TableRewriteCrash, AKilledChangeLeavesTheOldTableOrTheNewOne) {
  const struct {
    bool encrypt;
    TableRewriteStep point;
    const char* label;
    bool done;  // whether the change is decided at that point
  } cases[] = {
      {true, TableRewriteStep::RecordsWritten, "encrypt: first records written", false},
      {true, TableRewriteStep::TableStaged, "encrypt: new table file written", false},
      {true, TableRewriteStep::IndexStaged, "encrypt: new index file written", false},
      {true, TableRewriteStep::Committed, "encrypt: committed", true},
      {true, TableRewriteStep::TableReplaced, "encrypt: between the renames", true},
      {true, TableRewriteStep::IndexReplaced, "encrypt: both renamed", true},
      {true, TableRewriteStep::Finished, "encrypt: finished", true},
      {false, TableRewriteStep::IndexStaged, "decrypt: new index file written", false},
      {false, TableRewriteStep::TableReplaced, "decrypt: between the renames", true},
  };
  for (const auto& c : cases) {
    DatabaseFolder db;
    MakePeople(db, kRows, /*encrypt=*/!c.encrypt);
    KillRewriteAt(db, c.encrypt, c.point, [&] {
      // Meanwhile the table is in use: neither its old files nor its new
      // ones can be opened.
      const auto opened =
          engine::Table::Open(db.Connection(), "People.ADT", engine::OpenMode::Shared);
      EXPECT_EQ(opened.status().Code(), engine::AE_TABLE_IN_USE) << c.label;
    });
    const bool encrypted = c.encrypt == c.done;
    ExpectWholeTable(db, kRows, encrypted, c.label);
  }
}

std::string CommitText(const std::string& table, const std::string& index) {
  const std::string lines = "RIREWRITE 1\ntable " + table + "\nindex " + index + "\n";
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", engine::Crc32c(lines.data(), lines.size()));
  return lines + "crc " + crc + "\n";
}

// A commit file is followed only when it is whole and names this table's
// own files; any other undoes the change it would have committed.
TEST(TableRewriteCrash, OnlyASoundCommitFileOfTheTableIsFollowed) {
  const struct {
    const char* label;
    std::string commit;
    bool followed;
  } cases[] = {
      {"sound", CommitText("People.ADT", "People.Adi"), true},
      {"torn", CommitText("People.ADT", "People.Adi").substr(0, 30), false},
      {"empty", "", false},
      {"changed byte",
       "RIREWRITE 1\ntable People.ADT\nindex People.Adj\ncrc " +
           CommitText("People.ADT", "People.Adi").substr(46),
       false},
      {"another table", CommitText("Orders.ADT", "Orders.Adi"), false},
      {"a path elsewhere", CommitText("People.ADT", "../People.Adi"), false},
  };
  for (const auto& c : cases) {
    DatabaseFolder db;
    MakePeople(db, 300, /*encrypt=*/false);
    // The new files are complete; the commit file is the one under test.
    KillRewriteAt(db, true, TableRewriteStep::IndexStaged);
    db.Dir().WriteFile("People.ADT.rewrite-commit", c.commit);
    ExpectWholeTable(db, 300, c.followed, c.label);
  }
}

}  // namespace
