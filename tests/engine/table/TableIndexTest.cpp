// Index tags through the table: added to a table opened exclusively and
// built from its live records, read back in key order, rebuilt, checked,
// and the index page size option a table gets when it is opened.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "IndexFileTestSupport.h"
#include "TableTestSupport.h"
#include "engine/api/EngineApi.h"
#include "engine/api/EngineHandles.h"
#include "engine/record/DateValue.h"
#include "engine/table/TableIndexScan.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine::IndexTagDefinition;
using engine::OpenMode;
using engine::Table;
using engine_test::DatabaseFolder;
using indextest::Definition;
using indextest::MemoryTable;

FieldType FieldTypeOf(engine::KeyPartType type) {
  return static_cast<FieldType>(static_cast<uint8_t>(type));
}

// Writes the rows of `memory` as the table `name` (deleted rows flagged).
void MakeTableOf(const DatabaseFolder& db, const std::string& name, const MemoryTable& memory) {
  std::vector<FieldDef> fields;
  for (const engine::KeyField& field : memory.Fields)
    fields.push_back({field.Name, FieldTypeOf(field.Type), field.Length});
  auto load = engine::TableLoad::Begin(db.Connection(), name, fields, false);
  ASSERT_TRUE(load.ok()) << load.status().Message();
  engine::RecordBuilder record(load->Schema());
  for (const auto& row : memory.Rows) {
    record.Clear();
    for (size_t i = 0; i < row.size(); ++i) {
      const indextest::Cell& cell = row[i];
      if (cell.Null) continue;
      switch (memory.Fields[i].Type) {
        case engine::KeyPartType::Character:
          ASSERT_TRUE(record.SetChars(i, cell.Text).ok());
          break;
        case engine::KeyPartType::Integer:
          record.SetInteger(i, cell.Int);
          break;
        case engine::KeyPartType::Double:
          record.SetDouble(i, cell.Real);
          break;
        case engine::KeyPartType::Date:
          record.SetDate(i, cell.Int);
          break;
        case engine::KeyPartType::Logical:
          record.SetLogical(i, cell.Bool);
          break;
      }
    }
    ASSERT_TRUE(load->Append(record).ok());
  }
  ASSERT_TRUE(load->Finish().ok());
  if (memory.Deleted.empty()) return;
  auto table = Table::Open(db.Connection(), name, OpenMode::Exclusive);
  ASSERT_TRUE(table.ok());
  for (size_t r = 0; r < memory.Deleted.size(); ++r) {
    if (memory.Deleted[r]) {
      ASSERT_TRUE((*table)->DeleteRecord(static_cast<uint32_t>(r + 1)).ok());
    }
  }
  ASSERT_TRUE((*table)->Sync().ok());
}

// The record numbers of the tag `tag` in its order, through the table.
std::vector<uint32_t> WalkTag(const Table& table, const std::string& tag) {
  auto scan = engine::TableIndexScan::Open(table, tag);
  EXPECT_TRUE(scan.ok()) << scan.status().Message();
  std::vector<uint32_t> records;
  if (!scan.ok()) return records;
  engine::Status status = (*scan)->First();
  while (status.ok() && !(*scan)->Eof()) {
    records.push_back((*scan)->RecNo());
    status = (*scan)->Next();
  }
  EXPECT_TRUE(status.ok()) << status.Message();
  return records;
}

std::vector<std::string> TagNames(const Table& table) {
  std::vector<std::string> names;
  auto indexes = table.Indexes();
  EXPECT_TRUE(indexes.ok()) << indexes.status().Message();
  if (indexes.ok() && *indexes) {
    for (const auto& tag : (*indexes)->Tags()) names.push_back(tag.Name);
  }
  return names;
}

void ExpectSound(const Table& table) {
  const auto check = table.VerifyIndexes();
  ASSERT_TRUE(check.has_value());
  EXPECT_TRUE(check->Ok()) << ::testing::PrintToString(check->Lines());
}

std::unique_ptr<Table> OpenExclusive(const DatabaseFolder& db, const std::string& name) {
  return engine_test::OpenOrFail(db.Connection(), name, OpenMode::Exclusive);
}

