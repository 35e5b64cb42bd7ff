// Indexes through the table component and the utility's own engine calls
// on its handle: each index option, the page size option, the 5068 rule,
// failures raised with their place, and the cursor put back after a
// reindex wherever it stood.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "DataSetFixture.h"
#include "dataset/AdsTableCalls.h"
#include "engine/api/EngineApi.h"
#include "engine/api/EngineHandles.h"
#include "engine/table/TableIndexScan.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace {

constexpr uint32_t Code(int engine_code) {
  return static_cast<uint32_t>(engine_code);
}

// The engine's table behind an open component.
engine::Table& EngineTable(const TAdsTable& table) {
  engine::Table* found = engine::TableOfHandle(table.Handle());
  if (!found) throw std::runtime_error("the component's table is not open");
  return *found;
}

// The record numbers in the order of the tag `tag`.
std::vector<uint32_t> TagOrder(const TAdsTable& table, const std::string& tag) {
  std::vector<uint32_t> order;
  auto scan = engine::TableIndexScan::Open(EngineTable(table), tag);
  EXPECT_TRUE(scan.ok()) << scan.status().Message();
  if (!scan.ok()) return order;
  EXPECT_TRUE((*scan)->First().ok());
  while (!(*scan)->Eof()) {
    order.push_back((*scan)->RecNo());
    EXPECT_TRUE((*scan)->Next().ok());
  }
  return order;
}

class TableIndexTest : public DataSetTest {
 protected:
  void SetUp() override {
    // Upper and lower case in both orders (a before A, B before b by N), so
    // that only a case-insensitive key puts each pair together by N.
    MakeTable(
        "Contacts.ADT", {"NAME:C:10", "N:I", "RECID:C:5"},
        {{"b", "2", "x1"}, {"A", "4", "x2"}, {"c", "1", ""}, {"a", "3", "x4"}, {"B", "0", "x5"}});
  }
};

TEST_F(TableIndexTest, AnIndexIsAddedWithEachOption) {
  TAdsTable* table = Table("Contacts.ADT", true);
  table->Open();
  const struct {
    const char* name;
    const char* expression;
    TIndexOptions options;
    std::vector<uint32_t> order;
  } cases[] = {
      {"BYN", "N", 0, {5, 3, 1, 4, 2}},
      {"BYNDESC", "N", ixDescending, {2, 4, 1, 3, 5}},
      {"BYNPRIMARY", "N", ixPrimary, {5, 3, 1, 4, 2}},
      {"BYNUNIQUE", "N", ixUnique, {5, 3, 1, 4, 2}},
      {"BYNAMECI", "NAME;N", ixCaseInsensitive, {4, 2, 5, 1, 3}},
      {"BYNAMEUNIQUE", "NAME", ixUnique, {}},  // A and a are different keys
      {"ALL", "N", ixPrimary | ixUnique | ixDescending | ixCaseInsensitive, {2, 4, 1, 3, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    table->AddIndex(c.name, c.expression, c.options);
    if (!c.order.empty()) {
      EXPECT_EQ(TagOrder(*table, c.name), c.order);
    }
  }
  // Every tag is in the one index file, with the options it was given.
  auto indexes = EngineTable(*table).Indexes();
  ASSERT_TRUE(indexes.ok() && *indexes);
  ASSERT_EQ((*indexes)->Tags().size(), std::size(cases));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const engine::IndexTagInfo* tag = (*indexes)->FindTag(c.name);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->Expression, c.expression);
    EXPECT_EQ(tag->Options.Primary, (c.options & ixPrimary) != 0);
    EXPECT_EQ(tag->Options.Unique, (c.options & ixUnique) != 0);
    EXPECT_EQ(tag->Options.Descending, (c.options & ixDescending) != 0);
    EXPECT_EQ(tag->Options.CaseInsensitive, (c.options & ixCaseInsensitive) != 0);
  }
}

