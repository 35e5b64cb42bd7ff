// What a session of dbserver may reach and what it holds: paths confined to
// the share, the same OS locks as a local open (and both kinds of user
// excluding each other), everything released when a client dies, an index
// file whole when the server dies mid-build; dbtool and the dataset
// components through the server.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "DbserverTestSupport.h"
#include "DbtoolProcess.h"
#include "dataset/AdsConnection.h"
#include "dataset/AdsQuery.h"
#include "dataset/AdsTable.h"
#include "dataset/AdsTableCalls.h"
#include "engine/env/Connection.h"
#include "engine/net/NetErrors.h"
#include "engine/sql/RemoteTable.h"
#include "engine/sql/SqlExecute.h"
#include "engine/table/Table.h"
#include "engine/table/TableRewrite.h"
#include "engine/util/TableErrorCodes.h"

namespace {

namespace fs = std::filesystem;
using dbserver_test::ServedTable;
using dbserver_test::WaitFor;

std::unique_ptr<engine::Connection> Connect(const std::string& path) {
  auto connection = engine::Connection::Connect(path);
  if (!connection.ok()) throw std::runtime_error(connection.status().Message());
  return std::move(connection.value());
}

TEST(DbserverShare, PathsThatLeaveTheShareAreRefusedInEachForm) {
  ServedTable served;
  TempDir outside;
  ASSERT_TRUE(MakeEngineTable(outside.Path(), "Secret.ADT", {"X:C:4"}, {{"abcd"}}).ok());
  fs::create_directories(served.share / "DB/sub");
  fs::create_directory_symlink(outside.Path(), served.share / "DB/away");
  fs::create_symlink(outside / "Secret.ADT", served.share / "DB/Linked.ADT");

  struct FolderCase {
    const char* rest;
    int code;
  };
  const FolderCase folders[] = {
      {"data\\..", engine::AE_SHARE_PATH},
      {"data\\DB\\sub\\..\\..\\..", engine::AE_SHARE_PATH},
      {"data\\/etc", engine::AE_SHARE_PATH},
      {"data\\C:\\DB", engine::AE_SHARE_PATH},
      {"nosuch\\DB", engine::AE_SHARE_PATH},
      {"data\\DB\\away", engine::AE_SHARE_PATH},  // a link out of the share
      {"data\\DB\\missing", engine::AE_FOLDER_NOT_FOUND},
      {"DATA\\DB\\sub", 0},  // share names ignore case
  };
  for (const FolderCase& c : folders) {
    auto connection = engine::Connection::Connect(served.server->Path(c.rest));
    EXPECT_EQ(connection.status().Code(), c.code)
        << c.rest << ": " << connection.status().Message();
  }

  auto connection = Connect(served.Folder());
  struct TableCase {
    const char* name;
    int code;
  };
  const TableCase tables[] = {
      {"../DB/T.ADT", engine::AE_INVALID_TABLE_NAME},
      {"/etc/passwd", engine::AE_INVALID_TABLE_NAME},
      {"away\\Secret.ADT", engine::AE_INVALID_TABLE_NAME},
      {"Linked.ADT", engine::AE_SHARE_PATH},  // a link to a table outside
      {"t.adt", 0},
  };
  for (const TableCase& c : tables) {
    auto table = engine::RemoteTable::Open(*connection, c.name, engine::OpenMode::Shared);
    EXPECT_EQ(table.status().Code(), c.code) << c.name << ": " << table.status().Message();
  }
  // A statement reaches only the share's files as well.
  auto deleted = engine::ExecuteStatement(*connection, "DELETE FROM Linked.ADT");
  EXPECT_EQ(deleted.status().Code(), engine::AE_SHARE_PATH) << deleted.status().Message();
  EXPECT_EQ(dbtool_test::RunDbtool(outside, {"count", "Secret.ADT"}).out, "1\n");
}

TEST(DbserverLocks, ALocalProcessAndARemoteClientExcludeEachOther) {
  ServedTable served;
  auto remote_connection = Connect(served.Folder());
  auto local_connection = engine::Connection::Connect(served.LocalFolder());
  ASSERT_TRUE(local_connection.ok());
  const auto open_local = [&](engine::OpenMode mode) {
    return engine::Table::Open(**local_connection, "T.ADT", mode);
  };
  const auto open_remote = [&](engine::OpenMode mode) {
    return engine::RemoteTable::Open(*remote_connection, "T.ADT", mode);
  };
  {
    auto remote = open_remote(engine::OpenMode::Exclusive);
    ASSERT_TRUE(remote.ok()) << remote.status().Message();
    EXPECT_EQ(open_local(engine::OpenMode::Shared).status().Code(), engine::AE_TABLE_IN_USE);
  }
  {
    auto local = open_local(engine::OpenMode::Exclusive);
    ASSERT_TRUE(local.ok());
    auto remote = open_remote(engine::OpenMode::Shared);
    EXPECT_EQ(remote.status().Code(), engine::AE_TABLE_IN_USE) << remote.status().Message();
  }
  {
    auto local = open_local(engine::OpenMode::Shared);
    auto remote = open_remote(engine::OpenMode::Shared);
    EXPECT_TRUE(local.ok() && remote.ok());
    EXPECT_EQ(open_remote(engine::OpenMode::Exclusive).status().Code(), engine::AE_TABLE_IN_USE);
  }
}

TEST(DbserverLocks, AClientKilledWhileHoldingATableReleasesItAtOnce) {
  ServedTable served;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    char byte = 'n';
    auto connection = engine::Connection::Connect(served.Folder());
    std::unique_ptr<engine::RemoteTable> held;
    if (connection.ok()) {
      auto table = engine::RemoteTable::Open(**connection, "T.ADT", engine::OpenMode::Exclusive);
      if (table.ok()) {
        held = std::move(table.value());
        byte = 'y';
      }
    }
    (void)!write(ready[1], &byte, 1);
    for (;;) pause();  // until killed
  }
  close(ready[1]);
  char byte = 'n';
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  ASSERT_EQ(byte, 'y');
  auto local_connection = engine::Connection::Connect(served.LocalFolder());
  ASSERT_TRUE(local_connection.ok());
  EXPECT_EQ(
      engine::Table::Open(**local_connection, "T.ADT", engine::OpenMode::Shared).status().Code(),
      engine::AE_TABLE_IN_USE);

  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(WaitFor(
      [&] {
        return engine::Table::Open(**local_connection, "T.ADT", engine::OpenMode::Exclusive).ok();
      },
      1.0))
      << "the lock is free within a second\n"
      << served.server->Log();
  EXPECT_NE(served.server->Log().find("1 open table(s) released"), std::string::npos);
}

