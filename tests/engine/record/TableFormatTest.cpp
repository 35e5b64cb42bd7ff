// The table file round trip, and damaged files: every damage is an engine
// error naming the file, never a crash and never wrong records.
#include <gtest/gtest.h>

#include <filesystem>

#include "TableTestSupport.h"
#include "engine/record/Record.h"
#include "engine/record/TableFormat.h"
#include "engine/util/Checksum.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::Cell;
using engine_test::DatabaseFolder;
using engine_test::Row;

const std::vector<FieldDef> kEveryType = {
    {"ONE", FieldType::Character, 1},    {"NAME", FieldType::Character, 12},
    {"COUNT", FieldType::Integer, 0},    {"AMOUNT", FieldType::Double, 0},
    {"BORN", FieldType::Date, 0},        {"ACTIVE", FieldType::Logical, 0},
    {"BIG", FieldType::Character, 65000}};

std::string AllBytesExceptBlank() {
  std::string s;
  for (int b = 1; b < 256; ++b) {
    if (b != ' ') s.push_back(static_cast<char>(b));
  }
  return s;
}

TEST(TableFormat, EveryTypeNullsEmptyTextsAndTheLargestFieldRoundTrip) {
  DatabaseFolder db;
  const std::string big(65000, 'x');
  const std::string big_with_bytes = AllBytesExceptBlank() + std::string(65000 - 254, 'q');
  // Input rows and what reading them back gives.
  const std::vector<std::pair<Row, Row>> cases = {
      {{"a", "hello", "-2147483648", "-0.5", "0001-01-01", "T", big},
       {"a", "hello", "-2147483648", "-0.5", "0001-01-01", "T", big}},
      {{"Z", " lead  inner", "2147483647", "1e+300", "9999-12-31", "F", big_with_bytes},
       {"Z", " lead  inner", "2147483647", "1e+300", "9999-12-31", "F", big_with_bytes}},
      {{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
        std::nullopt},
       {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
        std::nullopt}},
      {{"", "", "0", "0", "2000-02-29", "f", ""}, {"", "", "0", "0", "2000-02-29", "F", ""}},
      {{" ", "trail   ", "+7", "0.1", "1970-01-01", "t", "   "},
       {"", "trail", "7", "0.1", "1970-01-01", "T", ""}},
      {{"x", "123456789012", "-1", "3.141592653589793", "2024-12-31", "F", "y"},
       {"x", "123456789012", "-1", "3.141592653589793", "2024-12-31", "F", "y"}},
  };
  std::vector<Row> input;
  std::vector<Row> expected;
  for (const auto& [in, out] : cases) {
    input.push_back(in);
    expected.push_back(out);
  }
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "Every.ADT", kEveryType, input).ok());

  auto table = engine_test::OpenOrFail(db.Connection(), "Every.ADT");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->RecordCount(), cases.size());
  ASSERT_EQ(table->Schema().FieldCount(), kEveryType.size());
  for (size_t i = 0; i < kEveryType.size(); ++i) {
    EXPECT_EQ(table->Schema().Field(i).Name, kEveryType[i].Name);
    EXPECT_EQ(table->Schema().Field(i).Type, kEveryType[i].Type);
  }
  EXPECT_EQ(table->Schema().Field(6).Length, 65000u);
  EXPECT_EQ(engine_test::ReadRows(*table), expected);

  // An empty text and NULL read as the same text; the null query tells them apart.
  engine::TableScanner scanner = table->Scan();
  ASSERT_TRUE(scanner.Next() && scanner.Next() && scanner.Next() && scanner.Next());
  EXPECT_FALSE(scanner.Record().IsNull(1));
  EXPECT_EQ(scanner.Record().TrimmedChars(1), "");
  EXPECT_EQ(scanner.Record().Chars(1), std::string(12, ' '));
}

TEST(TableFormat, TypedAccessReadsTheStoredValues) {
  DatabaseFolder db;
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T", kEveryType,
                                     {{"q", "name", "-42", "2.5", "2000-01-01", "T", "b"}})
                  .ok());
  auto table = engine_test::OpenOrFail(db.Connection(), "t.adt");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Name(), "T.ADT");  // ".ADT" added at create, found ignoring case
  engine::TableScanner scanner = table->Scan();
  ASSERT_TRUE(scanner.Next());
  const engine::RecordView r = scanner.Record();
  EXPECT_EQ(r.Chars(1), "name        ");
  EXPECT_EQ(r.Integer(2), -42);
  EXPECT_EQ(r.Double(3), 2.5);
  EXPECT_EQ(r.Date(4), 2451545);  // the Julian day number of 2000-01-01
  EXPECT_TRUE(r.Logical(5));
  EXPECT_EQ(scanner.RecNo(), 1u);
  EXPECT_FALSE(scanner.Next());
}

