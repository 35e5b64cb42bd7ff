// Connecting through SetConnectionParams as the program does: a real
// connection, a real dbserver on a free loopback port where a server is
// involved, and the second attempt through \\address:port\\path when the
// server cannot be found through the connect path.
#include <filesystem>
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ConnectionFixture.h"
#include "common/DatGenFilesFunctions.h"
#include "dataset/AdsConnection.h"
#include "db/DatGenDBConnectionDM.h"
#include "engine/env/EngineEnvironment.h"
#include "platform/MountTable.h"
#include "support/ServerProcess.h"
#include "ui/DatGenDisplayAdsMsg_Unit.h"
#include "ui/GenMsg_Unit.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

const char* const kUncFolder = "\\\\localhost\\Data\\DB";

class ConnectionSetupTest : public ConnectionFixture {
 protected:
  ConnectionSetupTest() { Connection.SetName("TestConnection"); }
  ~ConnectionSetupTest() override { platform::SetMountTableFile(""); }

  // The first attempt at \\localhost\... goes to the default port, where
  // nothing may answer for the case to mean anything.
  void RequireDefaultPortFree() {
    if (LoopbackPortAnswers(6262)) GTEST_SKIP() << "something listens on 127.0.0.1:6262";
  }

  // Texts of the dialogs shown, in order.
  std::vector<std::string> DialogTexts() const {
    std::vector<std::string> texts;
    for (const auto& dialog : Dialogs) texts.push_back(dialog.Text);
    return texts;
  }

  // Where `tag` first stands in the log (npos when not there).
  size_t At(const std::string& tag) const { return Log().find(tag); }

  // The text the log holds for the first entry tagged `tag`, from its tag on.
  std::string Entry(const std::string& tag) const {
    const std::string log = Log();
    const size_t at = log.find(tag);
    return at == std::string::npos ? std::string() : log.substr(at, 400);
  }

  TAdsConnection Connection;
};

TEST_F(ConnectionSetupTest, AdsIniBesideTheProgramMeansNoSecondAttempt) {
  RequireDefaultPortFree();
  MakeServerInstallation();
  Tree.WriteFile("App/ads.ini", "[SETTINGS]\r\n");
  EXPECT_FALSE(SetConnectionParams(Connection, kUncFolder));
  EXPECT_FALSE(Connection.IsConnected());
  ASSERT_EQ(Dialogs.size(), 1u);
  EXPECT_EQ(Dialogs[0].Kind, ui::ModalKind::MessageForm);
  EXPECT_EQ(Dialogs[0].Text,
            "Procedure halted due to data server access error.\n\rVerify server is operating and "
            "this computer has access to the server folder.\n\r(\\\\localhost\\Data\\DB)");
  EXPECT_THAT(Entry("CanReConn:6420-Eof "), StartsWith("CanReConn:6420-Eof N"));
  EXPECT_THAT(Log(), HasSubstr("FileExists-Y:" + Tree.Folder("App") + "ads.ini"));
  EXPECT_THAT(Log(), Not(HasSubstr("GetServerAddress")));
  EXPECT_EQ(At("FixConnPath"), std::string::npos);
  EXPECT_THAT(Entry("DatGenDBConnectionDM.SetConnectionParams-Gen"),
              HasSubstr("N\r\nConnInfo: 1 "));
}

TEST_F(ConnectionSetupTest, UncFolderWithoutConnectionFilesIsTriedAgainOnTheDefaultPort) {
  RequireDefaultPortFree();
  MakeServerInstallation();
  EXPECT_FALSE(SetConnectionParams(Connection, kUncFolder));
  // The second attempt went to the resolved address and 6262, with two
  // backslashes before the share.
  const std::string second = "\\\\127.0.0.1:6262\\\\Data\\DB";
  EXPECT_EQ(Connection.ConnectPath, second);
  ASSERT_EQ(Dialogs.size(), 1u);
  EXPECT_THAT(Dialogs[0].Text,
              StartsWith("Procedure halted due to data server access error.\n\rVerify server is "
                         "operating and this computer has access to the server folder.\n\r(" +
                         second + ")\r\n(105)"));
  EXPECT_THAT(Dialogs[0].Text, HasSubstr("(105)No server"));
  const std::string reconn = Entry("CanReConn:6420-Eof ");
  EXPECT_THAT(reconn, StartsWith("CanReConn:6420-Eof Y"));
  EXPECT_THAT(Log(), HasSubstr(" FileExists-N:" + Tree.Folder("App") + "VlxSQLinfo.ini"));
  EXPECT_THAT(Log(), HasSubstr(" Af-Load: IP IP Port Port\r\n"));
  EXPECT_THAT(Log(), HasSubstr(" Af-Init: IP: 127.0.0.1 Port: 6262\r\n"));
  EXPECT_THAT(Log(), HasSubstr(" VLD\r\n"));
  EXPECT_THAT(Log(), HasSubstr(" Af-Chk:IP 127.0.0.1 Port 6262 xvPath \\Data\\DB"));
  EXPECT_EQ(At("FixConnPath"), std::string::npos);
}