TEST(TableIndexes, EveryTypeAndOptionOrdersLikeAReferenceSortOfTheLiveRecords) {
  DatabaseFolder db;
  MemoryTable memory = indextest::SampleTable(600, 5);
  memory.Deleted.assign(memory.Rows.size(), false);
  for (size_t r = 0; r < memory.Rows.size(); r += 7) memory.Deleted[r] = true;
  MakeTableOf(db, "Contacts.ADT", memory);
  auto table = OpenExclusive(db, "Contacts.ADT");
  ASSERT_TRUE(table);

  const char* const expressions[] = {"LASTNAME",
                                     "SCORE",
                                     "BALANCE",
                                     "BIRTHDATE",
                                     "ACTIVE",
                                     "LASTNAME;FIRSTNAME",
                                     "ACTIVE;BIRTHDATE;SCORE",
                                     "FIRSTNAME;BALANCE;LASTNAME"};
  struct Options {
    bool descending, case_insensitive;
  } const options[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  int made = 0;
  for (const char* expression : expressions) {
    std::vector<uint32_t> fields;
    std::string rest = expression;
    while (true) {
      const size_t semicolon = rest.find(';');
      fields.push_back(memory.FieldIndex(rest.substr(0, semicolon)));
      if (semicolon == std::string::npos) break;
      rest.erase(0, semicolon + 1);
    }
    for (const Options& o : options) {
      const std::string tag = "T" + std::to_string(made++);
      ASSERT_TRUE(
          table->AddIndex(Definition(tag, expression, false, o.descending, o.case_insensitive), 0)
              .ok())
          << expression;
      EXPECT_EQ(WalkTag(*table, tag),
                indextest::ReferenceOrder(memory, fields, o.descending, o.case_insensitive))
          << expression << " descending " << o.descending << " case-insensitive "
          << o.case_insensitive;
    }
  }
  EXPECT_EQ(TagNames(*table).size(), static_cast<size_t>(made));
  ExpectSound(*table);
}

}  // namespace

