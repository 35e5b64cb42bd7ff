// Index tags through the table: added to a table opened exclusively and
// built from its live records, read back in key order, rebuilt, checked,
// and the index page size option a table gets when it is opened.
#include <gtest/gtest.h>

#include <filesystem>

#include "IndexFileTestSupport.h"
#include "TableTestSupport.h"
#include "engine/DateValue.h"
#include "engine/EngineApi.h"
#include "engine/IndexFileErrors.h"
#include "engine/TableErrorCodes.h"
#include "engine/TableIndexScan.h"

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

  const char* const expressions[] = {"LASTNAME", "SCORE", "BALANCE", "BIRTHDATE", "ACTIVE",
                                     "LASTNAME;FIRSTNAME", "ACTIVE;BIRTHDATE;SCORE",
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