TEST_F(ConnectionSetupTest, SecondAttemptThatConnectsShowsNothing) {
  RequireDefaultPortFree();
  MakeServerInstallation();
  ServerProcess::Options options;
  options.Shares = {{"Data", fs::canonical(Tree.Root()).string()}};
  ServerProcess server(options);
  Tree.WriteFile("App/VlxSQLinfo.ini",
                 "[SERVER]\r\nServer=srv\r\nPort= " + std::to_string(server.Port()) + " \r\n");

  EXPECT_TRUE(SetConnectionParams(Connection, kUncFolder));
  EXPECT_TRUE(Connection.IsConnected());
  EXPECT_EQ(Connection.ConnectionTypeText(), "Remote");
  EXPECT_EQ(Connection.ConnectPath,
            "\\\\127.0.0.1:" + std::to_string(server.Port()) + "\\\\Data\\DB");
  EXPECT_TRUE(Dialogs.empty()) << Dialogs[0].Text;
  const size_t fix = At("FixConnPath");
  const size_t err = At("DatGenDBConnectionDM.SetConnectionParams-Err");
  const size_t gen = At("DatGenDBConnectionDM.SetConnectionParams-Gen");
  ASSERT_NE(fix, std::string::npos);
  EXPECT_LT(fix, err);
  EXPECT_LT(err, gen);
  EXPECT_THAT(Entry("FixConnPath"), HasSubstr("ConnInfo: 1 "));
  EXPECT_THAT(Entry("DatGenDBConnectionDM.SetConnectionParams-Err"),
              HasSubstr("Y\r\n\r\n\r\nConnInfo"));
  EXPECT_THAT(Entry("DatGenDBConnectionDM.SetConnectionParams-Gen"),
              HasSubstr("Y\r\nConnInfo: 1 "));
  EXPECT_THAT(Log(), HasSubstr(" FileCnt:\r\n[SERVER]"));
  EXPECT_THAT(server.Log(), HasSubstr("connected to "));
}

TEST_F(ConnectionSetupTest, InfoFileWithoutPortMeansInvalidPortAndNoSecondAttempt) {
  RequireDefaultPortFree();
  MakeServerInstallation();
  for (const char* content : {"[SERVER]\r\nServer=srv\r\n", "Port=\r\n", "Port=0\r\n"}) {
    SCOPED_TRACE(content);
    Tree.WriteFile("App/VlxSQLinfo.ini", content);
    Dialogs.clear();
    EXPECT_FALSE(SetConnectionParams(Connection, kUncFolder));
    EXPECT_EQ(Connection.ConnectPath, kUncFolder);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_THAT(Dialogs[0].Text, Not(HasSubstr("(105)")));
  }
  EXPECT_THAT(Log(), HasSubstr(" Af-Load: IP IP Port PortX\r\n"));
  EXPECT_THAT(Log(), HasSubstr(" InvldPort: \r\n"));
  EXPECT_THAT(Log(), Not(HasSubstr(" VLD\r\n")));
}

TEST_F(ConnectionSetupTest, LocalFolderOfServerInstallationHasNoServerPath) {
  MakeServerInstallation();
  EXPECT_FALSE(SetConnectionParams(Connection, Tree / "DB"));
  ASSERT_EQ(Dialogs.size(), 1u);
  EXPECT_THAT(Dialogs[0].Text, HasSubstr("(" + Tree / "DB" + ")"));
  EXPECT_THAT(Entry("CanReConn:6420-Eof "), StartsWith("CanReConn:6420-Eof N"));
  EXPECT_THAT(Log(), HasSubstr("xxx:127.0.0.1\r\n"));
  EXPECT_THAT(Log(), HasSubstr(" Path Is Empty\r\n"));
}

