// Creating, loading, appending and deleting: a load appears whole or not at
// all, and a crash during an append never leaves a count of records that
// are not on disk.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "TableTestSupport.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;
using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::DatabaseFolder;
using engine_test::Row;

const std::vector<FieldDef> kFields = {{"RECID", FieldType::Character, 8},
                                       {"N", FieldType::Integer, 0}};

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `body` in a child process that is killed before it can clean up
// (`body` ends by raising SIGKILL), and waits for it.
template <typename Body>
void RunAndCrash(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(3);  // reached only when `body` did not crash as planned
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "the child did not crash as planned";
}

TEST(TableLoad, ALoadOverAnExistingTableNeedsReplaceAndAnUnusedTable) {
  DatabaseFolder db;
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", kFields, {{"old", "1"}}).ok());
  db.Dir().WriteFile("T.adi", "index of the old records");

  auto refused = engine::TableLoad::Begin(db.Connection(), "t.adt", kFields, false);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().Code(), engine::AE_TABLE_EXISTS);

  {
    auto user = engine::Table::Open(db.Connection(), "T.ADT", OpenMode::Shared);
    ASSERT_TRUE(user.ok());
    auto busy = engine::TableLoad::Begin(db.Connection(), "T.ADT", kFields, true);
    ASSERT_FALSE(busy.ok());
    EXPECT_EQ(busy.status().Code(), engine::AE_TABLE_IN_USE);
  }
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"T.ADT", "T.adi"}));

  auto load = engine::TableLoad::Begin(db.Connection(), "t.adt", kFields, true);
  ASSERT_TRUE(load.ok()) << load.status().Message();
  engine::RecordBuilder record(load->Schema());
  ASSERT_TRUE(engine::SetFieldFromText(record, 0, "new").ok());
  ASSERT_TRUE(load->Append(record).ok());
  // Until Finish the old table is what others would see (and it is held).
  EXPECT_EQ(engine::Table::Open(db.Connection(), "T.ADT", OpenMode::Shared).status().Code(),
            engine::AE_TABLE_IN_USE);
  ASSERT_TRUE(load->Finish().ok());

  // The existing file name is kept; the old index file went with the old records.
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"T.ADT"}));
  auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT");
  ASSERT_TRUE(table);
  EXPECT_EQ(engine_test::ReadRows(*table), (std::vector<Row>{{"new", std::nullopt}}));
}

TEST(TableLoad, ADamagedTableCanBeReplacedButNotOneInUse) {
  DatabaseFolder db;
  db.Dir().WriteFile("Broken.ADT", "not a table at all");
  db.Dir().WriteFile("Broken.Adi", "index of whatever was there");
  {
    auto index = engine::LockedFile::Open(db / "Broken.Adi", platform::LockKind::Shared);
    ASSERT_TRUE(index.ok());
    auto busy = engine::TableLoad::Begin(db.Connection(), "Broken.ADT", kFields, true);
    ASSERT_FALSE(busy.ok());
    EXPECT_EQ(busy.status().Code(), engine::AE_TABLE_IN_USE);
    EXPECT_NE(busy.status().Message().find("Broken.Adi"), std::string::npos)
        << busy.status().Message();
  }
  ASSERT_TRUE(
      engine_test::MakeTableReplacing(db.Connection(), "Broken.ADT", kFields, {{"fixed", "1"}})
          .ok());
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"Broken.ADT"}));
  auto table = engine_test::OpenOrFail(db.Connection(), "Broken.ADT");
  ASSERT_TRUE(table);
  EXPECT_EQ(engine_test::ReadRows(*table), (std::vector<Row>{{"fixed", "1"}}));
}

TEST(TableLoad, AnAbandonedLoadLeavesNothingAndTheOldTableIntact) {
  DatabaseFolder db;
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", kFields, {{"old", "1"}}).ok());
  for (const bool replace : {false, true}) {
    const std::string name = replace ? "T.ADT" : "Fresh.ADT";
    auto load = engine::TableLoad::Begin(db.Connection(), name, kFields, replace);
    ASSERT_TRUE(load.ok()) << load.status().Message();
    engine::RecordBuilder record(load->Schema());
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(load->Append(record).ok());
    // Goes out of scope unfinished, as an import that met a bad row does.
  }
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"T.ADT"}));
  auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT", OpenMode::Exclusive);
  ASSERT_TRUE(table);
  EXPECT_EQ(engine_test::ReadRows(*table), (std::vector<Row>{{"old", "1"}}));
}

TEST(TableLoad, ALoadFileLeftByACrashIsRemovedByTheNextLoad) {
  DatabaseFolder db;
  RunAndCrash([&] {
    auto load = engine::TableLoad::Begin(db.Connection(), "Crash.ADT", kFields, false);
    engine::RecordBuilder record(load->Schema());
    for (int i = 0; i < 100000; ++i) (void)load->Append(record);
    raise(SIGKILL);
  });
  ASSERT_EQ(FilesIn(db.Path()).size(), 1u);  // the remnant, under its load name
  EXPECT_NE(FilesIn(db.Path())[0].find("Crash.ADT.load-"), std::string::npos);
  EXPECT_EQ(engine::Table::Open(db.Connection(), "Crash.ADT", OpenMode::Shared).status().Code(),
            engine::AE_TABLE_NOT_FOUND);

  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "Crash.ADT", kFields, {{"x", "1"}}).ok());
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"Crash.ADT"}));
}