// A table of one character field, an integer and a logical, made from rows
// of texts (nullopt for NULL); `deleted` lists record numbers to flag.
void MakeSmallTable(const DatabaseFolder& db, const std::vector<engine_test::Row>& rows,
                    const std::vector<uint32_t>& deleted = {}) {
  const std::vector<FieldDef> fields = {{"RECID", FieldType::Character, 6},
                                        {"N", FieldType::Integer, 0},
                                        {"OK", FieldType::Logical, 0}};
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", fields, rows).ok());
  if (deleted.empty()) return;
  auto table = OpenExclusive(db, "T.ADT");
  for (uint32_t recno : deleted) ASSERT_TRUE(table->DeleteRecord(recno).ok());
  ASSERT_TRUE(table->Sync().ok());
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(TableIndexes, UniqueTagsAnswer7059ForEmptyKeysAndTheirOwnCodeForDuplicates) {
  using engine_test::Row;
  struct Case {
    const char* label;
    std::vector<Row> rows;
    std::vector<uint32_t> deleted;
    const char* expression;
    int code;
  } const cases[] = {
      {"distinct", {{"a", "1", "T"}, {"b", "1", "T"}}, {}, "RECID", engine::AE_SUCCESS},
      {"two equal keys",
       {{"a", "1", "T"}, {"b", "2", "F"}, {"a", "3", "F"}},
       {},
       "RECID",
       engine::AE_INDEX_DUPLICATE_KEY},
      {"a NULL key",
       {{"a", "1", "T"}, {std::nullopt, "2", "T"}},
       {},
       "RECID",
       engine::AE_UNIQUE_EMPTY_KEY},
      {"an empty text",
       {{"a", "1", "T"}, {"", "2", "T"}},
       {},
       "RECID",
       engine::AE_UNIQUE_EMPTY_KEY},
      {"empty keys that are also duplicates",
       {{"", "1", "T"}, {"a", "2", "T"}, {"", "3", "T"}},
       {},
       "RECID",
       engine::AE_UNIQUE_EMPTY_KEY},
      {"empty and duplicate keys only in deleted records",
       {{"a", "1", "T"}, {std::nullopt, "2", "T"}, {"a", "3", "T"}, {"b", "4", "T"}},
       {2, 3},
       "RECID",
       engine::AE_SUCCESS},
      {"a compound key with one part filled",
       {{std::nullopt, "1", "T"}, {std::nullopt, "2", "T"}},
       {},
       "RECID;N",
       engine::AE_SUCCESS},
      {"a compound key with no part filled",
       {{"a", "1", "T"}, {"", std::nullopt, "T"}},
       {},
       "RECID;N",
       engine::AE_UNIQUE_EMPTY_KEY},
  };
  for (const Case& c : cases) {
    for (const bool file_before : {false, true}) {
      DatabaseFolder db;
      MakeSmallTable(db, c.rows, c.deleted);
      auto table = OpenExclusive(db, "T.ADT");
      ASSERT_TRUE(table);
      std::string before;
      if (file_before) {
        ASSERT_TRUE(table->AddIndex(Definition("BYN", "N"), 0).ok());
        before = TempDir::ReadFile(db / "T.Adi");
      }
      const engine::Status status = table->AddIndex(Definition("PRIMARY", c.expression, true), 0);
      EXPECT_EQ(status.Code(), c.code) << c.label << ": " << status.Message();
      if (status.Code() == engine::AE_INDEX_DUPLICATE_KEY) {
        EXPECT_NE(status.Message().find("PRIMARY"), std::string::npos) << status.Message();
        EXPECT_NE(status.Message().find("'a'"), std::string::npos) << status.Message();
      }
      uint32_t code = 0;
      engine::AdsGetLastError(&code, nullptr);
      if (!status.ok()) {
        EXPECT_EQ(code, static_cast<uint32_t>(c.code)) << c.label;
      }

      const std::vector<std::string> index_files = status.ok() || file_before
                                                       ? std::vector<std::string>{"T.ADT", "T.Adi"}
                                                       : std::vector<std::string>{"T.ADT"};
      EXPECT_EQ(FilesIn(db.Path()), index_files) << c.label;
      if (!status.ok() && file_before) {
        EXPECT_EQ(TempDir::ReadFile(db / "T.Adi"), before) << c.label << ": the old file changed";
      }
      if (status.ok() || file_before) {
        EXPECT_TRUE(platform::IsFileInUse(db / "T.Adi"))
            << c.label << ": the file in place is unlocked";
        ExpectSound(*table);
      }
    }
  }
}

TEST(TableIndexes, PageSizesTheOptionAtOpenAndTheIndexHandles) {
  DatabaseFolder db;
  MakeTableOf(db, "Contacts.ADT", indextest::SampleTable(3000, 9));
  struct Case {
    uint32_t asked;  // page size given to AddIndex
    const char* expression;
    uint32_t expected;  // page size of the file, 0 when the add fails
    int code;
  } const cases[] = {
      {0, "LASTNAME;FIRSTNAME", 1024, 0},  // the engine's default
      {512, "LASTNAME;FIRSTNAME", 512, 0},
      {1024, "SCORE", 1024, 0},
      {2048, "BIRTHDATE", 2048, 0},
      {4096, "RECID", 4096, 0},
      {8192, "BALANCE", 8192, 0},
      {0, "NOTES", 2048, 0},  // a 601-byte key needs larger pages
      {512, "NOTES", 0, engine::AE_INDEX_KEY_TOO_LONG},
      {3000, "RECID", 0, engine::AE_INDEX_BAD_PAGE_SIZE},
  };
  for (const Case& c : cases) {
    const std::string label = std::to_string(c.asked) + " " + c.expression;
    {
      auto table = OpenExclusive(db, "Contacts.ADT");
      ASSERT_TRUE(table);
      EXPECT_EQ(table->IndexPageSize(), 0u) << label << ": no index file, no page size";
      const engine::Status status = table->AddIndex(Definition("TAG", c.expression), c.asked);
      EXPECT_EQ(status.Code(), c.code) << label << ": " << status.Message();
      if (!status.ok()) {
        EXPECT_EQ(table->IndexFile(), nullptr) << label;
        continue;
      }
      ExpectSound(*table);
    }
    auto table = OpenExclusive(db, "Contacts.ADT");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->IndexPageSize(), c.expected) << label;
    engine::ADSHANDLE index = 0;
    uint32_t page_size = 0;
    ASSERT_EQ(engine::AdsGetIndexHandleByOrder(engine::HandleOfTable(*table), 1, &index), 0u)
        << label;
    ASSERT_EQ(engine::AdsGetIndexPageSize(index, &page_size), 0u) << label;
    EXPECT_EQ(page_size, c.expected) << label;
    // Adding with the option in force keeps the file's page size.
    ASSERT_TRUE(table->AddIndex(Definition("MORE", "SCORE"), table->IndexPageSize()).ok());
    EXPECT_EQ(table->Indexes().value()->PageSize(), c.expected) << label;
    table->CloseIndexFile();
    ASSERT_TRUE(platform::DeleteFile(db / "Contacts.Adi"));
  }
}