TEST_F(TableIndexTest, AnIndexTheEngineRefusesIsRaisedWithTheTableAndComponent) {
  TAdsTable* table = Table("Contacts.ADT", true);
  table->Open();
  table->Next();
  const struct {
    const char* name;
    const char* expression;
    TIndexOptions options;
    int code;
  } cases[] = {
      {"NAMECI", "NAME", ixUnique | ixCaseInsensitive, engine::AE_INDEX_DUPLICATE_KEY},
      {"PRIMARY", "RECID", ixPrimary | ixUnique, engine::AE_UNIQUE_EMPTY_KEY},
      {"CITY", "CITY", 0, engine::AE_INDEX_UNKNOWN_FIELD},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const EADSDatabaseError error =
        ExpectAdsError([&] { table->AddIndex(c.name, c.expression, c.options); });
    EXPECT_EQ(error.ACEErrorCode(), Code(c.code));
    EXPECT_EQ(error.TableName(), "Contacts.ADT");
    EXPECT_EQ(error.ComponentName(), "MainTbl");
    EXPECT_EQ(error.OwnerName(), "DataModule");
    // The table stays open where it was.
    EXPECT_EQ(table->FieldText("NAME"), "A");
  }

  // Adding an index needs the table for itself.
  table->Close();
  table->SetExclusive(false);
  table->Open();
  EXPECT_EQ(ExpectAdsError([&] { table->AddIndex("BYN", "N", 0); }).ACEErrorCode(),
            Code(engine::AE_NEEDS_EXCLUSIVE));
}

TEST_F(TableIndexTest, ThePageSizeOptionFollowsTheIndexFile) {
  TAdsTable* table = Table("Contacts.ADT", true);
  table->AdsTableOptions.AdsIndexPageSize = 4096;  // left from an earlier table
  table->Open();
  EXPECT_EQ(table->AdsTableOptions.AdsIndexPageSize, 0) << "a table without an index file";

  for (uint16_t size : {2048, 512, 8192}) {
    SCOPED_TRACE(size);
    table->Close();
    std::filesystem::remove(db_ / "Contacts.Adi");
    table->Open();
    EXPECT_EQ(table->AdsTableOptions.AdsIndexPageSize, 0);
    table->AdsTableOptions.AdsIndexPageSize = size;
    table->AddIndex("BYN", "N", 0);
    uint16_t actual = 0;
    EXPECT_EQ(AdsFirstIndexPageSize(*table, actual), 0u);
    EXPECT_EQ(actual, size);
    // Reopened, the table takes its page size from the file.
    table->Close();
    table->AdsTableOptions.AdsIndexPageSize = 0;
    table->Open();
    EXPECT_EQ(table->AdsTableOptions.AdsIndexPageSize, size);
  }

  // A size the engine does not know is the engine's error.
  table->AdsTableOptions.AdsIndexPageSize = 3000;
  EXPECT_EQ(ExpectAdsError([&] { table->AddIndex("BYNAME", "NAME", 0); }).ACEErrorCode(),
            Code(engine::AE_INDEX_BAD_PAGE_SIZE));
}

TEST_F(TableIndexTest, TheFirstIndexPageSizeIsAnsweredNotRaised) {
  TAdsTable* table = Table("Contacts.ADT", true);
  table->Open();
  uint16_t size = 1234;
  EXPECT_EQ(AdsFirstIndexPageSize(*table, size), Code(engine::AE_INDEX_TAG_NOT_FOUND));
  EXPECT_EQ(size, 0);
  table->AdsTableOptions.AdsIndexPageSize = 1024;
  table->AddIndex("BYN", "N", 0);
  table->AdsTableOptions.AdsIndexPageSize = 4096;
  table->AddIndex("BYNAME", "NAME", 0);  // lays the whole file out in 4096-byte pages
  EXPECT_EQ(AdsFirstIndexPageSize(*table, size), 0u);
  EXPECT_EQ(size, 4096);
}

// Where a reindex finds the cursor and where it must leave it.
struct ReplaceCase {
  const char* name;
  std::string filter;  // applied while filtered
  int moves;           // Next() calls after opening; -1: Last()
  int deleted;         // a record deleted behind the component before the reindex (0: none)
  std::string name_after;
  bool bof_after;
  bool eof_after;
};

void PrintTo(const ReplaceCase& c, std::ostream* out) {
  *out << c.name;
}

