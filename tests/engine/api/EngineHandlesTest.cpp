// The engine's C-style calls on table and index handles: the codes they
// answer, the last error they leave, the encryption answers of an engine
// without encryption, and the table cursor re-placed after a rebuild as a
// dataset layer does it.
#include <gtest/gtest.h>

#include "TableTestSupport.h"
#include "engine/api/EngineApi.h"
#include "engine/api/EngineHandles.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using engine::ADSHANDLE;
using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::DatabaseFolder;

constexpr uint32_t Code(int code) {
  return static_cast<uint32_t>(code);
}

class EngineHandles : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<FieldDef> fields = {{"RECID", FieldType::Character, 4},
                                          {"NAME", FieldType::Character, 10}};
    ASSERT_TRUE(
        engine_test::MakeTable(
            db_.Connection(), "T.ADT", fields,
            {{"r1", "Smith"}, {"r2", "adams"}, {"r3", "Young"}, {"r4", "Brown"}, {"r5", "Smith"}})
            .ok());
    table_ = engine_test::OpenOrFail(db_.Connection(), "T.ADT", OpenMode::Exclusive);
    ASSERT_TRUE(table_);
  }
  ADSHANDLE Handle() const { return engine::HandleOfTable(*table_); }
  uint32_t LastError(std::string* message = nullptr) const {
    uint32_t code = 0;
    engine::AdsGetLastError(&code, message);
    return code;
  }

  DatabaseFolder db_;
  std::unique_ptr<engine::Table> table_;
};

TEST_F(EngineHandles, IndexesAreAddedRebuiltAndAskedForTheirPageSize) {
  ASSERT_NE(Handle(), 0u);
  EXPECT_EQ(engine::TableOfHandle(Handle()), table_.get());
  ADSHANDLE index = 0;
  uint32_t page_size = 0;
  EXPECT_EQ(engine::AdsGetIndexHandleByOrder(Handle(), 1, &index),
            Code(engine::AE_INDEX_TAG_NOT_FOUND));
  EXPECT_EQ(engine::AdsReindex61(Handle(), 4096), Code(engine::AE_ALREADY_SO));

  ASSERT_EQ(
      engine::AdsCreateIndex90(Handle(), "PRIMARY", "RECID",
                               engine::kAdsIndexUnique | engine::kAdsIndexPrimary, 2048, &index),
      0u);
  ADSHANDLE name = 0;
  ASSERT_EQ(engine::AdsCreateIndex90(Handle(), "NAME", "NAME;RECID",
                                     engine::kAdsIndexCaseInsensitive | engine::kAdsIndexDescending,
                                     0, &name),
            0u);
  const auto& tags = table_->Indexes().value()->Tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_TRUE(tags[0].Options.Unique && tags[0].Options.Primary);
  EXPECT_FALSE(tags[0].Options.Descending || tags[0].Options.CaseInsensitive);
  EXPECT_TRUE(tags[1].Options.Descending && tags[1].Options.CaseInsensitive);
  EXPECT_FALSE(tags[1].Options.Unique);

  ADSHANDLE first = 0;
  ASSERT_EQ(engine::AdsGetIndexHandleByOrder(Handle(), 1, &first), 0u);
  EXPECT_EQ(first, index);  // the same tag, the same handle
  ASSERT_EQ(engine::AdsGetIndexPageSize(first, &page_size), 0u);
  EXPECT_EQ(page_size, 2048u);

  // A rebuild in another page size: index handles still name their tags.
  ASSERT_EQ(engine::AdsReindex61(Handle(), 512), 0u);
  ASSERT_EQ(engine::AdsGetIndexPageSize(name, &page_size), 0u);
  EXPECT_EQ(page_size, 512u);

  for (const uint16_t order : {uint16_t{0}, uint16_t{3}}) {
    EXPECT_EQ(engine::AdsGetIndexHandleByOrder(Handle(), order, &index),
              Code(engine::AE_INDEX_TAG_NOT_FOUND));
  }
  EXPECT_EQ(engine::AdsReindex61(Handle(), 3000), Code(engine::AE_INDEX_BAD_PAGE_SIZE));
  EXPECT_EQ(engine::AdsCreateIndex90(Handle(), "BAD", "NOPE", 0, 0, nullptr),
            Code(engine::AE_INDEX_UNKNOWN_FIELD));
  std::string message;
  EXPECT_EQ(LastError(&message), Code(engine::AE_INDEX_UNKNOWN_FIELD));
  EXPECT_NE(message.find("NOPE"), std::string::npos) << message;

  // Closed, the table takes its handles with it.
  const ADSHANDLE closed = Handle();
  table_.reset();
  EXPECT_EQ(engine::TableOfHandle(closed), nullptr);
  EXPECT_EQ(engine::AdsReindex61(closed, 0), Code(engine::AE_INVALID_HANDLE));
  EXPECT_EQ(engine::AdsGetIndexPageSize(name, &page_size), Code(engine::AE_INVALID_HANDLE));
  EXPECT_EQ(LastError(), Code(engine::AE_INVALID_HANDLE));
  EXPECT_EQ(engine::AdsGotoTop(0), Code(engine::AE_INVALID_HANDLE));
}