TEST(TableIndexes, TagsAreAddedReplacedInPlaceAndRebuiltFromTheLiveRecords) {
  DatabaseFolder db;
  MemoryTable memory = indextest::SampleTable(2000, 3);
  MakeTableOf(db, "Contacts.ADT", memory);
  auto table = OpenExclusive(db, "Contacts.ADT");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Reindex(0).Code(), engine::AE_ALREADY_SO);  // no index file: nothing to do
  EXPECT_EQ(table->IndexFile(), nullptr);

  ASSERT_TRUE(table->AddIndex(Definition("NAME", "LASTNAME;FIRSTNAME"), 0).ok());
  ASSERT_TRUE(table->AddIndex(Definition("BYSCORE", "SCORE"), 0).ok());
  ASSERT_TRUE(table->AddIndex(Definition("PRIMARY", "RECID", true), 0).ok());
  // Replacing keeps the tag's place; the other tags stay as they were.
  ASSERT_TRUE(table->AddIndex(Definition("byscore", "BIRTHDATE;SCORE", false, true), 0).ok());
  EXPECT_EQ(TagNames(*table), (std::vector<std::string>{"NAME", "byscore", "PRIMARY"}));
  const uint32_t born = memory.FieldIndex("BIRTHDATE"), score = memory.FieldIndex("SCORE");
  EXPECT_EQ(WalkTag(*table, "BYSCORE"),
            indextest::ReferenceOrder(memory, {born, score}, true, false));
  ExpectSound(*table);

  // Records deleted after the build: the tags hold keys the table no longer
  // has, which the check finds and a rebuild (here into another page size)
  // puts right.
  for (uint32_t recno = 1; recno <= memory.Rows.size(); recno += 3) {
    ASSERT_TRUE(table->DeleteRecord(recno).ok());
    memory.Deleted.resize(memory.Rows.size(), false);
    memory.Deleted[recno - 1] = true;
  }
  const auto stale = table->VerifyIndexes();
  ASSERT_TRUE(stale.has_value());
  EXPECT_FALSE(stale->Ok());
  EXPECT_NE(stale->Lines()[0].find("not in the table"), std::string::npos) << stale->Lines()[0];
  // A reading through the tag skips the deleted records all the same.
  const uint32_t last = memory.FieldIndex("LASTNAME"), first = memory.FieldIndex("FIRSTNAME");
  EXPECT_EQ(WalkTag(*table, "NAME"),
            indextest::ReferenceOrder(memory, {last, first}, false, false));

  ASSERT_TRUE(table->Reindex(4096).ok());
  EXPECT_EQ(table->Indexes().value()->PageSize(), 4096u);
  EXPECT_EQ(TagNames(*table), (std::vector<std::string>{"NAME", "byscore", "PRIMARY"}));
  EXPECT_EQ(table->Indexes().value()->Tags()[0].KeyCount, 2000u - 667u);
  EXPECT_TRUE(table->Indexes().value()->Tags()[2].Options.Unique);
  EXPECT_EQ(WalkTag(*table, "NAME"),
            indextest::ReferenceOrder(memory, {last, first}, false, false));
  ExpectSound(*table);
  ASSERT_TRUE(table->Reindex(0).ok());  // keeps the file's page size
  EXPECT_EQ(table->Indexes().value()->PageSize(), 4096u);
  EXPECT_TRUE(platform::IsFileInUse(db / "Contacts.Adi"));
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"Contacts.ADT", "Contacts.Adi"}));
}

TEST(TableIndexes, ChangesNeedTheTableOpenExclusively) {
  DatabaseFolder db;
  MakeSmallTable(db, {{"a", "1", "T"}});
  {
    auto table = OpenExclusive(db, "T.ADT");
    ASSERT_TRUE(table->AddIndex(Definition("PRIMARY", "RECID", true), 0).ok());
  }
  auto shared = engine_test::OpenOrFail(db.Connection(), "T.ADT", OpenMode::Shared);
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared->AddIndex(Definition("N", "N"), 0).Code(), engine::AE_NEEDS_EXCLUSIVE);
  EXPECT_EQ(shared->Reindex(0).Code(), engine::AE_NEEDS_EXCLUSIVE);
  EXPECT_EQ(engine::AdsReindex61(engine::HandleOfTable(*shared), 0),
            static_cast<uint32_t>(engine::AE_NEEDS_EXCLUSIVE));
  EXPECT_EQ(shared->IndexPageSize(), 1024u);  // reading is allowed
  EXPECT_EQ(WalkTag(*shared, "primary"), (std::vector<uint32_t>{1}));
}

