// Language resources beside the program, and the product name the
// installation gives.
#include <gtest/gtest.h>

#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenResources.h"
#include "support/InstallationTree.h"

namespace {

class ResourcesTest : public ::testing::Test {
 protected:
  ~ResourcesTest() override { UnloadResourceModule(); }
  InstallationTree tree;
};

TEST_F(ResourcesTest, BaseResourcesUntilAModuleIsLoaded) {
  EXPECT_EQ(GetLanguageCode(), "LNGHEB");
  EXPECT_EQ(GetResourceModuleName(), tree / "App/RebuildTool.ENU");
  EXPECT_FALSE(LoadLanguageResources());  // none beside the program
  EXPECT_EQ(GetLanguageCode(), "LNGHEB");
  EXPECT_EQ(LoadResString("NoSuchText"), "");
}

TEST_F(ResourcesTest, ModuleTextsReplaceTheBaseOnes) {
  tree.WriteFile("App/RebuildTool.ENU", "; English\r\n\r\n  languagecode = LNGENG \nOther=x=y\r\n");
  ASSERT_TRUE(LoadLanguageResources());
  EXPECT_EQ(GetLanguageCode(), "LNGENG");
  EXPECT_EQ(LoadResString("OTHER"), "x=y");
  UnloadResourceModule();
  EXPECT_EQ(GetLanguageCode(), "LNGHEB");

  // A module without the code leaves the base code in force.
  tree.WriteFile("App/RebuildTool.ENU", "Other=1\r\n");
  ASSERT_TRUE(LoadLanguageResources());
  EXPECT_EQ(GetLanguageCode(), "LNGHEB");
}

TEST_F(ResourcesTest, ProductNameFromTheSettingsFile) {
  const std::string previous = GetProductName();
  struct Case {
    const char* settings;  // nullptr: no settings file
    const char* name;
  };
  for (const Case& c : {Case{nullptr, "VorlexCRM"}, Case{"[DATABASE]\r\nPath=x\r\n", "VorlexCRM"},
                        Case{"[GENERAL]\r\nProductName=  \r\n", "VorlexCRM"},
                        Case{"[General]\r\nProductName= VorlexCRM Pro \r\n", "VorlexCRM Pro"}}) {
    if (c.settings) tree.WriteFile("App/VorlexCRM.ini", c.settings);
    LoadProductName();
    EXPECT_EQ(GetProductName(), c.name) << (c.settings ? c.settings : "no file");
  }
  // Under its generic name as well.
  platform::DeleteFile(tree / "App/VorlexCRM.ini");
  tree.WriteFile("App/CRM.ini", "[GENERAL]\r\nProductName=Acme\r\n");
  EXPECT_EQ(ReadInstalledProductName(), "Acme");
  SetProductName(previous);
}

}  // namespace
