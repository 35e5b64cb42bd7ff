// Reading a table record by record: first / next / end of data, record
// numbers, field texts by name, NULL, filters and deleted records.
#include <gtest/gtest.h>

#include "TableTestSupport.h"
#include "engine/api/EngineApi.h"
#include "engine/table/TableCursor.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine_test::DatabaseFolder;

TEST(TableCursor, ReadsTheDictionaryUserTablesThroughTheFilter) {
  DatabaseFolder db;
  const std::vector<FieldDef> fields = {{"Type", FieldType::Character, 1},
                                        {"Table_Name", FieldType::Character, 40}};
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "DicTables.ADT", fields,
                                     {{"U", "Contacts.ADT"},
                                      {"S", "SysLock.adt"},
                                      {"U", "Accounts.ADT"},
                                      {"U", "Gone.ADT"},
                                      {"V", "Views.ADT"}})
                  .ok());
  {
    auto table =
        engine_test::OpenOrFail(db.Connection(), "DicTables.ADT", engine::OpenMode::Exclusive);
    ASSERT_TRUE(table->DeleteRecord(4).ok());
  }
  auto table =
      engine_test::OpenOrFail(db.Connection(), "dictables.adt", engine::OpenMode::Exclusive);
  ASSERT_TRUE(table);
  engine::TableCursor cursor(*table);
  ASSERT_TRUE(cursor.SetFilter("Type = 'U' ").ok());
  EXPECT_EQ(cursor.CountMatching().value(), 2u);
  std::vector<std::string> names;
  std::vector<uint32_t> recnos;
  ASSERT_TRUE(cursor.First().ok());
  while (!cursor.Eof()) {
    names.push_back(cursor.FieldText("Table_Name").value());
    recnos.push_back(cursor.RecNo());
    ASSERT_TRUE(cursor.Next().ok());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Contacts.ADT", "Accounts.ADT"}));
  EXPECT_EQ(recnos, (std::vector<uint32_t>{1, 3}));
  EXPECT_EQ(cursor.RecNo(), 0u);

  // Clearing the filter shows every live record again.
  ASSERT_TRUE(cursor.SetFilter("").ok());
  EXPECT_EQ(cursor.CountMatching().value(), 4u);
}

TEST(TableCursor, FieldTextsNullsAndTheEndOfData) {
  DatabaseFolder db;
  const std::vector<FieldDef> fields = {{"NAME", FieldType::Character, 8},
                                        {"N", FieldType::Integer, 0},
                                        {"AMOUNT", FieldType::Double, 0},
                                        {"DAY", FieldType::Date, 0},
                                        {"OK", FieldType::Logical, 0}};
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", fields,
                                     {{"ab  ", "-12", "0.25", "2003-04-05", "F"},
                                      {"", std::nullopt, std::nullopt, std::nullopt, std::nullopt}})
                  .ok());
  auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT");
  ASSERT_TRUE(table);
  engine::TableCursor cursor(*table);
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(cursor.FieldText("NAME").status().Code(), engine::AE_NO_CURRENT_RECORD);

  ASSERT_TRUE(cursor.First().ok());
  const std::vector<std::pair<std::string, std::string>> first = {
      {"NAME", "ab"}, {"n", "-12"}, {"Amount", "0.25"}, {"DAY", "2003-04-05"}, {"OK", "F"}};
  for (const auto& [field, text] : first) {
    EXPECT_EQ(cursor.FieldText(field).value(), text) << field;
    EXPECT_FALSE(cursor.IsNull(field).value()) << field;
  }
  ASSERT_TRUE(cursor.Next().ok());
  EXPECT_EQ(cursor.RecNo(), 2u);
  EXPECT_EQ(cursor.FieldText("NAME").value(), "");
  EXPECT_FALSE(cursor.IsNull("NAME").value());
  for (const char* field : {"N", "AMOUNT", "DAY", "OK"}) {
    EXPECT_EQ(cursor.FieldText(field).value(), "") << field;
    EXPECT_TRUE(cursor.IsNull(field).value()) << field;
  }
  auto missing = cursor.FieldText("NOPE");
  EXPECT_EQ(missing.status().Code(), engine::AE_FIELD_NOT_FOUND);
  uint32_t code = 0;
  std::string message;
  engine::AdsGetLastError(&code, &message);
  EXPECT_EQ(code, static_cast<uint32_t>(engine::AE_FIELD_NOT_FOUND));
  EXPECT_NE(message.find("NOPE"), std::string::npos);

  ASSERT_TRUE(cursor.Next().ok());
  EXPECT_TRUE(cursor.Eof());
  ASSERT_TRUE(cursor.Next().ok());  // staying at the end is no error
  EXPECT_TRUE(cursor.Eof());
  ASSERT_TRUE(cursor.First().ok());
  EXPECT_EQ(cursor.RecNo(), 1u);
}