// Overwrites page `page` (of 512 bytes) with zeros, as a lost sector reads.
void ZeroPage(const std::string& path, size_t page) {
  std::string bytes = TempDir::ReadFile(path);
  bytes.replace(page * 512, 512, std::string(512, '\0'));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(TableIndexes, ADamagedIndexFileAnswersEngineErrorsAndIsRebuiltFromItsTagDirectory) {
  struct Case {
    const char* label;
    void (*damage)(const std::string& path);
    int code;
    bool directory_reads;  // the tags are known from the tag directory
    bool by_adding;        // repaired by adding a tag, else by a reindex
  } const cases[] = {
      {"empty", [](const std::string& path) { std::filesystem::resize_file(path, 0); },
       engine::AE_INDEX_CORRUPT, false, false},
      {"not an index file",
       [](const std::string& path) { std::ofstream(path, std::ios::trunc) << "index bytes"; },
       engine::AE_INDEX_CORRUPT, false, false},
      {"cut short", [](const std::string& path) { std::filesystem::resize_file(path, 1500); },
       engine::AE_INDEX_CORRUPT, false, false},
      {"a flipped byte in the header",
       [](const std::string& path) { engine_test::FlipByte(path, 41); }, engine::AE_INDEX_CHECKSUM,
       false, false},
      {"a flipped byte in the tag directory",
       [](const std::string& path) {
         engine_test::FlipByte(path, std::filesystem::file_size(path) - 500);
       },
       engine::AE_INDEX_CHECKSUM, false, false},
      {"a flipped byte in a tree page, reindexed",
       [](const std::string& path) { engine_test::FlipByte(path, 512 + 100); },
       engine::AE_INDEX_CHECKSUM, true, false},
      {"a flipped byte in a tree page, a tag added",
       [](const std::string& path) { engine_test::FlipByte(path, 512 + 100); },
       engine::AE_INDEX_CHECKSUM, true, true},
      {"a tree page zeroed, reindexed", [](const std::string& path) { ZeroPage(path, 1); },
       engine::AE_INDEX_CHECKSUM, true, false},
      {"a tree page zeroed, a tag added", [](const std::string& path) { ZeroPage(path, 1); },
       engine::AE_INDEX_CHECKSUM, true, true},
  };
  for (const Case& c : cases) {
    DatabaseFolder db;
    MakeTableOf(db, "Contacts.ADT", indextest::SampleTable(300, 4));
    {
      auto table = OpenExclusive(db, "Contacts.ADT");
      ASSERT_TRUE(table->AddIndex(Definition("NAME", "LASTNAME;RECID"), 512).ok());
    }
    const std::string path = db / "Contacts.Adi";
    c.damage(path);
    const std::string damaged = TempDir::ReadFile(path);

    auto table = OpenExclusive(db, "Contacts.ADT");
    ASSERT_TRUE(table) << c.label;
    EXPECT_EQ(engine_test::ReadRows(*table).size(), 300u) << c.label;
    const auto check = table->VerifyIndexes();
    ASSERT_TRUE(check.has_value());
    EXPECT_FALSE(check->Ok()) << c.label;

    // Each use of the indexes answers the error (a damaged tree page shows
    // when the tag is read).
    const engine::Status scanned = [&] {
      auto scan = engine::TableIndexScan::Open(*table, "NAME");
      if (!scan.ok()) return scan.status();
      engine::Status status = (*scan)->First();
      while (status.ok() && !(*scan)->Eof()) status = (*scan)->Next();
      return status;
    }();
    EXPECT_EQ(scanned.Code(), c.code) << c.label << ": " << scanned.Message();
    if (!c.directory_reads) {
      // The tags the file held are not known: rebuilding and adding say so
      // and leave the file as it is.
      for (const engine::Status& refused :
           {table->Reindex(0), table->AddIndex(Definition("MORE", "SCORE"), 0)}) {
        EXPECT_EQ(refused.Code(), engine::AE_INDEX_DIRECTORY_LOST)
            << c.label << ": " << refused.Message();
        EXPECT_NE(refused.Message().find("tag directory cannot be read"), std::string::npos)
            << refused.Message();
      }
      EXPECT_EQ(TempDir::ReadFile(path), damaged) << c.label << ": the damaged file was changed";
      EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"Contacts.ADT", "Contacts.Adi"}));
      continue;
    }
    // The tags are known from the directory, so a rebuild from the records
    // repairs the file, and adding a tag keeps the one the file held.
    const engine::Status repaired =
        c.by_adding ? table->AddIndex(Definition("MORE", "SCORE"), 0) : table->Reindex(0);
    ASSERT_TRUE(repaired.ok()) << c.label << ": " << repaired.Message();
    ExpectSound(*table);
    auto indexes = table->Indexes();
    ASSERT_TRUE(indexes.ok() && *indexes);
    ASSERT_EQ((*indexes)->Tags().size(), c.by_adding ? 2u : 1u) << c.label;
    EXPECT_EQ((*indexes)->Tags()[0].Name, "NAME");
    EXPECT_EQ((*indexes)->PageSize(), 512u) << c.label;
  }
}

