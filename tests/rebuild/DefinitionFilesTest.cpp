// Reading the index definition files into the rebuild data module's lists.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/DatGenIniFile.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "support/ChildLock.h"
#include "support/RebuildInstallation.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> Lines(const TStringList& list) {
  return {list.begin(), list.end()};
}

class DefinitionFilesTest : public ::testing::Test {
 protected:
  // A data module with the main file accepted as a run would accept it.
  std::unique_ptr<TDatProgBuildIndex_DataModule> Module() {
    auto dm = std::make_unique<TDatProgBuildIndex_DataModule>();
    std::string resolved;
    if (dm->AcceptMainInxFile(inst.Tree / "DBSys/VorlexInx.ini", resolved)) {
      dm->InxIniFile = std::make_unique<TIniFile>(resolved);
    }
    return dm;
  }

  RebuildInstallation inst;
};

TEST_F(DefinitionFilesTest, TableListOptionSectionsAndExemptions) {
  inst.MainInx(
      "[*OP_FtsNoise_Contacts_FTS1]\r\nw1=a\r\n"
      "[*not4rmv]\r\nContacts.ADT=N\r\nOrders.ADT=Y\r\n"
      "[VlxInxVxx!!!###_5601_Contacts.ADT]\r\nA=B\r\n"
      "[*OP_Other]\r\nx=y\r\n"
      "[Orders.ADT]\r\nC=D\r\n");
  auto dm = Module();
  std::string message;
  int number = -1;
  ASSERT_TRUE(dm->LoadTblNamesToLst(message, number));
  EXPECT_EQ(message, "");
  EXPECT_EQ(number, 0);
  EXPECT_THAT(Lines(dm->TblNamesLst), ElementsAre("VlxInxVxx!!!###_5601_Contacts.ADT=Contacts.ADT",
                                                  "Orders.ADT=Orders.ADT"));
  EXPECT_THAT(Lines(dm->OptSectionsLst), ElementsAre("*OP_Other", "*OP_FtsNoise_Contacts_FTS1"));
  EXPECT_THAT(Lines(dm->Not4RmvLst),
              ElementsAre("Contacts.ADT=N", "Orders.ADT=Y", "*Not4Rmv=*Not4Rmv"));
}

TEST_F(DefinitionFilesTest, EntriesOfATableComeFromTheMainThenBothSecondarySections) {
  inst.MainInx("[VlxInxVxx!!!###_1800_DicTables.ADT]\r\nM1=Type\r\nM2=Table_Name\r\n");
  inst.SecInx(
      "[DicTables.ADT]\r\nS2=Table_Name;Type\r\n"
      "[VlxInxVxx!!!###_1800_DicTables.ADT]\r\nS1=Type\r\n"
      "[Other.ADT]\r\nX=Y\r\n");
  auto dm = Module();
  ASSERT_TRUE(dm->HasSecIniFile);
  dm->LoadTblInxToLst("VlxInxVxx!!!###_1800_DicTables.ADT");
  EXPECT_THAT(Lines(dm->InxLst),
              ElementsAre("M1=Type", "M2=Table_Name", "S1=Type", "S2=Table_Name;Type"));
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("Proc_Name=ADD-X VlxInxVxx!!!###_1800_DicTables.ADT "
                             "VlxInxVxx!!!###_1800_DicTables.ADT \r\n"
                             "\r\n*GEN-BF*2\r\nM1=Type\r\nM2=Table_Name\r\n\r\n*Add*1\r\nS1="
                             "Type\r\n\r\n*GEN-AF*3\r\n"));
  EXPECT_THAT(log,
              HasSubstr("Proc_Name=ADD-X DicTables.ADT VlxInxVxx!!!###_1800_DicTables.ADT \r\n"));
}

TEST_F(DefinitionFilesTest, CountOfIndexEntriesIncludesSecondaryAndFullTextEntries) {
  inst.MainInx("[A.ADT]\r\nI1=X\r\nI2=Y\r\n[B.ADT*VlxFts]\r\nF1=Z\r\n");
  inst.SecInx("[A.ADT]\r\nI3=Z\r\n");
  auto dm = Module();
  std::string message;
  int number = 0;
  ASSERT_TRUE(dm->LoadTblNamesToLst(message, number));
  EXPECT_EQ(dm->CountIndexEntries(), 4);
}

