#include "rebuild/DatProgBuildIndex_DM_Entries.h"

#include <gtest/gtest.h>

namespace {

struct SectionCase {
  const char* section;
  bool accepted;
  const char* table;
};

class SectionTableNameTest : public ::testing::TestWithParam<SectionCase> {};

TEST_P(SectionTableNameTest, DerivesTheTableOrRejects) {
  std::string table = "stale";
  EXPECT_EQ(SectionTableName(GetParam().section, table), GetParam().accepted) << GetParam().section;
  if (GetParam().accepted) {
    EXPECT_EQ(table, GetParam().table);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SectionTableNameTest,
    ::testing::Values(SectionCase{"VlxInxVxx!!!###_1800_DicTables.ADT", true, "DicTables.ADT"},
                      SectionCase{"VlxInxVxx!!!###_5601_Contacts.ADT", true, "Contacts.ADT"},
                      SectionCase{"vlxinxvxx!!!###_1600_Notes.ADT", true, "Notes.ADT"},
                      SectionCase{"DicTables.ADT", true, "DicTables.ADT"},
                      SectionCase{"Contacts.ADT*VlxFts", true, "Contacts.ADT*VlxFts"},
                      // Unknown version, a second tag, a tag alone, a tag not at the start.
                      SectionCase{"VlxInxVxx!!!###_1900_DicTables.ADT", false, ""},
                      SectionCase{"VlxInxVxx!!!###_1800_VlxInxVxx!!!###_1600_T.ADT", false, ""},
                      SectionCase{"VlxInxVxx!!!###_1800_", false, ""},
                      SectionCase{"T.ADTVlxInxVxx!!!###_1800_", false, ""},
                      SectionCase{"x_VlxInxVxx!!!###_", false, ""}, SectionCase{"", false, ""}));

TEST(IndexEntries, PartsOfAnEntry) {
  EXPECT_EQ(InxNameOf("VLX_PRIMARY_KEY"), "PRIMARY");
  EXPECT_EQ(InxNameOf("vlx_primary_key"), "vlx_primary_key");
  EXPECT_EQ(InxExpressionOf("RECID*ixUnique"), "RECID");
  EXPECT_EQ(InxOptionsTextOf("RECID*ixUnique"), "ixUnique");
  EXPECT_EQ(InxExpressionOf("LASTNAME;FIRSTNAME"), "LASTNAME;FIRSTNAME");
  EXPECT_EQ(InxOptionsTextOf("LASTNAME;FIRSTNAME"), "");
  // A second "*" stays inside the options text.
  EXPECT_EQ(InxExpressionOf("A*ixUnique*ixDescending"), "A");
  EXPECT_EQ(InxOptionsTextOf("A*ixUnique*ixDescending"), "ixUnique*ixDescending");
}

TEST(IndexEntries, OptionWordsAreExactCaseInAnyOrder) {
  EXPECT_EQ(InxOptionsOf("ixUnique"), ixUnique);
  EXPECT_EQ(InxOptionsOf("ixDescending,ixCaseInsensitive;ixPrimary ixUnique"),
            ixPrimary | ixUnique | ixDescending | ixCaseInsensitive);
  EXPECT_EQ(InxOptionsOf("IXUNIQUE ixunique"), 0);
  EXPECT_EQ(InxOptionsOf(""), 0);
}

TEST(IndexEntries, PrimaryOnRecIdIgnoresCase) {
  EXPECT_TRUE(IsPrimaryOnRecId("PRIMARY", "RECID"));
  EXPECT_TRUE(IsPrimaryOnRecId("primary", "recid"));
  EXPECT_FALSE(IsPrimaryOnRecId("PRIMARY", "RECID;NAME"));
  EXPECT_FALSE(IsPrimaryOnRecId("VLX_PRIMARY_KEY", "RECID"));
}

}  // namespace
