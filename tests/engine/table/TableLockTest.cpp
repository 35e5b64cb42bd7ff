// Shared and exclusive opens, enforced by OS locks on the table file and on
// its index file: between two opens in this process, and against a child
// process that holds the table.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TableTestSupport.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::DatabaseFolder;

const std::vector<FieldDef> kFields = {{"RECID", FieldType::Character, 8}};

class TableLocks : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        engine_test::MakeTable(db_.Connection(), "Contacts.ADT", kFields, {{"a"}, {"b"}}).ok());
  }
  engine::Result<std::unique_ptr<engine::Table>> Open(OpenMode mode,
                                                      const std::string& name = "Contacts.ADT") {
    return engine::Table::Open(db_.Connection(), name, mode);
  }
  DatabaseFolder db_;
};

struct LockCase {
  OpenMode held;
  OpenMode wanted;
  bool admitted;
};

TEST_F(TableLocks, TheSecondOpenInOneProcessFollowsTheLockRules) {
  const LockCase cases[] = {
      {OpenMode::Shared, OpenMode::Shared, true},
      {OpenMode::Shared, OpenMode::Exclusive, false},
      {OpenMode::Exclusive, OpenMode::Shared, false},
      {OpenMode::Exclusive, OpenMode::Exclusive, false},
  };
  for (const LockCase& c : cases) {
    auto first = Open(c.held);
    ASSERT_TRUE(first.ok()) << first.status().Message();
    auto second = Open(c.wanted, "CONTACTS.adt");
    EXPECT_EQ(second.ok(), c.admitted);
    if (!second.ok()) {
      EXPECT_EQ(second.status().Code(), engine::AE_TABLE_IN_USE);
      EXPECT_NE(second.status().Message().find("Contacts.ADT"), std::string::npos)
          << second.status().Message();
    }
  }
  // Every handle above is closed: the table can be had exclusively again.
  EXPECT_TRUE(Open(OpenMode::Exclusive).ok());
}

TEST_F(TableLocks, AnOpenTableIsAFileInUse) {
  auto table = Open(OpenMode::Shared);
  ASSERT_TRUE(table.ok());
  EXPECT_TRUE(platform::IsFileInUse(db_ / "Contacts.ADT"));
  EXPECT_FALSE(platform::DeleteFile(db_ / "Contacts.ADT"));
  table.value().reset();
  EXPECT_FALSE(platform::IsFileInUse(db_ / "Contacts.ADT"));
}

TEST_F(TableLocks, TheIndexFileIsLockedWithTheTable) {
  db_.Dir().WriteFile("contacts.adi", "index bytes");
  {
    auto table = Open(OpenMode::Exclusive);
    ASSERT_TRUE(table.ok()) << table.status().Message();
    ASSERT_NE((*table)->IndexFile(), nullptr);
    EXPECT_EQ((*table)->IndexFilePath(), db_ / "contacts.adi");
    EXPECT_TRUE(platform::IsFileInUse(db_ / "contacts.adi"));
    EXPECT_FALSE(platform::DeleteFile(db_ / "contacts.adi"));
    // Closed before removal, the index file can go; reopening finds none.
    (*table)->CloseIndexFile();
    EXPECT_TRUE(platform::DeleteFile(db_ / "contacts.adi"));
    EXPECT_TRUE((*table)->ReopenIndexFile().ok());
    EXPECT_EQ((*table)->IndexFile(), nullptr);
    EXPECT_EQ((*table)->IndexFilePath(), db_ / "Contacts.Adi");
  }
  // An index file held elsewhere keeps the table from opening exclusively.
  const std::string index = db_.Dir().WriteFile("Contacts.Adi", "index bytes");
  auto holder = engine::LockedFile::Open(index, platform::LockKind::Shared);
  ASSERT_TRUE(holder.ok());
  auto table = Open(OpenMode::Exclusive);
  ASSERT_FALSE(table.ok());
  EXPECT_EQ(table.status().Code(), engine::AE_TABLE_IN_USE);
  EXPECT_NE(table.status().Message().find("Contacts.Adi"), std::string::npos)
      << table.status().Message();
  EXPECT_TRUE(Open(OpenMode::Shared).ok());
}

