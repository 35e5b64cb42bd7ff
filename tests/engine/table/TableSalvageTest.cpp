// Salvage of damaged tables: every record that still reads is copied into a
// new table, and every one that does not is named.
#include <gtest/gtest.h>

#include "TableTestSupport.h"
#include "engine/record/TableFormat.h"
#include "engine/table/TableSalvage.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::DatabaseFolder;
using engine_test::Row;

const std::vector<FieldDef> kFields = {
    {"NAME", FieldType::Character, 8}, {"NUM", FieldType::Integer, 0}, {"DAY", FieldType::Date, 0}};

class Salvage : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 30; ++i)
      rows_.push_back({"n" + std::to_string(i), std::to_string(i), "2001-02-03"});
    ASSERT_TRUE(engine_test::MakeTable(db_.Connection(), "Src.ADT", kFields, rows_).ok());
    path_ = db_ / "Src.ADT";
    auto table = engine::Table::Open(db_.Connection(), "Src.ADT", OpenMode::Shared);
    ASSERT_TRUE(table.ok());
    length_ = (*table)->Schema().RecordLength();
    header_ = (*table)->Header().HeaderSize;
  }
  size_t RecordAt(uint32_t recno) const { return header_ + (recno - 1) * length_; }
  std::vector<Row> RowsOf(const std::string& name) {
    auto table = engine::Table::Open(db_.Connection(), name, OpenMode::Shared);
    EXPECT_TRUE(table.ok()) << table.status().Message();
    return table.ok() ? engine_test::ReadRows(**table) : std::vector<Row>{};
  }

  DatabaseFolder db_;
  std::vector<Row> rows_;
  std::string path_;
  size_t length_ = 0;
  size_t header_ = 0;
};

TEST_F(Salvage, EveryRecordThatReadsIsCopiedAndEveryOtherNamed) {
  engine_test::FlipByte(path_, RecordAt(4), 0x40);                 // state byte of record 4
  engine_test::FlipByte(path_, RecordAt(9) + 1, 0x80);             // a null bit past the fields
  engine_test::FlipByte(path_, RecordAt(17) + length_ - 1, 0x40);  // the date of record 17
  auto report = engine::SalvageTable(db_.Connection(), "Src.ADT", "New");
  ASSERT_TRUE(report.ok()) << report.status().Message();
  EXPECT_EQ(report->NewTable, "New.ADT");
  EXPECT_EQ(report->Considered, 30u);
  EXPECT_EQ(report->Copied, 27u);
  EXPECT_FALSE(report->Complete());
  ASSERT_EQ(report->Lost.size(), 3u);
  EXPECT_EQ(report->Lost[0].RecNo, 4u);
  EXPECT_EQ(report->Lost[0].Reason, "state byte 64");
  EXPECT_EQ(report->Lost[1].RecNo, 9u);
  EXPECT_EQ(report->Lost[2].RecNo, 17u);
  EXPECT_EQ(report->Lost[2].Reason, "field DAY holds no date");
  std::vector<Row> expected;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (i + 1 != 4 && i + 1 != 9 && i + 1 != 17) expected.push_back(rows_[i]);
  }
  EXPECT_EQ(RowsOf("New.ADT"), expected);
}

TEST_F(Salvage, ATableWhoseLastCommitCannotBeToldIsReadAsFarAsTheFileHolds) {
  // Slots as an engine writing one slot per commit left them, the current
  // one damaged: the table does not open, salvage copies all 30 records.
  std::string data = TempDir::ReadFile(path_);
  engine::CommitState older;
  older.Generation = 1;
  engine::CommitState newer;
  newer.Generation = 2;
  newer.RecordCount = 30;
  const auto slot0 = engine::EncodeCommitSlot(newer);
  const auto slot1 = engine::EncodeCommitSlot(older);
  std::copy(slot0.begin(), slot0.end(), data.begin() + engine::kCommitSlotOffsets[0]);
  std::copy(slot1.begin(), slot1.end(), data.begin() + engine::kCommitSlotOffsets[1]);
  db_.Dir().WriteFile("Src.ADT", data);
  engine_test::FlipByte(path_, engine::kCommitSlotOffsets[0] + 8);
  ASSERT_EQ(engine::Table::Open(db_.Connection(), "Src.ADT", OpenMode::Shared).status().Code(),
            engine::AE_TABLE_COMMIT_DAMAGED);

  auto report = engine::SalvageTable(db_.Connection(), "Src.ADT", "New.ADT");
  ASSERT_TRUE(report.ok()) << report.status().Message();
  EXPECT_NE(report->HeaderProblem.find("commit slot 0"), std::string::npos);
  EXPECT_FALSE(report->Complete());
  EXPECT_TRUE(report->Lost.empty());
  EXPECT_EQ(report->Copied, 30u);
  EXPECT_EQ(RowsOf("New.ADT"), rows_);
}

TEST_F(Salvage, ASoundTableIsCopiedWholeAndAnExistingNewTableIsRefused) {
  auto report = engine::SalvageTable(db_.Connection(), "Src.ADT", "New.ADT");
  ASSERT_TRUE(report.ok()) << report.status().Message();
  EXPECT_TRUE(report->Complete());
  EXPECT_EQ(RowsOf("New.ADT"), rows_);
  auto again = engine::SalvageTable(db_.Connection(), "Src.ADT", "New.ADT");
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.status().Code(), engine::AE_TABLE_EXISTS);
}

}  // namespace