TEST(TableIndexes, EveryFlippedByteOfTheIndexFileFailsTheCheck) {
  DatabaseFolder db;
  MakeTableOf(db, "Contacts.ADT", indextest::SampleTable(120, 8));
  {
    auto table = OpenExclusive(db, "Contacts.ADT");
    ASSERT_TRUE(table->AddIndex(Definition("PRIMARY", "RECID", true), 512).ok());
    ASSERT_TRUE(
        table->AddIndex(Definition("NAME", "LASTNAME;FIRSTNAME", false, true, true), 512).ok());
    ExpectSound(*table);
  }
  const std::string path = db / "Contacts.Adi";
  const size_t size = std::filesystem::file_size(path);
  ASSERT_GE(size, 6u * 512) << size;  // a header, a few tree pages per tag, a directory
  // The check reads the file afresh each time, so one open serves the sweep.
  auto table = engine_test::OpenOrFail(db.Connection(), "Contacts.ADT");
  ASSERT_TRUE(table);
  for (size_t offset = 0; offset < size; ++offset) {
    const unsigned char mask = static_cast<unsigned char>(1u << (offset % 8));
    engine_test::FlipByte(path, offset, mask);
    const auto check = table->VerifyIndexes();
    ASSERT_TRUE(check.has_value());
    EXPECT_FALSE(check->Ok()) << "byte " << offset;
    engine_test::FlipByte(path, offset, mask);
  }
  EXPECT_TRUE(table->VerifyIndexes()->Ok());
}

TEST(TableIndexes, AnAddKilledMidwayLeavesTheOldFileOrTheNewOneAndTheNextOpenCleansUp) {
  const MemoryTable memory = indextest::SampleTable(20000, 6);
  struct Case {
    engine::IndexWriteStep stop;
    const char* label;
    bool replaced;  // whether the new file is in place
  } const cases[] = {
      {engine::IndexWriteStep::TemporaryCreated, "temporary created", false},
      {engine::IndexWriteStep::TagWritten, "a tag written", false},
      {engine::IndexWriteStep::Synced, "synced, before the rename", false},
      {engine::IndexWriteStep::Replaced, "replaced", true},
  };
  for (const Case& c : cases) {
    DatabaseFolder db;
    MakeTableOf(db, "Contacts.ADT", memory);
    {
      auto table = OpenExclusive(db, "Contacts.ADT");
      ASSERT_TRUE(table->AddIndex(Definition("PRIMARY", "RECID", true), 0).ok());
    }
    const std::string before = TempDir::ReadFile(db / "Contacts.Adi");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      auto connection = engine::Connection::Connect(db.Path());
      if (!connection) _exit(2);
      auto table = Table::Open(**connection, "Contacts.ADT", OpenMode::Exclusive);
      if (!table) _exit(2);
      const engine::Status status = (*table)->AddIndex(Definition("NAME", "LASTNAME;FIRSTNAME"), 0,
                                                       [&](engine::IndexWriteStep step) {
                                                         if (step != c.stop) return;
                                                         (void)!write(ready[1], "k", 1);
                                                         while (true)
                                                           pause();  // until the parent's SIGKILL
                                                       });
      _exit(status.ok() ? 0 : 2);
    }
    close(ready[1]);
    char byte = 0;
    const ssize_t got = read(ready[0], &byte, 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int wait_status = 0;
    ASSERT_EQ(waitpid(child, &wait_status, 0), child);
    ASSERT_EQ(got, 1) << c.label << ": the child ended before its stop";

    auto table = OpenExclusive(db, "Contacts.ADT");
    ASSERT_TRUE(table) << c.label;
    EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"Contacts.ADT", "Contacts.Adi"}))
        << c.label;
    if (c.replaced) {
      EXPECT_EQ(TagNames(*table), (std::vector<std::string>{"PRIMARY", "NAME"})) << c.label;
    } else {
      EXPECT_EQ(TempDir::ReadFile(db / "Contacts.Adi"), before) << c.label;
    }
    ExpectSound(*table);
  }
}