TEST_F(EngineHandles, TablesAreNotEncryptedAndEncryptionCallsAnswerAlreadySo) {
  uint16_t encrypted = 7;
  ASSERT_EQ(engine::AdsIsTableEncrypted(Handle(), &encrypted), 0u);
  EXPECT_EQ(encrypted, 0);
  EXPECT_EQ(engine::AdsEnableEncryption(Handle(), "secret"), Code(engine::AE_ALREADY_SO));
  EXPECT_EQ(engine::AdsDisableEncryption(Handle()), Code(engine::AE_ALREADY_SO));
  std::string message;
  EXPECT_EQ(LastError(&message), Code(engine::AE_ALREADY_SO));
  EXPECT_NE(message.find("T.ADT"), std::string::npos) << message;
}

TEST_F(EngineHandles, TheCursorIsRePlacedAfterARebuildAtTheStartTheEndOrItsRecord) {
  ASSERT_TRUE(table_->DeleteRecord(5).ok());
  ASSERT_EQ(engine::AdsCreateIndex90(Handle(), "NAME", "NAME", 0, 0, nullptr), 0u);
  uint16_t bof = 0, eof = 0;
  uint32_t recno = 0;
  std::string text;
  // The re-placement a dataset makes after a rebuild: at the start, the
  // first record; at the end, the last one; else its record read again.
  const auto re_place = [&] {
    ASSERT_EQ(engine::AdsAtBOF(Handle(), &bof), 0u);
    ASSERT_EQ(engine::AdsAtEOF(Handle(), &eof), 0u);
    if (bof) {
      ASSERT_EQ(engine::AdsGotoTop(Handle()), 0u);
    } else if (eof) {
      ASSERT_EQ(engine::AdsGotoBottom(Handle()), 0u);
    } else {
      ASSERT_EQ(engine::AdsRefreshRecord(Handle()), 0u);
    }
    ASSERT_EQ(engine::AdsGetRecordNum(Handle(), &recno), 0u);
  };
  struct Case {
    const char* label;
    int skips;  // from the first record
    uint32_t placed;
  } const cases[] = {
      {"on a record", 2, 3},
      {"before the start", -1, 1},
      {"past the end", 4, 4},  // record 5 is deleted: 4 is the last
  };
  for (const Case& c : cases) {
    ASSERT_EQ(engine::AdsGotoTop(Handle()), 0u);
    ASSERT_EQ(engine::AdsSkip(Handle(), c.skips), 0u);
    ASSERT_EQ(engine::AdsReindex61(Handle(), 2048), 0u);
    re_place();
    EXPECT_EQ(recno, c.placed) << c.label;
    ASSERT_EQ(engine::AdsGetField(Handle(), "RECID", &text), 0u);
    EXPECT_EQ(text, "r" + std::to_string(c.placed)) << c.label;
  }
  uint16_t is_null = 1;
  ASSERT_EQ(engine::AdsIsFieldNull(Handle(), "NAME", &is_null), 0u);
  EXPECT_EQ(is_null, 0);
  EXPECT_EQ(engine::AdsGotoRecord(Handle(), 5), Code(engine::AE_NO_CURRENT_RECORD));  // deleted
  EXPECT_EQ(engine::AdsGotoRecord(Handle(), 9), Code(engine::AE_RECORD_NUMBER));
  EXPECT_EQ(engine::AdsGetField(Handle(), "NOPE", &text), Code(engine::AE_FIELD_NOT_FOUND));
}

}  // namespace