TEST(TableFormat, UnsoundFieldListsAreRefusedAtCreate) {
  DatabaseFolder db;
  const std::vector<std::pair<std::vector<FieldDef>, int>> cases = {
      {{}, engine::AE_INVALID_FIELD},
      {{{"A", FieldType::Character, 0}}, engine::AE_INVALID_FIELD},
      {{{"A", FieldType::Character, 65001}}, engine::AE_INVALID_FIELD},
      {{{"1A", FieldType::Integer, 0}}, engine::AE_INVALID_FIELD},
      {{{"A B", FieldType::Integer, 0}}, engine::AE_INVALID_FIELD},
      {{{std::string(129, 'N'), FieldType::Integer, 0}}, engine::AE_INVALID_FIELD},
      {{{"Same", FieldType::Integer, 0}, {"SAME", FieldType::Date, 0}}, engine::AE_INVALID_FIELD},
      {std::vector<FieldDef>(17, FieldDef{"", FieldType::Character, 65000}),
       engine::AE_RECORD_TOO_LONG},
  };
  for (const auto& [fields_in, code] : cases) {
    std::vector<FieldDef> fields = fields_in;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].Name.empty()) fields[i].Name = "F" + std::to_string(i);
    }
    auto table = engine::Table::Create(db.Connection(), "Bad", fields);
    ASSERT_FALSE(table.ok());
    EXPECT_EQ(table.status().Code(), code) << table.status().Message();
  }
  // Nothing was left behind by the refused creates.
  EXPECT_TRUE(std::filesystem::is_empty(db.Path()));
}

// ---------------------------------------------------------------- damage

class DamagedTable : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<Row> rows;
    for (int i = 0; i < 40; ++i)
      rows.push_back({"n" + std::to_string(i), std::to_string(i), "2001-02-03"});
    ASSERT_TRUE(engine_test::MakeTable(db_.Connection(), "Dmg.ADT", kFields, rows).ok());
    path_ = db_ / "Dmg.ADT";
    original_ = TempDir::ReadFile(path_);
  }

  void Restore() { db_.Dir().WriteFile("Dmg.ADT", original_); }

  engine::Result<std::unique_ptr<engine::Table>> Open() {
    return engine::Table::Open(db_.Connection(), "Dmg.ADT", OpenMode::Shared);
  }

  void ExpectFileError(size_t offset) {
    auto table = Open();
    ASSERT_FALSE(table.ok()) << "byte " << offset << " flipped, yet the table opened";
    const int code = table.status().Code();
    EXPECT_TRUE(code == engine::AE_TABLE_CORRUPT || code == engine::AE_TABLE_TRUNCATED ||
                code == engine::AE_TABLE_VERSION)
        << code;
    EXPECT_NE(table.status().Message().find("Dmg.ADT"), std::string::npos)
        << table.status().Message();
  }

  // Rewrites one descriptor field and seals the header checksum again, the
  // way a buggy writer (not a random flip) would damage it.
  void RewriteDescriptor(size_t field, size_t at, const std::vector<uint8_t>& bytes) {
    std::string data = original_;
    std::copy(bytes.begin(), bytes.end(),
              data.begin() + static_cast<long>(engine::kDescriptorsOffset +
                                               field * engine::kDescriptorSize + at));
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    uint32_t crc = engine::Crc32c(p, 124);
    crc = engine::Crc32c(p + engine::kDescriptorsOffset, kFields.size() * engine::kDescriptorSize,
                         crc);
    engine::detail::StoreLittle(reinterpret_cast<uint8_t*>(data.data()) + 124, crc);
    db_.Dir().WriteFile("Dmg.ADT", data);
  }

  const std::vector<FieldDef> kFields = {{"NAME", FieldType::Character, 10},
                                         {"NUM", FieldType::Integer, 0},
                                         {"DAY", FieldType::Date, 0}};
  DatabaseFolder db_;
  std::string path_;
  std::string original_;
};

TEST_F(DamagedTable, AnyFlippedByteOfTheHeaderOrDescriptorsIsAnError) {
  std::vector<size_t> offsets;
  for (size_t i = 0; i < engine::kFixedHeaderSize; ++i) offsets.push_back(i);
  for (size_t i = 0; i < kFields.size() * engine::kDescriptorSize; ++i)
    offsets.push_back(engine::kDescriptorsOffset + i);
  for (size_t offset : offsets) {
    engine_test::FlipByte(path_, offset, 0x10);
    ExpectFileError(offset);
    Restore();
  }
}