TEST(TableIndexes, ScansSeekTheFirstKeyAtOrAfterAValueInTheTagsOrder) {
  DatabaseFolder db;
  const std::vector<FieldDef> fields = {{"NAME", FieldType::Character, 8},
                                        {"N", FieldType::Integer, 0},
                                        {"BORN", FieldType::Date, 0}};
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", fields,
                                     {{"smith", "5", "2001-01-01"},           // 1
                                      {"Adams", "-3", "1999-12-31"},          // 2
                                      {"SMITH", "7", std::nullopt},           // 3
                                      {"Brown", "5", "2001-01-01"},           // 4 (deleted)
                                      {"Young", std::nullopt, "2020-02-29"},  // 5
                                      {"", "0", "1970-01-01"}})               // 6
                  .ok());
  auto table = OpenExclusive(db, "T.ADT");
  ASSERT_TRUE(table->DeleteRecord(4).ok());
  ASSERT_TRUE(table->AddIndex(Definition("CI", "NAME;N", false, false, true), 0).ok());
  ASSERT_TRUE(table->AddIndex(Definition("DOWN", "N", false, true), 0).ok());
  ASSERT_TRUE(table->AddIndex(Definition("BYDATE", "BORN"), 0).ok());
  struct Case {
    const char* tag;
    const char* from;  // nullptr: from the first key
    std::vector<uint32_t> records;
  } const cases[] = {
      {"CI", nullptr, {6, 2, 1, 3, 5}},  // blank first; smith and SMITH equal, by N
      {"CI", "s", {1, 3, 5}},
      {"ci", "SMITH;6", {3, 5}},
      {"CI", "Brown", {1, 3, 5}},  // the deleted record's key is passed over
      {"CI", "Z", {}},
      {"DOWN", nullptr, {3, 1, 6, 2, 5}},  // descending: NULL last
      {"DOWN", "5", {1, 6, 2, 5}},
      {"DOWN", "", {5}},  // an empty text is NULL for a number
      {"BYDATE", "2000-01-01", {1, 5}},
      {"BYDATE", "", {3, 6, 2, 1, 5}},
  };
  for (const Case& c : cases) {
    auto scan = engine::TableIndexScan::Open(*table, c.tag);
    ASSERT_TRUE(scan.ok()) << scan.status().Message();
    engine::Status status = c.from ? (*scan)->SeekText(c.from) : (*scan)->First();
    std::vector<uint32_t> records;
    while (status.ok() && !(*scan)->Eof()) {
      records.push_back((*scan)->RecNo());
      EXPECT_FALSE((*scan)->Record().IsDeleted());
      status = (*scan)->Next();
    }
    EXPECT_TRUE(status.ok()) << status.Message();
    EXPECT_EQ(records, c.records) << c.tag << " from " << (c.from ? c.from : "the start");
  }
  const std::pair<const char*, const char*> refused[] = {
      {"DOWN", "five"}, {"DOWN", "5;6"}, {"BYDATE", "2001-02-30"}, {"CI", "far too long"}};
  for (const auto& [tag, from] : refused) {
    auto scan = engine::TableIndexScan::Open(*table, tag);
    ASSERT_TRUE(scan.ok());
    EXPECT_EQ((*scan)->SeekText(from).Code(), engine::AE_INDEX_BAD_KEY_VALUE) << tag << " " << from;
  }
  EXPECT_EQ(engine::TableIndexScan::Open(*table, "NONE").status().Code(),
            engine::AE_INDEX_TAG_NOT_FOUND);
}