TEST_F(ConnectionSetupTest, RemoteControlRefusalShowsTheNoticeNotTheDialog) {
  // The engine's own files with a settings file that refuses remote-control
  // sessions, and a session that looks like one.
  TempDir engine_folder;
  const std::string built = fs::path(platform::ExecutableFileName()).parent_path().string();
  for (const char* name : engine::kEngineFileNames)
    fs::copy_file(built + "/" + name, engine_folder / name);
  engine_folder.WriteFile("adslocal.cfg", "[Settings]\r\nAllowRemoteControl=No\r\n");
  engine::SetEngineFolder(engine_folder.Path());
  const char* saved = std::getenv("SSH_CONNECTION");
  const std::string saved_value = saved ? saved : "";
  setenv("SSH_CONNECTION", "10.0.0.9 50000 10.0.0.1 22", 1);

  const bool connected = SetConnectionParams(Connection, Tree / "DB");

  if (saved) {
    setenv("SSH_CONNECTION", saved_value.c_str(), 1);
  } else {
    unsetenv("SSH_CONNECTION");
  }
  engine::SetEngineFolder("");
  EXPECT_FALSE(connected);
  ASSERT_EQ(Dialogs.size(), 1u);
  // The notice form, not the message dialog.
  EXPECT_EQ(Dialogs[0].Kind, ui::ModalKind::Form);
  EXPECT_EQ(Dialogs[0].Buttons.size(), 1u);
  EXPECT_THAT(Entry("DatGenDBConnectionDM.SetConnectionParams-Err"),
              HasSubstr("N\r\nProcedure stopped.\n\r\n\rYou can run VorlexCRM while using remote"));
}

TEST_F(ConnectionSetupTest, LocalInstallationShowsTheLocalTextThePathAndTheEngineMessage) {
  const std::string missing = Tree / "NoSuchDB";
  EXPECT_FALSE(SetConnectionParams(Connection, missing));
  EXPECT_EQ(Connection.AdsServerTypes, stADS_LOCAL);
  ASSERT_EQ(Dialogs.size(), 1u);
  EXPECT_THAT(Dialogs[0].Text,
              StartsWith("Procedure halted due to data database/server access error.\n\rVerify "
                         "server is operating and this computer has access to the server "
                         "folder.\n\r" +
                         missing + "\n\r\n\r"));
  EXPECT_GT(Dialogs[0].Text.size(),
            Dialogs[0].Text.find(missing + "\n\r\n\r") + missing.size() + 4);
  EXPECT_EQ(At("CanReConn"), std::string::npos);
}

TEST(ConnectFailureText, EveryCodeItsText) {
  SetProductName("Acme CRM");
  struct Case {
    uint32_t code;
    bool server;
    std::string text;
  };
  const std::string local =
      "Procedure halted due to data database/server access error.\n\rVerify server is operating "
      "and this computer has access to the server folder.";
  const std::string server =
      "Procedure halted due to data server access error.\n\rVerify server is operating and this "
      "computer has access to the server folder.\n\r(\\\\srv\\Data\\DB)";
  const Case cases[] = {
      // A local installation is never tried again, whatever the code.
      {6420, false, local + "\n\r\\\\srv\\Data\\DB\n\r\n\rengine says"},
      {8100, false, local + "\n\r\\\\srv\\Data\\DB\n\r\n\rengine says"},
      {8146, true, server + "\n\r\n\rengine says"},
      {6316, true,
       "A very old version of the SQL back-end was found. A newer version of SQL is required in "
       "order to use newer versions of Acme CRM\n\r(6316)"},
      {6633, false,
       "A very old version of the SQL back-end was found. A newer version of SQL is required in "
       "order to use newer versions of Acme CRM.(6633)"},
      {5185, false,
       "Procedure stopped.\n\r\n\rYou can run Acme CRM while using remote control technologies "
       "such as Remote Desktop, Terminal Services and Citrix.\n\rPlease contact Acme CRM support "
       "for more information on how to allow this."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConnectFailureText(c.code, c.server, "\\\\srv\\Data\\DB", "engine says"), c.text)
        << c.code;
  }
  SetProductName("");
}

}  // namespace