TEST(TableCursor, ABadFilterKeepsThePreviousOne) {
  DatabaseFolder db;
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", {{"N", FieldType::Integer, 0}},
                                     {{"1"}, {"2"}, {"3"}})
                  .ok());
  auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT");
  ASSERT_TRUE(table);
  engine::TableCursor cursor(*table);
  ASSERT_TRUE(cursor.SetFilter("N > 1").ok());
  EXPECT_EQ(cursor.SetFilter("N >").Code(), engine::AE_FILTER_SYNTAX);
  EXPECT_EQ(cursor.Filter(), "N > 1");
  EXPECT_EQ(cursor.CountMatching().value(), 2u);
}

}  // namespace

namespace {

TEST(TableCursor, MovesBothWaysThroughTheLiveRecordsTheFilterAdmits) {
  DatabaseFolder db;
  ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", {{"N", FieldType::Integer, 0}},
                                     {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}})
                  .ok());
  auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT", engine::OpenMode::Exclusive);
  ASSERT_TRUE(table);
  ASSERT_TRUE(table->DeleteRecord(2).ok());
  ASSERT_TRUE(table->DeleteRecord(6).ok());
  engine::TableCursor cursor(*table);
  ASSERT_TRUE(cursor.SetFilter("N <> 4").ok());

  // Each step: the move, then where the cursor is (0: no record) and the flags.
  enum Move { kFirst, kLast, kNext, kPrior, kRefresh };
  struct Step {
    Move move;
    uint32_t recno;
    bool bof, eof;
  } const steps[] = {
      {kLast, 5, false, false},  {kPrior, 3, false, false}, {kPrior, 1, false, false},
      {kPrior, 0, true, false},  {kPrior, 0, true, false},  {kNext, 1, false, false},
      {kNext, 3, false, false},  {kNext, 5, false, false},  {kNext, 0, false, true},
      {kPrior, 5, false, false}, {kFirst, 1, false, false}, {kRefresh, 1, false, false},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    switch (step.move) {
      case kFirst:
        ASSERT_TRUE(cursor.First().ok());
        break;
      case kLast:
        ASSERT_TRUE(cursor.Last().ok());
        break;
      case kNext:
        ASSERT_TRUE(cursor.Next().ok());
        break;
      case kPrior:
        ASSERT_TRUE(cursor.Prior().ok());
        break;
      case kRefresh:
        ASSERT_TRUE(cursor.Refresh().ok());
        break;
    }
    EXPECT_EQ(cursor.RecNo(), step.recno) << "step " << i;
    EXPECT_EQ(cursor.Bof(), step.bof) << "step " << i;
    EXPECT_EQ(cursor.Eof(), step.eof) << "step " << i;
    if (step.recno) {
      EXPECT_EQ(cursor.FieldText("N").value(), std::to_string(step.recno));
    }
  }

  // A record by number, and one deleted under the cursor.
  ASSERT_TRUE(cursor.GoTo(3).ok());
  EXPECT_EQ(cursor.GoTo(4).Code(), engine::AE_NO_CURRENT_RECORD);  // filtered out
  EXPECT_EQ(cursor.GoTo(2).Code(), engine::AE_NO_CURRENT_RECORD);  // deleted
  EXPECT_EQ(cursor.GoTo(7).Code(), engine::AE_RECORD_NUMBER);
  EXPECT_EQ(cursor.RecNo(), 3u);  // refused moves leave it where it was
  ASSERT_TRUE(table->DeleteRecord(3).ok());
  ASSERT_TRUE(cursor.Refresh().ok());
  EXPECT_EQ(cursor.RecNo(), 5u);

  // Nothing to show: both flags.
  ASSERT_TRUE(cursor.SetFilter("N > 100").ok());
  for (auto move : {&engine::TableCursor::First, &engine::TableCursor::Last}) {
    ASSERT_TRUE((cursor.*move)().ok());
    EXPECT_TRUE(cursor.Bof() && cursor.Eof());
    EXPECT_EQ(cursor.RecNo(), 0u);
  }
}

}  // namespace