TEST(DbserverLocks, TheServerKilledDuringAnIndexBuildLeavesAWholeIndexFile) {
  ServedTable served(300000);
  {
    auto local = engine::Connection::Connect(served.LocalFolder());
    ASSERT_TRUE(local.ok());
    auto table = engine::Table::Open(**local, "T.ADT", engine::OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    engine::IndexTagDefinition id{"ID", "ID", {}};
    ASSERT_TRUE((*table)->AddIndex(id, 0).ok());
  }
  auto connection = Connect(served.Folder());
  auto table = engine::RemoteTable::Open(*connection, "T.ADT", engine::OpenMode::Exclusive);
  ASSERT_TRUE(table.ok());
  engine::Status built;
  std::thread build([&] {
    engine::IndexTagDefinition name{"NAMEID", "NAME;ID", {}};
    built = (*table)->AddIndex(name, 0);
  });
  // The build is under way once its temporary files appear beside the table.
  const bool seen = WaitFor(
      [&] {
        for (const auto& entry : fs::directory_iterator(served.LocalFolder())) {
          if (entry.path().filename().string().find(".tmp") != std::string::npos) return true;
        }
        return false;
      },
      30);
  served.server->Kill();
  build.join();
  ASSERT_TRUE(seen) << "the build was not seen under way";
  EXPECT_EQ(built.Code(), engine::AE_SERVER_CONNECTION_LOST) << built.Message();
  EXPECT_NE(built.Message().find("lost during a request"), std::string::npos);
  // Later calls on the session say the same, at once.
  EXPECT_EQ((*table)->CountMatching().status().Code(), engine::AE_SERVER_CONNECTION_LOST);
  // The old file (one tag) or the new one (two), sound either way.
  TempDir here;
  const auto verified = dbtool_test::RunDbtool(here, {"verify", served.LocalFolder() + "/T.ADT"});
  EXPECT_EQ(verified.exit_code, 0) << verified.out << verified.err;
  EXPECT_NE(verified.out.find("ID: OK"), std::string::npos) << verified.out;
}

TEST(DbserverTools, DbtoolCommandsWorkOnServerPaths) {
  ServedTable served(20);
  TempDir here;
  const std::string table = served.server->Path("data", "DB\\T.ADT");
  const auto run = [&](const std::vector<std::string>& args) {
    return dbtool_test::RunDbtool(here, args);
  };
  EXPECT_EQ(run({"count", table}).out, "20\n");
  EXPECT_EQ(run({"count", table, "--filter", "N = 3"}).out, "2\n");
  const auto dump = run({"dump", table, "--filter", "N = 3"});
  EXPECT_EQ(dump.out, "ID:C:8,NAME:C:20,N:I\n3,name3,3\n13,name13,3\n") << dump.err;
  const auto index = run({"index", table, "NAME", "NAME", "--pagesize", "1024"});
  EXPECT_EQ(index.out, "NAME: NAME, options none, page size 1024, 20 keys\n") << index.err;
  EXPECT_EQ(run({"reindex", table}).out, "NAME: NAME, options none, page size 1024, 20 keys\n");
  EXPECT_EQ(run({"verify", table}).out, "NAME: OK\n");
  const auto sql = run({"sql", served.server->Path("data", "DB"), "DELETE FROM T WHERE N = 3"});
  EXPECT_EQ(sql.out, "2 records deleted from T.ADT\n") << sql.err;
  EXPECT_EQ(run({"count", table}).out, "18\n");
  EXPECT_EQ(run({"dump", table, "--deleted"}).out,
            run({"dump", served.LocalFolder() + "/T.ADT", "--deleted"}).out);
  // The same answers as the local tool on the same files.
  EXPECT_EQ(run({"verify", served.LocalFolder() + "/T.ADT"}).out, "NAME: OK\n");
}

// Every command gives through the server what it gives on the files
// themselves: the reading ones the same output, the changing ones the same
// files afterwards.
TEST(DbserverTools, EveryDbtoolCommandAnswersThroughTheServerAsOnTheFiles) {
  ServedTable served(40);
  TempDir here;
  const std::string remote_folder = served.server->Path("data", "DB");
  const std::string local_folder = served.LocalFolder();
  const auto run = [&](const std::vector<std::string>& args, const std::string& input = "") {
    std::string stdin_file;
    if (!input.empty()) {
      stdin_file = here.WriteFile("stdin.txt", input);
    }
    return dbtool_test::RunDbtool(here, args, stdin_file);
  };
  // Runs `args` with {} standing for the table path, through the server and
  // locally; answers the remote run after comparing the two.
  const auto both = [&](std::vector<std::string> args, const std::string& table = "T.ADT",
                        const std::string& input = "") {
    std::vector<std::string> remote = args, local = args;
    for (std::string& a : remote)
      if (a == "{}") a = remote_folder + "\\" + table;
    for (std::string& a : local)
      if (a == "{}") a = local_folder + "/" + table;
    const auto r = run(remote, input);
    auto l = run(local, input);
    const size_t at = l.out.find(local_folder + "/" + table);  // info names the table's path
    if (at != std::string::npos)
      l.out.replace(at, local_folder.size() + 1 + table.size(), remote_folder + "\\" + table);
    EXPECT_EQ(r.exit_code, l.exit_code) << args[0] << ": " << r.err << " / " << l.err;
    EXPECT_EQ(r.out, l.out) << args[0];
    EXPECT_EQ(r.err, l.err) << args[0];
    return r;
  };
  ASSERT_EQ(run({"index", remote_folder + "\\T.ADT", "NAME", "NAME;ID", "--ci"}).exit_code, 0);
  ASSERT_EQ(run({"sql", remote_folder, "CREATE INDEX FTS ON T ( NAME ) CONTENT MIN_WORD_LENGTH 3"})
                .exit_code,
            0);
  ASSERT_EQ(run({"sql", remote_folder, "DELETE FROM T WHERE N = 7"}).exit_code, 0);

  // Reading commands, and their failures, answer alike.
  EXPECT_NE(both({"info", "{}"}).out.find("Records:        40 (36 live, 4 deleted)"),
            std::string::npos);
  EXPECT_EQ(both({"scan", "{}", "NAME", "--from", "NAME2", "--limit", "3"}).out,
            "ID:C:8,NAME:C:20,N:I\n2,name2,2\n20,name20,0\n21,name21,1\n");
  EXPECT_EQ(both({"scan", "{}", "NAME"}).out.size(), both({"dump", "{}"}).out.size());
  EXPECT_EQ(both({"search", "{}", "FTS", "name13"}).out, "ID:C:8,NAME:C:20,N:I\n13,name13,3\n");
  EXPECT_EQ(both({"scan", "{}", "NOSUCH"}).exit_code, 2);
  EXPECT_EQ(both({"search", "{}", "NAME", "x"}).exit_code, 2);
  EXPECT_EQ(both({"verify", "{}"}).out, "NAME: OK\nFTS: OK\n");

  // recall through the server: the records and the tags as a local recall
  // leaves them.
  EXPECT_EQ(run({"recall", remote_folder + "\\T.ADT", "--filter", "ID = '17'"}).out,
            "1 records recalled\n");
  EXPECT_EQ(run({"count", local_folder + "/T.ADT"}).out, "37\n");
  EXPECT_EQ(run({"verify", local_folder + "/T.ADT"}).exit_code, 0);
  EXPECT_EQ(run({"recall", remote_folder + "\\T.ADT", "--filter", "NOSUCH = 1"}).exit_code, 2);

  // import through the server makes the table there, whole or not at all.
  const std::string csv =
      here.WriteFile("u.csv", "K:C:4,V:I,D:D,L:L,X:N\nab,1,2024-02-29,T,1.5\n,,,,\nzz,-7,,F,\n");
  const auto imported = run({"import", remote_folder + "\\U.ADT", csv});
  EXPECT_EQ(imported.exit_code, 0) << imported.err;
  EXPECT_EQ(run({"dump", local_folder + "/U.ADT"}).out,
            run({"dump", remote_folder + "\\U.ADT"}).out);
  const auto again = run({"import", remote_folder + "\\U.ADT", csv});
  EXPECT_EQ(again.exit_code, 2);
  EXPECT_NE(again.err.find("--replace"), std::string::npos) << again.err;
  here.WriteFile("u.csv", "K:C:4\nabcdef\n");  // too long: nothing is made
  EXPECT_EQ(run({"import", "--replace", remote_folder + "\\U.ADT", csv}).exit_code, 2);
  EXPECT_EQ(run({"count", local_folder + "/U.ADT"}).out, "3\n");

  // encrypt and decrypt through the server rewrite the files there.
  const auto encrypted =
      run({"encrypt", remote_folder + "\\T.ADT", "--rounds", "1000"}, "secret\n");
  EXPECT_EQ(encrypted.out, "T.ADT: encrypted\n") << encrypted.err;
  EXPECT_NE(run({"info", local_folder + "/T.ADT"}).out.find("Encrypted:      yes"),
            std::string::npos);
  EXPECT_EQ(both({"count", "{}", "--password-stdin"}, "T.ADT", "secret\n").out, "37\n");
  EXPECT_EQ(both({"count", "{}", "--password-stdin"}, "T.ADT", "wrong\n").exit_code, 2);
  both({"info", "{}"});  // described without the password
  EXPECT_EQ(run({"decrypt", remote_folder + "\\T.ADT"}, "wrong\n").exit_code, 2);
  EXPECT_EQ(run({"decrypt", remote_folder + "\\T.ADT"}, "secret\n").out, "T.ADT: decrypted\n");
  EXPECT_EQ(both({"verify", "{}"}).out, "NAME: OK\nFTS: OK\n");
}

TEST(DbserverDataset, ATableThroughTheServerReadsAsTheSameTableLocally) {
  ServedTable served(50);
  const auto read_all = [](const std::string& path, uint8_t types, bool filtered,
                           std::string& type_text) {
    TAdsConnection connection;
    connection.SetName("C" + std::to_string(types));
    connection.ConnectPath = path;
    connection.AdsServerTypes = types;
    TAdsTable table;
    table.SetDatabaseName(connection.Name());
    table.SetTableName("T.ADT");
    table.SetExclusive(true);
    table.SetFilter("N = 4 OR N = 5");
    table.SetFiltered(filtered);
    table.Open();
    type_text = connection.ConnectionTypeText();
    std::string text;
    for (; !table.Eof(); table.Next())
      text += table.FieldText("ID") + "," + table.FieldText("name") + ";";
    text += "|last:" + table.FieldText("ID");
    table.AddIndex("BYNAME", "NAME;ID", ixCaseInsensitive);
    AdsReindexTable(table, 2048);
    uint16_t page_size = 0;
    EXPECT_EQ(AdsFirstIndexPageSize(table, page_size), 0u);
    text += "|page:" + std::to_string(page_size) + "|after:" + table.FieldText("ID");
    table.Close();
    return text;
  };
  std::string remote_type, local_type;
  for (bool filtered : {false, true}) {
    const std::string remote = read_all(served.Folder(), stADS_REMOTE, filtered, remote_type);
    const std::string local = read_all(served.LocalFolder(), stADS_LOCAL, filtered, local_type);
    EXPECT_EQ(remote, local) << filtered;
  }
  EXPECT_EQ(remote_type, "Remote");
  EXPECT_EQ(local_type, "Local");

  // An encrypted table: locked until its password is enabled, then read
  // and reindexed as locally.
  {
    auto local = engine::Connection::Connect(served.LocalFolder());
    ASSERT_TRUE(local.ok());
    engine::TableRewriteOptions fast;
    fast.KdfIterations = 1000;
    ASSERT_TRUE(engine::EncryptTable(**local, "T.ADT", "pw", fast).ok());
  }
  const auto read_encrypted = [](const std::string& path, uint8_t types) {
    TAdsConnection connection;
    connection.SetName("E" + std::to_string(types));
    connection.ConnectPath = path;
    connection.AdsServerTypes = types;
    TAdsTable table;
    table.SetDatabaseName(connection.Name());
    table.SetTableName("T.ADT");
    table.SetExclusive(true);
    table.Open();
    std::string text = std::string(IsAdsTableEncrypted(table) ? "encrypted" : "plain") +
                       (table.Bof() && table.Eof() ? " locked" : " open");
    try {
      table.FieldText("ID");
    } catch (const EADSDatabaseError& error) {
      text += " " + std::to_string(error.ACEErrorCode());
    }
    AdsEnableTableEncryption(table, "pw");
    for (; !table.Eof(); table.Next()) text += "," + table.FieldText("ID");
    AdsReindexTable(table, 0);
    text += "|" + table.FieldText("ID");
    AdsDisableTableEncryption(table);
    text += table.Bof() && table.Eof() ? " locked" : " open";
    return text;
  };
  const std::string encrypted_remote = read_encrypted(served.Folder(), stADS_REMOTE);
  EXPECT_EQ(encrypted_remote, read_encrypted(served.LocalFolder(), stADS_LOCAL));
  EXPECT_EQ(encrypted_remote.substr(0, 22), "encrypted locked 8334,");

  // A failure on the server reaches the component with the engine's code.
  TAdsConnection connection;
  connection.SetName("Failing");
  connection.ConnectPath = served.Folder();
  connection.AdsServerTypes = stADS_REMOTE;
  TAdsTable table;
  table.SetDatabaseName("Failing");
  table.SetTableName("T.ADT");
  table.Open();
  try {
    table.AddIndex("X", "NOSUCHFIELD", 0);
    ADD_FAILURE() << "no error";
  } catch (const EADSDatabaseError& error) {
    EXPECT_EQ(error.ACEErrorCode(), 8120) << error.what();  // opened shared
  }
  // The server type decides what a path may reach.
  TAdsConnection local_only;
  local_only.SetName("LocalOnly");
  local_only.ConnectPath = served.Folder();
  local_only.AdsServerTypes = stADS_LOCAL;
  EXPECT_THROW(local_only.SetIsConnected(true), EADSDatabaseError);
  TAdsConnection remote_only;
  remote_only.SetName("RemoteOnly");
  remote_only.ConnectPath = served.LocalFolder();  // on no network share
  remote_only.AdsServerTypes = stADS_REMOTE;
  try {
    remote_only.SetIsConnected(true);
    ADD_FAILURE() << "connected to a folder on no server";
  } catch (const EADSDatabaseError& error) {
    EXPECT_EQ(error.ACEErrorCode(), static_cast<uint32_t>(engine::AE_SERVER_NOT_FOUND));
  }
}

}  // namespace
