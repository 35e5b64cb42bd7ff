// Diagnostics of a whole run: a rebuild whose index is refused logs the
// call stack of the failure in its error handler's entry, and at the
// highest diagnostics level the caught failure is reported with the full
// report as well, without any dialog of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QPushButton>
#include <regex>
#include <thread>

#include "app/MaimInxBld_Unit.h"
#include "crashreport/EurekaLog.h"
#include "diag/DatHEMgr_Unit.h"
#include "support/RebuildInstallation.h"

namespace {

using ::testing::HasSubstr;

class DiagnosticsRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateHEMgr();  // as the program makes it, before the main window
    inst.MakeTable("DicTables.ADT", {"Type:C:1", "Table_Name:C:40"}, {{"U", "Orders.ADT"}});
    inst.MakeTable("Orders.ADT", {"RECID:C:16", "CUSTOMER:C:16"}, {{"o1", "c1"}, {"o2", "c2"}});
    inst.MainInx(
        "[Orders.ADT]\r\n"
        "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
        "BAD=NOSUCHFIELD\r\n");
  }

  void TearDown() override {
    FreeHEMgr();
    CurrentEurekaLogOptions().SetBehaviourOptions(0);
  }

  void PressStart() {
    TForm1 form;
    ASSERT_TRUE(form.FormCreate());
    // The run holds the user-interface thread far less than any timeout;
    // the watchdog a level-3 start turns on is not what is tested here.
    CurrentEurekaLogOptions().SetFreezeActivate(false);
    form.Button1->click();
  }

  // The lines of the entry tagged `tag`, from the tag to the next empty
  // line after its text.
  static std::string EntryText(const std::string& log, const std::string& tag) {
    const size_t at = log.find("Proc_Name=" + tag + "\r\n");
    if (at == std::string::npos) return {};
    const size_t end = log.find("\r\n\r\n[", at);
    return log.substr(at, end == std::string::npos ? std::string::npos : end - at);
  }

  RebuildInstallation inst;
};

TEST_F(DiagnosticsRunTest, RefusedIndexLogsTheStackOfItsFailure) {
  PressStart();
  ASSERT_THAT(inst.DialogTexts(),
              ::testing::ElementsAre(HasSubstr("NOSUCHFIELD"), "Error in Indexes Rebuild "));
  const std::string log = inst.Log();
  const std::string entry = EntryText(log, "BuildIndexes-1.1");
  ASSERT_FALSE(entry.empty()) << log;
  // The failure, then the stack's lines from the throw out to the Start
  // command's handler.
  EXPECT_THAT(log, HasSubstr("Exception_Class=EADSDatabaseError "));
  EXPECT_TRUE(std::regex_search(
      entry, std::regex("^Proc_Name=BuildIndexes-1\\.1\r\n\r\n[A-Za-z_]+\\.(cpp|h) - [0-9]+\r\n")))
      << entry;
  EXPECT_THAT(entry, HasSubstr("\r\nDatProgBuildIndex_DM_Creation.cpp - "));
  EXPECT_THAT(entry, HasSubstr("\r\nMaimInxBld_Unit.cpp - "));
  EXPECT_THAT(log, ::testing::Not(HasSubstr("GenHndExp")));
}

TEST_F(DiagnosticsRunTest, AtLevelThreeTheCaughtFailureIsReportedInFullWithoutADialog) {
  inst.Tree.WriteFile("DBSys/UserLog_CRMSystem3.TXT", "[GEN]\r\nFreezeTimeout=600\r\n");
  // The level-3 watchdog looks without waiting while it runs.
  platform::SetSleepHook([](unsigned) { std::this_thread::yield(); });
  PressStart();
  platform::SetSleepHook(nullptr);
  ASSERT_THAT(inst.DialogTexts(),
              ::testing::ElementsAre(HasSubstr("NOSUCHFIELD"), "Error in Indexes Rebuild "));
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("Proc_Name=***** InitEurekaLog ***** \r\n3\r\n"));
  const std::string report = EntryText(log, "GenHndExp 3");
  ASSERT_FALSE(report.empty()) << log;
  EXPECT_THAT(log, HasSubstr("  Class: EADSDatabaseError\r\n"));
  for (const char* part : {"\r\nCall stack:\r\n", "\r\nModules:\r\n", "\r\nApplication:\r\n",
                           "\r\nExceptionThreadID: "}) {
    EXPECT_THAT(report, HasSubstr(part));
  }
  EXPECT_THAT(log, HasSubstr("Proc_Name=BuildIndexes-1.1\r\n\r\n"));
}

}  // namespace