TEST_F(DefinitionFilesTest, MissingOptionalFilesAreLoggedUnderTheirGenericNames) {
  inst.MainInx("[A.ADT]\r\nI1=X\r\n");
  auto dm = Module();
  EXPECT_FALSE(dm->HasSecIniFile);
  EXPECT_FALSE(dm->HasPageSizeIniFile);
  const std::string log = inst.Log();
  EXPECT_THAT(log,
              HasSubstr("Proc_Name=GenInxFile-2: " + inst.Tree / "DBSys/CRMInx2.ini" + " N\r\n"));
  EXPECT_THAT(log,
              HasSubstr("Proc_Name=GenInxFile-3: " + inst.Tree / "DBSys/CRMInx3.ini" + " N\r\n"));
}

TEST_F(DefinitionFilesTest, GenericallyNamedMainFileIsAccepted) {
  inst.Tree.WriteFile("DBSys/CRMInx.ini", "[A.ADT]\r\nI1=X\r\n");
  TDatProgBuildIndex_DataModule dm;
  std::string resolved;
  EXPECT_TRUE(dm.AcceptMainInxFile(inst.Tree / "DBSys/VorlexInx.ini", resolved));
  EXPECT_EQ(resolved, inst.Tree / "DBSys/CRMInx.ini");
  EXPECT_TRUE(inst.Dialogs.empty());
}

struct PageSizeCase {
  const char* setting;
  bool wanted;
  int size;
  const char* logged;
};

class PageSizeSettingTest : public DefinitionFilesTest,
                            public ::testing::WithParamInterface<PageSizeCase> {};

TEST_P(PageSizeSettingTest, OnlyTheFiveSizesCount) {
  const PageSizeCase& c = GetParam();
  inst.MainInx("[T.ADT]\r\nI=X\r\n");
  inst.PageSizeInx(std::string("[T.ADT]\r\n") + c.setting + "\r\n");
  auto dm = Module();
  int size = -1;
  EXPECT_EQ(dm->IsNeedNewPageSize("T.ADT", size), c.wanted);
  EXPECT_EQ(size, c.size);
  if (*c.logged) {
    EXPECT_THAT(inst.Log(), HasSubstr(c.logged));
  } else {
    EXPECT_EQ(inst.Log().find("IsNeedNewPageSize"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PageSizeSettingTest,
    ::testing::Values(PageSizeCase{"InxPageSize=4096", true, 4096,
                                   "  *IsNeedNewPageSize: T.ADT 4096"},
                      PageSizeCase{"InxPageSize=512", true, 512, "  *IsNeedNewPageSize: T.ADT 512"},
                      PageSizeCase{"InxPageSize=3000", false, 0,
                                   "Proc_Name=IsNeedNewPageSizeT.ADT\r\nwrong PageSize 3000"},
                      PageSizeCase{"InxPageSize=0", false, 0, ""},
                      PageSizeCase{"InxPageSize=abc", false, 0, ""},
                      PageSizeCase{"Other=1024", false, 0, ""}));

TEST_F(DefinitionFilesTest, IndexFileRemovalRetriesFourTimesOneSecondApart) {
  inst.MainInx("[A.ADT]\r\nI1=X\r\n");
  const std::string index = inst.Tree.WriteFile("DB/Locked.Adi", "x");
  ChildLock holder(index, platform::LockKind::Shared);
  ASSERT_TRUE(holder.Locked());
  auto dm = Module();
  std::string error_text;
  EXPECT_FALSE(dm->DelInxFile(index, error_text));
  EXPECT_EQ(error_text, "ErrorCodes:16 16 16 16 ");
  EXPECT_EQ(inst.Sleeps.Waits, (std::vector<unsigned>{1000, 1000, 1000, 1000}));
  EXPECT_THAT(inst.Log(),
              HasSubstr("Proc_Name=DelInxFile " + index + "\r\nErrorCodes:16 16 16 16  N 4\r\n"));

  holder.Release();
  inst.Sleeps.Waits.clear();
  dm->DeleteIndexes("locked.ADT");  // the index file is found ignoring case
  EXPECT_FALSE(platform::FileExists(index));
  EXPECT_TRUE(inst.Sleeps.Waits.empty());
  EXPECT_FALSE(dm->ErrorOccurred);
  dm->DeleteIndexes("Missing");  // no index file: nothing to do, nothing logged
  EXPECT_FALSE(dm->ErrorOccurred);
  EXPECT_EQ(inst.Log().find("Missing.Adi"), std::string::npos);
}

}  // namespace