TEST_F(DamagedTable, EitherCommitSlotDamagedLeavesTheLastCommitAndBothAreAnError) {
  // Both slots describe the last commit, so a flipped bit in either one,
  // the current one included, never rolls the table back to an older state.
  for (const int damaged : {0, 1}) {
    for (const size_t at : {size_t{3}, size_t{9}, size_t{100}, size_t{126}}) {
      engine_test::FlipByte(path_, engine::kCommitSlotOffsets[damaged] + at);
      auto table = Open();
      ASSERT_TRUE(table.ok()) << table.status().Message();
      EXPECT_EQ((*table)->RecordCount(), 40u) << "slot " << damaged << " byte " << at;
      EXPECT_EQ((*table)->Header().CurrentSlot, 1 - damaged);
      table.value().reset();
      Restore();
    }
  }
  engine_test::FlipByte(path_, engine::kCommitSlotOffsets[0] + 9);
  engine_test::FlipByte(path_, engine::kCommitSlotOffsets[1] + 100);
  ExpectFileError(0);
}

TEST_F(DamagedTable, ACommitTornInItsFirstSlotWriteLeavesTheCommitBefore) {
  // What a crash while the first slot of a commit is written leaves: the
  // new records on disk, that slot torn, its mirror still the last commit.
  {
    auto table = engine::Table::Open(db_.Connection(), "Dmg.ADT", OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    auto appender = (*table)->Appender();
    ASSERT_TRUE(appender.ok());
    engine::RecordBuilder record((*table)->Schema());
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(appender->Append(record).ok());
    ASSERT_TRUE(appender->Commit().ok());
  }
  // Put back the header of 40 records, keep the 5 new ones, tear a slot.
  std::string data = TempDir::ReadFile(path_);
  std::copy(original_.begin(), original_.begin() + engine::HeaderSizeFor(kFields.size()),
            data.begin());
  db_.Dir().WriteFile("Dmg.ADT", data);
  engine_test::FlipByte(path_, engine::kCommitSlotOffsets[1] + 40, 0xFF);
  auto table = Open();
  ASSERT_TRUE(table.ok()) << table.status().Message();
  EXPECT_EQ((*table)->RecordCount(), 40u);
}

// A file whose commits wrote one slot each (the other keeping the commit
// before), as engines wrote them before both slots were written.
class SingleSlotCommits : public DamagedTable {
 protected:
  // The header of `original_` with slot `current` counting `count` records
  // at generation 2 and the other 0 records at generation 1, unmirrored.
  std::string WithSlots(int current, uint32_t count) {
    std::string data = original_;
    engine::CommitState older;
    older.Generation = 1;
    engine::CommitState newer;
    newer.Generation = 2;
    newer.RecordCount = count;
    for (const auto& [slot, state] : {std::pair{current, newer}, std::pair{1 - current, older}}) {
      const auto bytes = engine::EncodeCommitSlot(state);
      std::copy(bytes.begin(), bytes.end(),
                data.begin() + static_cast<long>(engine::kCommitSlotOffsets[slot]));
    }
    return data;
  }
};

TEST_F(SingleSlotCommits, ADamagedCurrentSlotIsRefusedWhenRecordsLiePastTheOlderCount) {
  db_.Dir().WriteFile("Dmg.ADT", WithSlots(1, 40));
  auto table = Open();
  ASSERT_TRUE(table.ok()) << table.status().Message();
  EXPECT_EQ((*table)->RecordCount(), 40u);
  table.value().reset();

  // The current slot damaged: the older one counts 0 of the 40 records on
  // disk, which may be the last commit or may not; the table is refused.
  engine_test::FlipByte(path_, engine::kCommitSlotOffsets[1] + 9);
  table = Open();
  ASSERT_FALSE(table.ok());
  EXPECT_EQ(table.status().Code(), engine::AE_TABLE_COMMIT_DAMAGED);
  EXPECT_NE(table.status().Message().find("Dmg.ADT"), std::string::npos)
      << table.status().Message();
  EXPECT_NE(table.status().Message().find("commit slot 1"), std::string::npos)
      << table.status().Message();
  // A salvage reads every record the file holds.
  size_t needed = 0;
  const std::string bytes = TempDir::ReadFile(path_);
  auto header =
      engine::DecodeHeader(bytes, bytes.size(), path_, needed, engine::SlotChoice::Salvage);
  ASSERT_TRUE(header.ok()) << header.status().Message();
  EXPECT_EQ(header->Commit.RecordCount, 40u);
}

TEST_F(SingleSlotCommits, ADamagedSlotIsPassedOverWhenNoRecordLiesPastTheSoundCount) {
  // The older slot damaged beside a current one that counts every record;
  // and a damaged slot beside a sound one of a file holding no more.
  for (const int damaged : {0, 1}) {
    db_.Dir().WriteFile("Dmg.ADT", WithSlots(1 - damaged, 40));
    engine_test::FlipByte(path_, engine::kCommitSlotOffsets[damaged] + 20);
    auto table = Open();
    ASSERT_TRUE(table.ok()) << table.status().Message();
    EXPECT_EQ((*table)->RecordCount(), 40u);
  }
}

TEST_F(SingleSlotCommits, TheNextCommitWritesBothSlots) {
  db_.Dir().WriteFile("Dmg.ADT", WithSlots(0, 40));
  {
    auto table = engine::Table::Open(db_.Connection(), "Dmg.ADT", OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    auto appender = (*table)->Appender();
    ASSERT_TRUE(appender.ok());
    engine::RecordBuilder record((*table)->Schema());
    ASSERT_TRUE(appender->Append(record).ok());
    ASSERT_TRUE(appender->Commit().ok());
  }
  engine_test::FlipByte(path_, engine::kCommitSlotOffsets[1] + 9);
  auto table = Open();
  ASSERT_TRUE(table.ok()) << table.status().Message();
  EXPECT_EQ((*table)->RecordCount(), 41u);
}

TEST_F(DamagedTable, TruncatedFilesAreErrors) {
  const size_t header = engine::HeaderSizeFor(kFields.size());
  for (size_t size :
       {size_t{0}, size_t{7}, size_t{100}, size_t{383}, header - 1, original_.size() - 1}) {
    std::filesystem::resize_file(path_, size);
    ExpectFileError(size);
    Restore();
  }
}

TEST_F(DamagedTable, AHeaderClaimingMoreRecordsThanTheFileHoldsIsAnError) {
  auto table = Open();
  ASSERT_TRUE(table.ok());
  engine::CommitState state = (*table)->Header().Commit;
  const int other = 1 - (*table)->Header().CurrentSlot;
  table.value().reset();
  state.Generation += 1;
  state.RecordCount = 41;
  const auto slot = engine::EncodeCommitSlot(state);
  std::string data = original_;
  std::copy(slot.begin(), slot.end(),
            data.begin() + static_cast<long>(engine::kCommitSlotOffsets[other]));
  db_.Dir().WriteFile("Dmg.ADT", data);
  table = Open();
  ASSERT_FALSE(table.ok());
  EXPECT_EQ(table.status().Code(), engine::AE_TABLE_TRUNCATED);
  EXPECT_NE(table.status().Message().find("counts 41 records, the file holds 40"),
            std::string::npos)
      << table.status().Message();
}

TEST_F(DamagedTable, DescriptorsThatDoNotDescribeTheRecordAreErrorsEvenWithASoundChecksum) {
  const std::vector<std::tuple<size_t, size_t, std::vector<uint8_t>>> damage = {
      {1, 136, {0xFF, 0xFF, 0x00, 0x00}},  // offset far beyond the record
      {2, 136, {0x03, 0x00, 0x00, 0x00}},  // offset overlapping the null bitmap
      {0, 132, {0xE8, 0xFD, 0x00, 0x00}},  // length 65000 in a 10-byte place
      {1, 132, {0x08, 0x00, 0x00, 0x00}},  // an integer 8 bytes long
      {1, 128, {0x09}},                    // unknown type
      {0, 0, {'1'}},                       // a name no field can have
      {2, 0, {'N', 'U', 'M'}},             // a name used twice
  };
  for (const auto& [field, at, bytes] : damage) {
    RewriteDescriptor(field, at, bytes);
    ExpectFileError(engine::kDescriptorsOffset + field * engine::kDescriptorSize + at);
  }
}

TEST_F(DamagedTable, ARecordWithABadStateByteStopsTheScanWithAnError) {
  const size_t header = engine::HeaderSizeFor(kFields.size());
  auto table = Open();
  ASSERT_TRUE(table.ok());
  const size_t length = (*table)->Schema().RecordLength();
  table.value().reset();
  engine_test::FlipByte(path_, header + 5 * length, 0x40);  // record 6
  table = Open();
  ASSERT_TRUE(table.ok());
  engine::TableScanner scanner = (*table)->Scan();
  int seen = 0;
  while (scanner.Next()) ++seen;
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(scanner.status().Code(), engine::AE_RECORD_DAMAGED);
  EXPECT_NE(scanner.status().Message().find("Record 6"), std::string::npos);
}

TEST(TableFormat, FilesThatAreNoTablesAreErrors) {
  DatabaseFolder db;
  for (const std::string& content : {std::string(), std::string("hello"), std::string(4096, 'x'),
                                     std::string("\x89"
                                                 "ADT\r\n\x1a\n",
                                                 8)}) {
    db.Dir().WriteFile("Odd.ADT", content);
    auto table = engine::Table::Open(db.Connection(), "Odd.ADT", OpenMode::Shared);
    ASSERT_FALSE(table.ok());
    EXPECT_NE(table.status().Message().find("Odd.ADT"), std::string::npos);
  }
}

}  // namespace