TEST_F(TableLocks, NamesAreFoundExactlyThenIgnoringCaseThenWithTheExtension) {
  for (const char* name : {"Contacts.ADT", "contacts.adt", "CONTACTS", "contacts"}) {
    auto table = Open(OpenMode::Shared, name);
    ASSERT_TRUE(table.ok()) << name << ": " << table.status().Message();
    EXPECT_EQ((*table)->Name(), "Contacts.ADT");
  }
  const std::pair<const char*, int> refused[] = {
      {"Missing.ADT", engine::AE_TABLE_NOT_FOUND},
      {"", engine::AE_INVALID_TABLE_NAME},
      {"../Contacts.ADT", engine::AE_INVALID_TABLE_NAME},
      {"sub\\Contacts.ADT", engine::AE_INVALID_TABLE_NAME},
      {"..", engine::AE_INVALID_TABLE_NAME}};
  for (const auto& [name, code] : refused) {
    auto table = Open(OpenMode::Shared, name);
    ASSERT_FALSE(table.ok()) << name;
    EXPECT_EQ(table.status().Code(), code) << name;
  }
}

// A child process that opens the table in `mode`, reports that it holds it,
// and keeps it until told to go.
class ChildHolding {
 public:
  ChildHolding(const std::string& folder, OpenMode mode) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      auto connection = engine::Connection::Connect(folder);
      char answer = 'F';
      std::unique_ptr<engine::Table> table;
      if (connection) {
        auto opened = engine::Table::Open(**connection, "Contacts.ADT", mode);
        if (opened) {
          table = std::move(opened.value());
          answer = 'R';
        }
      }
      (void)!write(ready[1], &answer, 1);
      char ignored;
      (void)!read(release[0], &ignored, 1);  // returns when the parent closes its end
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char answer = 0;
    held_ = read(ready[0], &answer, 1) == 1 && answer == 'R';
    close(ready[0]);
  }
  ~ChildHolding() { Release(); }
  bool Held() const { return held_; }
  void Release() {
    if (pid_ <= 0) return;
    close(release_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

TEST_F(TableLocks, AChildProcessHoldingTheTableRefusesOpensUntilItExits) {
  for (const OpenMode child_mode : {OpenMode::Shared, OpenMode::Exclusive}) {
    ChildHolding child(db_.Path(), child_mode);
    ASSERT_TRUE(child.Held());
    auto exclusive = Open(OpenMode::Exclusive);
    ASSERT_FALSE(exclusive.ok());
    EXPECT_EQ(exclusive.status().Code(), engine::AE_TABLE_IN_USE);
    EXPECT_EQ(Open(OpenMode::Shared).ok(), child_mode == OpenMode::Shared);
    child.Release();
    auto after = Open(OpenMode::Exclusive);
    EXPECT_TRUE(after.ok()) << after.status().Message();
  }
}

}  // namespace

namespace {

TEST_F(TableLocks, ATableOpenInAnotherProcessKeepsItsIndexFileFromBeingDeleted) {
  {
    auto table = Open(OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    engine::IndexTagDefinition primary{"PRIMARY", "RECID", {}};
    ASSERT_TRUE((*table)->AddIndex(primary, 0).ok());
    // The file the rename put in place is the one locked now.
    EXPECT_FALSE(platform::DeleteFile(db_ / "Contacts.Adi"));
  }
  ChildHolding child(db_.Path(), OpenMode::Shared);
  ASSERT_TRUE(child.Held());
  EXPECT_FALSE(platform::DeleteFile(db_ / "Contacts.Adi"));
  EXPECT_EQ(platform::GetLastError(), EBUSY);
  child.Release();
  EXPECT_TRUE(platform::DeleteFile(db_ / "Contacts.Adi"));
}

}  // namespace
