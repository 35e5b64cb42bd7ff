// The start-up checks: the engine's files beside the program, the engine's
// version, and the system lock on local and server installations.
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ConnectionFixture.h"
#include "common/DatGenFilesFunctions.h"
#include "dataset/AdsConnection.h"
#include "dataset/EADSDatabaseError.h"
#include "db/DatGenDBConnectionDM.h"
#include "db/DatGenEngineCheck.h"
#include "engine/env/Connection.h"
#include "engine/env/EngineEnvironment.h"
#include "engine/table/Table.h"
#include "platform/MountTable.h"
#include "support/EngineTables.h"
#include "support/ServerProcess.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

class EngineCheckTest : public ConnectionFixture {
 protected:
  EngineCheckTest() {
    const fs::path built = fs::path(platform::ExecutableFileName()).parent_path();
    for (const char* name : engine::kEngineFileNames)
      fs::create_symlink(built / name, Tree / ("App/" + std::string(name)));
    SetEngineVersionHook([this](uint32_t* major, uint32_t* minor) {
      ++VersionCalls;
      *major = Major;
      *minor = Minor;
      return 0u;
    });
  }
  ~EngineCheckTest() override {
    SetEngineVersionHook(nullptr);
    CloseSystemLock();
    FreeConnectionDM();
    platform::SetMountTableFile("");
  }

  int VersionCalls = 0;
  uint32_t Major = 11;
  uint32_t Minor = 10;
};

TEST(EngineVersionText, MinorBelowTenHasALeadingZero) {
  EXPECT_EQ(EngineVersionText(11, 10), "11.10");
  EXPECT_EQ(EngineVersionText(11, 5), "11.05");
  EXPECT_EQ(EngineVersionText(11, 1), "11.01");
  EXPECT_EQ(EngineVersionText(12, 0), "12.00");
  EXPECT_EQ(GetEngineVersion(), "11.10");  // the engine itself
}

TEST_F(EngineCheckTest, AllFilesAndTheRightVersionPass) {
  std::string message;
  EXPECT_TRUE(CheckEngine(message));
  EXPECT_EQ(message, "");
  EXPECT_EQ(VersionCalls, 1);
}

TEST_F(EngineCheckTest, OnlyAnsiChrMissingIsListedAndTheVersionNotAsked) {
  fs::remove(Tree / "App/Ansi.chr");
  std::string message;
  EXPECT_FALSE(CheckEngine(message));
  const std::string program = fs::path(platform::ExecutableFileName()).stem().string();
  EXPECT_EQ(message, program + " operation stopped.\r\n\r\nFolder:\r\n" + Tree.Folder("App") +
                         "\r\n\r\nMissing Files:\r\nAnsi.chr\r\n\r\n(" +
                         platform::ExecutableFileName() + ")");
  EXPECT_EQ(VersionCalls, 0);
}

TEST_F(EngineCheckTest, EveryMissingFileInOrderFoundWhateverItsCase) {
  fs::remove(Tree / "App/ace32.dll");
  fs::remove(Tree / "App/adslocal.cfg");
  fs::rename(Tree / "App/Ansi.chr", Tree / "App/ANSI.CHR");
  std::string missing;
  EXPECT_FALSE(CheckEngineFiles(Tree.Folder("App"), missing));
  EXPECT_EQ(missing, "\n\race32.dll\n\radslocal.cfg");
}

TEST_F(EngineCheckTest, AnotherVersionIsAMismatchOlderOrNewer) {
  for (const uint32_t minor : {1u, 20u}) {
    Minor = minor;
    std::string message;
    EXPECT_FALSE(CheckEngine(message));
    EXPECT_EQ(message,
              "A database engine version mismatch was detected.\r\nThe required version is "
              "11.10.\r\nAn older version, " +
                  EngineVersionText(11, minor) + ", is present.\r\n\r\n\r\n(" +
                  platform::ExecutableFileName() + ")");
  }
}

TEST_F(EngineCheckTest, LocalInstallationHoldsTheSystemLockTableOpen) {
  ASSERT_TRUE(MakeEngineTable(Tree / "DB", "SysLock.adt", {"LOCKID:I"}, {{"1"}}).ok());
  EXPECT_TRUE(OpenSystemLock());
  EXPECT_TRUE(IsSystemLockOpen());
  EXPECT_TRUE(OpenSystemLock());  // open already
  // Held shared: nobody else may have it exclusively.
  auto other = engine::Connection::Connect(Tree / "DB");
  ASSERT_TRUE(other.ok());
  EXPECT_FALSE(engine::Table::Open(**other, "SysLock.adt", engine::OpenMode::Exclusive).ok());
  EXPECT_TRUE(engine::Table::Open(**other, "SysLock.adt", engine::OpenMode::Shared).ok());
  CloseSystemLock();
  EXPECT_FALSE(IsSystemLockOpen());
  EXPECT_TRUE(engine::Table::Open(**other, "SysLock.adt", engine::OpenMode::Exclusive).ok());
}

TEST_F(EngineCheckTest, LocalInstallationWithoutTheTableRaisesTheEngineError) {
  EXPECT_THROW(OpenSystemLock(), EADSDatabaseError);
}

TEST_F(EngineCheckTest, MainConnectionThatCannotConnectStopsAfterOneSilentRetry) {
  Tree.WriteFile("App/VorlexCRM.ini", "[DATABASE]\r\nPath=" + Tree / "NoSuchDB" + "\r\n");
  Tree.Reload();
  EXPECT_FALSE(OpenSystemLock());
  EXPECT_EQ(Dialogs.size(), 1u);  // the connection set-up's message only
  EXPECT_THAT(Log(), HasSubstr(".OpenMainConnection"));
  EXPECT_FALSE(IsSystemLockOpen());
}

TEST_F(EngineCheckTest, ServerInstallationNeverOpensTheSystemLockTable) {
  ASSERT_TRUE(MakeEngineTable(Tree / "DB", "SysLock.adt", {"LOCKID:I"}, {{"1"}}).ok());
  const std::string root = fs::canonical(Tree.Root()).string();
  ServerProcess::Options options;
  options.Shares = {{"data", root}};
  ServerProcess server(options);
  TempDir mounts;
  mounts.WriteFile("mountinfo", "36 25 0:52 / " + root + " rw - cifs //127.0.0.1:" +
                                    std::to_string(server.Port()) + "/data rw\n");
  platform::SetMountTableFile(mounts / "mountinfo");
  MakeServerInstallation();

  EXPECT_TRUE(OpenSystemLock());
  EXPECT_FALSE(IsSystemLockOpen());
  EXPECT_EQ(ConnectionDM()->DBConnection->ConnectionTypeText(), "Remote");
  auto other = engine::Connection::Connect(Tree / "DB", engine::kServerTypeLocal);
  ASSERT_TRUE(other.ok());
  EXPECT_TRUE(engine::Table::Open(**other, "SysLock.adt", engine::OpenMode::Exclusive).ok());
  EXPECT_TRUE(Dialogs.empty());
}

}  // namespace