class CursorReplaceTest : public TableIndexTest,
                          public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(CursorReplaceTest, AReindexPutsTheCursorBack) {
  const ReplaceCase& c = GetParam();
  TAdsTable* table = Table("Contacts.ADT", true);
  table->SetFilter(c.filter);
  table->SetFiltered(!c.filter.empty());
  table->Open();
  table->AddIndex("BYN", "N", 0);
  if (c.moves < 0) table->Last();
  for (int i = 0; i < c.moves; ++i) table->Next();
  if (c.deleted) {
    ASSERT_TRUE(EngineTable(*table).DeleteRecord(c.deleted).ok());
  }

  AdsReindexTable(*table, 2048);

  uint16_t size = 0;
  ASSERT_EQ(AdsFirstIndexPageSize(*table, size), 0u);
  EXPECT_EQ(size, 2048);
  EXPECT_EQ(table->FieldText("NAME"), c.name_after);
  EXPECT_EQ(table->Bof(), c.bof_after);
  EXPECT_EQ(table->Eof(), c.eof_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cursor, CursorReplaceTest,
    ::testing::Values(ReplaceCase{"AtTheStart", "", 0, 0, "b", true, false},
                      ReplaceCase{"InTheMiddle", "", 2, 0, "c", false, false},
                      ReplaceCase{"AtTheEnd", "", 5, 0, "B", false, true},
                      ReplaceCase{"AfterLast", "", -1, 0, "B", false, true},
                      ReplaceCase{"AtTheEndOfTheFilter", "N < 3", 5, 0, "B", false, true},
                      ReplaceCase{"OnARecordDeletedMeanwhile", "", 2, 3, "a", false, false},
                      ReplaceCase{"OnTheLastRecordDeletedMeanwhile", "", 4, 5, "a", false, true},
                      ReplaceCase{"OnTheFirstRecordDeletedMeanwhile", "", 0, 1, "A", false, false}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

TEST_F(TableIndexTest, AlreadySoAnswersAreIgnoredAndTheCursorStays) {
  TAdsTable* table = Table("Contacts.ADT", true);
  table->Open();
  table->Next();
  table->Next();
  EXPECT_FALSE(IsAdsTableEncrypted(*table));
  const std::pair<const char*, std::function<void()>> calls[] = {
      {"enable", [&] { AdsEnableTableEncryption(*table, "secret"); }},
      {"disable", [&] { AdsDisableTableEncryption(*table); }},
      {"reindex without an index file", [&] { AdsReindexTable(*table, 1024); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    EXPECT_NO_THROW(call());
    EXPECT_EQ(table->FieldText("NAME"), "c");
  }
  EXPECT_FALSE(std::filesystem::exists(db_ / "Contacts.Adi"));
}

TEST_F(TableIndexTest, OtherAnswersOfTheCallsAreRaisedWithTheEnginesLastError) {
  TAdsTable* table = Table("Contacts.ADT", true);
  table->Open();
  table->AddIndex("BYN", "N", 0);
  const struct {
    const char* name;
    bool exclusive;
    std::function<void()> call;
    int code;
  } cases[] = {
      {"reindex with a page size of 3000", true, [&] { AdsReindexTable(*table, 3000); },
       engine::AE_INDEX_BAD_PAGE_SIZE},
      {"reindex of a shared table", false, [&] { AdsReindexTable(*table, 1024); },
       engine::AE_NEEDS_EXCLUSIVE},
      {"a call on no table", true,
       [&] {
         RunAdsTableCall(*table, [](engine::ADSHANDLE) { return engine::AdsReindex61(0, 0); });
       },
       engine::AE_INVALID_HANDLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    table->Close();
    table->SetExclusive(c.exclusive);
    table->Open();
    const EADSDatabaseError error = ExpectAdsError(c.call);
    EXPECT_EQ(error.ACEErrorCode(), Code(c.code));
    uint32_t last_code = 0;
    std::string last_message;
    engine::AdsGetLastError(&last_code, &last_message);
    EXPECT_EQ(error.ACEErrorCode(), last_code);
    EXPECT_EQ(error.Message(), last_message);
    EXPECT_EQ(error.TableName(), "Contacts.ADT");
    EXPECT_EQ(error.ComponentName(), "MainTbl");
  }
}

}  // namespace
