// Connections, the engine's files and their settings, the version and the
// last error.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "engine/api/EngineApi.h"
#include "engine/env/Connection.h"
#include "engine/env/EngineConfig.h"
#include "engine/env/EngineEnvironment.h"
#include "engine/net/NetErrors.h"
#include "engine/util/CharTable.h"
#include "engine/util/LastError.h"
#include "engine/util/TableErrorCodes.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// A copy of the engine's files in a folder of its own, made the engine
// folder while the object lives.
class EngineFolderCopy {
 public:
  EngineFolderCopy() : original_(engine::EngineFolder()) {
    for (const char* name : engine::kEngineFileNames)
      fs::copy_file(original_ + "/" + name, dir_ / name);
    engine::SetEngineFolder(dir_.Path());
  }
  ~EngineFolderCopy() { engine::SetEngineFolder(""); }
  void Remove(const std::string& name) { fs::remove(dir_ / name); }
  void Write(const std::string& name, const std::string& content) { dir_.WriteFile(name, content); }

 private:
  std::string original_;
  TempDir dir_;
};

// Sets or clears the environment variables that mark a remote-control
// session, and puts back what was there.
class RemoteControlSession {
 public:
  explicit RemoteControlSession(bool active) {
    for (const char* name : {"SSH_CONNECTION", "SSH_CLIENT", "SSH_TTY", "XRDP_SESSION"}) {
      if (const char* value = std::getenv(name)) saved_[name] = value;
      unsetenv(name);
    }
    if (active) setenv("SSH_CONNECTION", "10.0.0.9 50000 10.0.0.1 22", 1);
  }
  ~RemoteControlSession() {
    unsetenv("SSH_CONNECTION");
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::map<std::string, std::string> saved_;
};

// A loopback port with a listening socket (a server answers) or, after
// Close(), without one (nobody answers).
class LoopbackPort {
 public:
  LoopbackPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(fd_, 4);
  }
  ~LoopbackPort() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void AcceptAndDropOne() {
    const int client = accept(fd_, nullptr, nullptr);
    if (client >= 0) close(client);
  }
  std::string ServerPath() const {
    return "\\\\127.0.0.1:" + std::to_string(port_) + "\\share\\DB";
  }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

TEST(Connection, ALocalFolderConnectsAndAMissingOneIsAnError) {
  TempDir dir;
  auto connection = engine::Connection::Connect(dir.Path() + "/./");
  ASSERT_TRUE(connection.ok()) << connection.status().Message();
  EXPECT_EQ((*connection)->Folder(), fs::canonical(dir.Path()).string());
  EXPECT_STREQ((*connection)->TypeText(), "Local");

  const std::string file = dir.WriteFile("plain.txt", "x");
  for (const std::string& path : {dir / "missing", file, std::string()}) {
    auto failed = engine::Connection::Connect(path);
    ASSERT_FALSE(failed.ok()) << path;
    EXPECT_EQ(failed.status().Code(), engine::AE_FOLDER_NOT_FOUND) << path;
    EXPECT_NE(failed.status().Message().find(path), std::string::npos) << failed.status().Message();
  }
}

TEST(Connection, ServerPathsAreReadFromTheirUncForm) {
  struct Case {
    std::string path;
    bool server;
    std::string host;
    uint16_t port;
    std::string rest;
  };
  const Case cases[] = {
      {"\\\\SRV\\Data\\DB", true, "SRV", 6262, "\\Data\\DB"},
      {"\\\\10.0.0.7:6263\\\\Data\\DB", true, "10.0.0.7", 6263, "\\\\Data\\DB"},
      {"\\\\host", true, "host", 6262, ""},
      {"/srv/data", false, "", 0, ""},
      {"C:\\Data", false, "", 0, ""},
      {"\\single\\backslash", false, "", 0, ""},
  };
  for (const Case& c : cases) {
    auto parsed = engine::ParseServerPath(c.path);
    ASSERT_TRUE(parsed.ok()) << c.path;
    ASSERT_EQ(parsed->has_value(), c.server) << c.path;
    if (!c.server) continue;
    EXPECT_EQ((*parsed)->Host, c.host);
    EXPECT_EQ((*parsed)->Port, c.port);
    EXPECT_EQ((*parsed)->Rest, c.rest);
  }
  for (const char* bad :
       {"\\\\:6262\\x", "\\\\host:0\\x", "\\\\host:65536\\x", "\\\\host:port\\x", "\\\\\\x"}) {
    auto parsed = engine::ParseServerPath(bad);
    ASSERT_FALSE(parsed.ok()) << bad;
    EXPECT_EQ(parsed.status().Code(), engine::AE_INVALID_CONNECT_PATH);
  }
}

TEST(Connection, AServerThatDoesNotAnswerIs6420AndOneThatSpeaksNoTlsIsNoSession) {
  LoopbackPort port;
  // A program that takes the connection and drops it is no engine server.
  std::thread dropper([&port] { port.AcceptAndDropOne(); });
  auto answered = engine::Connection::Connect(port.ServerPath());
  dropper.join();
  ASSERT_FALSE(answered.ok());
  EXPECT_EQ(answered.status().Code(), engine::AE_SERVER_TLS) << answered.status().Message();

  port.Close();
  auto silent = engine::Connection::Connect(port.ServerPath());
  ASSERT_FALSE(silent.ok());
  EXPECT_EQ(silent.status().Code(), engine::AE_SERVER_NOT_FOUND);
  EXPECT_NE(silent.status().Message().find("127.0.0.1"), std::string::npos)
      << silent.status().Message();
  uint32_t code = 0;
  engine::AdsGetLastError(&code, nullptr);
  EXPECT_EQ(code, static_cast<uint32_t>(engine::AE_SERVER_NOT_FOUND));
}

TEST(Connection, RemoteControlSessionsAreRefusedOnlyWhenTheSettingsSaySo) {
  TempDir db;
  EngineFolderCopy engine_folder;
  struct Case {
    const char* setting;
    bool session;
    bool admitted;
  };
  const Case cases[] = {{"Yes", true, true},
                        {"No", true, false},
                        {"No", false, true},
                        {"0", true, false},
                        {"true", true, true}};
  for (const Case& c : cases) {
    engine_folder.Write("adslocal.cfg",
                        std::string("[Settings]\r\nAllowRemoteControl=") + c.setting + "\r\n");
    RemoteControlSession session(c.session);
    auto connection = engine::Connection::Connect(db.Path());
    EXPECT_EQ(connection.ok(), c.admitted) << c.setting << " " << c.session;
    if (!connection.ok()) {
      EXPECT_EQ(connection.status().Code(), engine::AE_REMOTE_CONTROL_REFUSED);
    }
  }
}

TEST(Connection, MissingOrDamagedEngineFilesAreErrorsNamingThem) {
  TempDir db;
  LoopbackPort port;
  struct Case {
    const char* file;
    const char* content;  // nullptr: the file is removed
    bool server;
    int code;
  };
  const Case cases[] = {
      {"adsloc32.dll", nullptr, false, engine::AE_MODULE_MISSING},
      {"adsloc32.dll", "not a shared library", false, engine::AE_MODULE_UNUSABLE},
      {"axcws32.dll", nullptr, true, engine::AE_MODULE_MISSING},
      {"Ansi.chr", nullptr, false, engine::AE_CHAR_TABLE},
      {"Ansi.chr", "ANSICHR", false, engine::AE_CHAR_TABLE},
      {"adslocal.cfg", "[Settings]\nSortMemoryMiB=lots\n", false, engine::AE_CONFIG_INVALID},
  };
  for (const Case& c : cases) {
    EngineFolderCopy engine_folder;
    if (c.content) {
      engine_folder.Write(c.file, c.content);
    } else {
      engine_folder.Remove(c.file);
    }
    auto connection = engine::Connection::Connect(c.server ? port.ServerPath() : db.Path());
    ASSERT_FALSE(connection.ok()) << c.file;
    EXPECT_EQ(connection.status().Code(), c.code) << connection.status().Message();
    EXPECT_NE(connection.status().Message().find(c.file), std::string::npos)
        << connection.status().Message();
  }
  // Without a network module a local connection still works, and without
  // a settings file the defaults hold.
  EngineFolderCopy engine_folder;
  engine_folder.Remove("axcws32.dll");
  engine_folder.Remove("adslocal.cfg");
  auto connection = engine::Connection::Connect(db.Path());
  ASSERT_TRUE(connection.ok()) << connection.status().Message();
  EXPECT_EQ((*connection)->Environment()->Config.SortMemoryMiB, 64u);
}

TEST(EngineConfig, SettingsAreReadFromTheIniText) {
  struct Case {
    std::string text;
    bool ok;
    uint32_t sort_mib;
    bool remote_control;
    uint32_t threads = engine::DefaultIndexBuildThreads();
  };
  const Case cases[] = {
      {"", true, 64, true},
      {"[Settings]\nIndexBuildThreads=1\n", true, 64, true, 1},
      {"[Settings]\nindexbuildthreads = 64\n", true, 64, true, 64},
      {"[Settings]\nIndexBuildThreads=0\n", false, 0, false},
      {"[Settings]\nIndexBuildThreads=65\n", false, 0, false},
      {"[Settings]\nIndexBuildThreads=two\n", false, 0, false},
      {"[settings]\nsortmemorymib = 16\nallowremotecontrol = no\n", true, 16, false},
      {"; comment\n# comment\n[Other]\nSortMemoryMiB=1\n[Settings]\nUnknown=1\n", true, 64, true},
      {"[Settings]\r\nSortMemoryMiB=1\r\n[Next]\r\nAllowRemoteControl=No\r\n", true, 1, true},
      {"[Settings]\nSortMemoryMiB=0\n", false, 0, false},
      {"[Settings]\nSortMemoryMiB=65537\n", false, 0, false},
      {"[Settings]\nSortMemoryMiB=12 MB\n", false, 0, false},
      {"[Settings]\nAllowRemoteControl=maybe\n", false, 0, false},
  };
  for (const Case& c : cases) {
    auto config = engine::ParseEngineConfig(c.text, "adslocal.cfg");
    ASSERT_EQ(config.ok(), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_EQ(config.status().Code(), engine::AE_CONFIG_INVALID);
      EXPECT_NE(config.status().Message().find("line 2"), std::string::npos)
          << config.status().Message();
      continue;
    }
    EXPECT_EQ(config->SortMemoryMiB, c.sort_mib) << c.text;
    EXPECT_EQ(config->AllowRemoteControl, c.remote_control) << c.text;
    EXPECT_EQ(config->IndexBuildThreads, c.threads) << c.text;
  }
  EXPECT_GE(engine::DefaultIndexBuildThreads(), 1u);
  EXPECT_LE(engine::DefaultIndexBuildThreads(), 4u);
}

TEST(EngineFiles, TheBuildPutsAllFiveBesideTheEngineWithTheirDefaults) {
  const std::string folder = engine::EngineFolder();
  for (const char* name : engine::kEngineFileNames)
    EXPECT_TRUE(fs::is_regular_file(folder + "/" + name)) << name;
  auto environment = engine::LoadEngineEnvironment();
  ASSERT_TRUE(environment.ok()) << environment.status().Message();
  EXPECT_EQ((*environment)->Chars.SortWeight, engine::DefaultCharTable().SortWeight);
  EXPECT_EQ((*environment)->Chars.Upper, engine::DefaultCharTable().Upper);
  EXPECT_EQ((*environment)->Config.SortMemoryMiB, 64u);
  EXPECT_TRUE((*environment)->Config.AllowRemoteControl);
}

TEST(EngineApi, VersionAndLastError) {
  uint32_t major = 0, minor = 0;
  char letter = 0;
  std::string description;
  EXPECT_EQ(engine::AdsGetVersion(&major, &minor, &letter, &description), 0u);
  EXPECT_EQ(major, 11u);
  EXPECT_EQ(minor, 10u);
  EXPECT_NE(letter, 0);
  EXPECT_FALSE(description.empty());

  engine::ClearLastError();
  uint32_t code = 1;
  std::string message = "x";
  engine::AdsGetLastError(&code, &message);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(message, "");
  ASSERT_FALSE(engine::Connection::Connect("/no/such/folder").ok());
  engine::AdsGetLastError(&code, &message);
  EXPECT_EQ(code, static_cast<uint32_t>(engine::AE_FOLDER_NOT_FOUND));
  EXPECT_NE(message.find("/no/such/folder"), std::string::npos);
}

}  // namespace
