// dbserver's settings (file and command line, one set of names) and the
// limits they put on a session.
#include <gtest/gtest.h>

#include "DbserverTestSupport.h"
#include "ServerConfig.h"
#include "engine/env/Connection.h"
#include "engine/net/NetErrors.h"
#include "engine/sql/RemoteTable.h"
#include "engine/table/Table.h"

namespace {

using dbserver_test::ServedTable;
using dbserver_test::WaitFor;

TEST(DbserverConfig, TheFileAndTheOptionsShareTheirNamesAndBadValuesAreNamed) {
  TempDir dir;
  dir.WriteFile("server.conf",
                "# a comment\n"
                "state-dir = /var/lib/dbserver\n"
                "port = 7000\n"
                "share = data=/srv/crm\n"
                "share = Archive=/srv/old\n"
                "allow = 192.0.2.0/24\n"
                "; another comment\n"
                "max-handles = 16\n");
  dbserver::ServerConfig config;
  std::string error;
  ASSERT_TRUE(dbserver::LoadConfigFile(config, dir / "server.conf", error)) << error;
  ASSERT_TRUE(dbserver::ApplySetting(config, "port", "7001", error));  // the command line after it
  ASSERT_TRUE(dbserver::FinishConfig(config, error));
  EXPECT_EQ(config.Port, 7001);
  EXPECT_EQ(config.StateDir, "/var/lib/dbserver");
  ASSERT_EQ(config.Shares.size(), 2u);
  EXPECT_EQ(config.Shares[1].Name, "Archive");
  EXPECT_EQ(config.Shares[1].Folder, "/srv/old");
  EXPECT_EQ(config.MaxHandles, 16u);
  ASSERT_EQ(config.Allowed.size(), 1u);                  // no loopback added when ranges are given
  EXPECT_TRUE(config.Allowed[0].Contains(0xC00002FE));   // 192.0.2.254
  EXPECT_FALSE(config.Allowed[0].Contains(0xC0000302));  // 192.0.3.2

  struct Case {
    const char* name;
    const char* value;
    const char* error;
  };
  const Case bad[] = {
      {"port", "65536", "port must be a whole number from 0 to 65535"},
      {"allow", "10.0.0.0/33", "allow must be A.B.C.D or A.B.C.D/BITS"},
      {"allow", "localhost", "allow must be A.B.C.D or A.B.C.D/BITS"},
      {"share", "data", "share must be NAME=FOLDER"},
      {"share", "a/b=/srv", "may not hold"},
      {"listen", "::1", "listen must be an IPv4 address"},
      {"max-connections", "0", "max-connections must be a whole number from 1"},
      {"colour", "blue", "unknown setting \"colour\""},
  };
  for (const Case& c : bad) {
    dbserver::ServerConfig fresh;
    EXPECT_FALSE(dbserver::ApplySetting(fresh, c.name, c.value, error)) << c.name;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
  dir.WriteFile("bad.conf", "port = 80\nnot a setting\n");
  dbserver::ServerConfig fresh;
  EXPECT_FALSE(dbserver::LoadConfigFile(fresh, dir / "bad.conf", error));
  EXPECT_NE(error.find("bad.conf line 2"), std::string::npos) << error;

  dbserver::ServerConfig loopback;
  loopback.StateDir = "/s";
  loopback.Shares.push_back({"d", "/srv"});
  ASSERT_TRUE(dbserver::FinishConfig(loopback, error));
  EXPECT_TRUE(loopback.Allowed[0].Contains(0x7F000001));
  EXPECT_TRUE(loopback.Allowed[0].Contains(0x7F0A0B0C));
  EXPECT_FALSE(loopback.Allowed[0].Contains(0x0A000001));
}

TEST(DbserverConfig, TheLimitsOfASessionHold) {
  ServedTable served(3, {"--max-handles", "2", "--idle-seconds", "1"});
  auto connection = engine::Connection::Connect(served.Folder());
  ASSERT_TRUE(connection.ok());
  auto first = engine::RemoteTable::Open(**connection, "T.ADT", engine::OpenMode::Shared);
  auto second = engine::RemoteTable::Open(**connection, "T.ADT", engine::OpenMode::Shared);
  ASSERT_TRUE(first.ok() && second.ok());
  auto third = engine::RemoteTable::Open(**connection, "T.ADT", engine::OpenMode::Shared);
  EXPECT_EQ(third.status().Code(), engine::AE_SERVER_LIMIT) << third.status().Message();

  // Left idle, the session ends and takes its tables with it.
  EXPECT_TRUE(WaitFor(
      [&] {
        return served.server->Log().find("(idle for 1 s); 2 open table(s) released") !=
               std::string::npos;
      },
      10))
      << served.server->Log();
  auto local = engine::Connection::Connect(served.LocalFolder());
  ASSERT_TRUE(local.ok());
  EXPECT_TRUE(engine::Table::Open(**local, "T.ADT", engine::OpenMode::Exclusive).ok());
  EXPECT_EQ((*first)->CountMatching().status().Code(), engine::AE_SERVER_CONNECTION_LOST);
}

}  // namespace