TEST(TableLoad, ACrashDuringAnAppendLeavesTheLastCommittedCount) {
  DatabaseFolder db;
  const std::vector<FieldDef> wide = {{"TEXT", FieldType::Character, 1000},
                                      {"N", FieldType::Integer, 0}};
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "Wide.ADT", wide, {}).ok());
  RunAndCrash([&] {
    auto table = engine::Table::Open(db.Connection(), "Wide.ADT", OpenMode::Exclusive);
    auto appender = (*table)->Appender();
    engine::RecordBuilder record((*table)->Schema());
    for (int i = 1; i <= 30000; ++i) {
      (void)record.SetChars(0, "row " + std::to_string(i));
      record.SetInteger(1, i);
      (void)appender->Append(record);
      if (i == 20000) (void)appender->Commit();
    }
    raise(SIGKILL);  // 10000 records written past the count, never committed
  });
  auto table = engine_test::OpenOrFail(db.Connection(), "Wide.ADT", OpenMode::Exclusive);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->RecordCount(), 20000u);
  const uint64_t committed_end =
      table->Header().HeaderSize + uint64_t{20000} * table->Schema().RecordLength();
  EXPECT_GT(fs::file_size(db / "Wide.ADT"), committed_end)
      << "the crash came after records reached the file";

  std::vector<Row> rows = engine_test::ReadRows(*table);
  ASSERT_EQ(rows.size(), 20000u);
  EXPECT_EQ(rows[19999], (Row{"row 20000", "20000"}));

  // Appending again writes over the remains and counts only what it commits.
  auto appender = table->Appender();
  ASSERT_TRUE(appender.ok());
  engine::RecordBuilder record(table->Schema());
  ASSERT_TRUE(record.SetChars(0, "after").ok());
  ASSERT_TRUE(appender->Append(record).ok());
  ASSERT_TRUE(appender->Commit().ok());
  rows = engine_test::ReadRows(*table);
  ASSERT_EQ(rows.size(), 20001u);
  EXPECT_EQ(rows.back(), (Row{"after", std::nullopt}));
}

TEST(TableLoad, AppendingNeedsAnExclusiveOpen) {
  DatabaseFolder db;
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", kFields, {}).ok());
  auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT", OpenMode::Shared);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Appender().status().Code(), engine::AE_NEEDS_EXCLUSIVE);
}

TEST(TableLoad, CreateRefusesTakenNamesAndAStaleIndexFile) {
  DatabaseFolder db;
  ASSERT_TRUE(engine::Table::Create(db.Connection(), "Made", kFields).ok());
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"Made.ADT"}));
  EXPECT_EQ(engine::Table::Create(db.Connection(), "MADE.adt", kFields).status().Code(),
            engine::AE_TABLE_EXISTS);

  db.Dir().WriteFile("Gone.Adi", "left behind by a deleted table");
  auto stale = engine::Table::Create(db.Connection(), "Gone.ADT", kFields);
  ASSERT_FALSE(stale.ok());
  EXPECT_EQ(stale.status().Code(), engine::AE_TABLE_EXISTS);
  EXPECT_NE(stale.status().Message().find("Gone.Adi"), std::string::npos);
}

TEST(TableLoad, DeletedRecordsStayInTheFileAndScansSkipThem) {
  DatabaseFolder db;
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", kFields,
                                     {{"a", "1"}, {"b", "2"}, {"c", "3"}})
                  .ok());
  {
    auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT", OpenMode::Shared);
    ASSERT_TRUE(table);
    ASSERT_TRUE(table->DeleteRecord(2).ok());
    ASSERT_TRUE(table->DeleteRecord(2).ok());  // already so
    EXPECT_EQ(table->DeleteRecord(4).Code(), engine::AE_RECORD_NUMBER);
  }
  auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->RecordCount(), 3u);
  EXPECT_EQ(table->CountLiveRecords().value(), 2u);
  EXPECT_EQ(engine_test::ReadRows(*table), (std::vector<Row>{{"a", "1"}, {"c", "3"}}));
  EXPECT_EQ(engine_test::ReadRows(*table, true).size(), 3u);
  engine::TableScanner scanner = table->Scan();
  ASSERT_TRUE(scanner.Next() && scanner.Next());
  EXPECT_EQ(scanner.RecNo(), 3u);
}

TEST(TableLoad, ScansCrossReadChunksWithoutLosingRecords) {
  // Records of 65,000 bytes make every read chunk hold one or a few records.
  DatabaseFolder db;
  const std::vector<FieldDef> fields = {{"BIG", FieldType::Character, 65000},
                                        {"N", FieldType::Integer, 0}};
  std::vector<Row> rows;
  for (int i = 1; i <= 40; ++i)
    rows.push_back({std::string(static_cast<size_t>(i) * 1000, 'a' + i % 26), std::to_string(i)});
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "Big.ADT", fields, rows).ok());
  auto table = engine_test::OpenOrFail(db.Connection(), "Big.ADT", OpenMode::Exclusive);
  ASSERT_TRUE(table);
  for (uint32_t recno : {5u, 17u, 33u}) ASSERT_TRUE(table->DeleteRecord(recno).ok());
  std::vector<Row> expected;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i + 1 != 5 && i + 1 != 17 && i + 1 != 33) expected.push_back(rows[i]);
  }
  EXPECT_EQ(engine_test::ReadRows(*table), expected);

  engine::TableScanner scanner = table->Scan();
  scanner.Reset(30);
  ASSERT_TRUE(scanner.Next());
  EXPECT_EQ(scanner.RecNo(), 30u);
  ASSERT_TRUE(scanner.Next() && scanner.Next());
  EXPECT_EQ(scanner.RecNo(), 32u);
  ASSERT_TRUE(scanner.Next());
  EXPECT_EQ(scanner.RecNo(), 34u);
}

}  // namespace
