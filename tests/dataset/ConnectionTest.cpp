// Connections: the registry by name, connecting on first use, what a
// disconnect closes and tells, and what a connection reports for the log.
#include <gtest/gtest.h>

#include <thread>

#include "DataSetFixture.h"
#include "dataset/EDatabaseError.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"

namespace {

TEST(ConnectionRegistry, FindsLiveConnectionsByNameIgnoringCase) {
  auto main = std::make_unique<TAdsConnection>();
  main->SetName("DBConnection");
  TAdsConnection exclusive;
  exclusive.SetName("CONNECTEXCLUSIVE4711");

  EXPECT_EQ(TAdsConnection::FindConnection("dbconnection"), main.get());
  EXPECT_EQ(TAdsConnection::FindConnection("ConnectExclusive4711"), &exclusive);
  EXPECT_EQ(TAdsConnection::FindConnection("CONNECTEXCLUSIVE"), nullptr);
  EXPECT_EQ(TAdsConnection::FindConnection(""), nullptr);

  // A second live connection cannot take a name in use, in any case; the
  // refused connection keeps its own name.
  TAdsConnection other;
  other.SetName("Other");
  EXPECT_THROW(other.SetName("DBCONNECTION"), EDatabaseError);
  EXPECT_EQ(other.Name(), "Other");
  EXPECT_EQ(TAdsConnection::FindConnection("DBConnection"), main.get());

  // A renamed connection is found by its new name only; a destroyed one is
  // gone, and its name is free again.
  other.SetName("Renamed");
  EXPECT_EQ(TAdsConnection::FindConnection("Other"), nullptr);
  EXPECT_EQ(TAdsConnection::FindConnection("renamed"), &other);
  main.reset();
  EXPECT_EQ(TAdsConnection::FindConnection("DBConnection"), nullptr);
  other.SetName("DBConnection");
  EXPECT_EQ(TAdsConnection::FindConnection("DBConnection"), &other);
}

TEST_F(DataSetTest, ATableOrAQueryConnectsItsConnectionOnFirstUse) {
  MakeTable("T.ADT", {"NAME:C:10"}, {{"a"}});
  const struct {
    const char* use;
    std::function<void()> action;
  } cases[] = {{"table open", [this] { Table("T.ADT")->Open(); }},
               {"query execution", [this] {
                  TAdsQuery* query = Query();
                  query->SetSQL("delete from T where NAME is null");
                  query->ExecSQL();
                }}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.use);
    connection_->SetIsConnected(false);
    ASSERT_FALSE(connection_->IsConnected());
    EXPECT_EQ(connection_->ConnectionTypeText(), "");
    c.action();
    EXPECT_TRUE(connection_->IsConnected());
    EXPECT_EQ(connection_->ConnectionTypeText(), "Local");
  }
}

TEST_F(DataSetTest, DisconnectClosesTablesAndQueriesBetweenItsNotifications) {
  MakeTable("A.ADT", {"NAME:C:10"}, {{"a"}});
  MakeTable("B.ADT", {"NAME:C:10"}, {{"b"}});
  TAdsTable* shared = Table("A.ADT", false, "SharedTbl");
  TAdsTable* exclusive = Table("B.ADT", true, "ExclusiveTbl");
  TAdsQuery* query = Query();
  shared->Open();
  exclusive->Open();
  query->SetSQL("delete from A where NAME = 'x'");
  query->ExecSQL();  // deletes nothing, beside the shared open of A
  ASSERT_TRUE(query->StatementOpen());

  std::vector<std::string> events;
  auto open_datasets = [&] {
    return std::to_string(shared->Active() + exclusive->Active() + query->StatementOpen());
  };
  connection_->BeforeDisconnect = [&](TAdsConnection& c) {
    events.push_back("before " + open_datasets() + (c.IsConnected() ? " connected" : ""));
  };
  connection_->AfterDisconnect = [&](TAdsConnection& c) {
    events.push_back("after " + open_datasets() + (c.IsConnected() ? " connected" : ""));
  };
  connection_->OnDisconnect = [&](TAdsConnection& c) {
    events.push_back("on " + open_datasets() + (c.IsConnected() ? " connected" : ""));
  };
  connection_->SetIsConnected(false);
  EXPECT_EQ(events, (std::vector<std::string>{"before 3 connected", "after 0", "on 0"}));
  EXPECT_FALSE(connection_->IsConnected());
  EXPECT_EQ(connection_->ClientCount(), 0u);

  // The closed tables released their locks: both open exclusively again.
  auto engine_connection = engine::Connection::Connect(db_.Path());
  ASSERT_TRUE(engine_connection.ok());
  for (const char* name : {"A.ADT", "B.ADT"}) {
    EXPECT_TRUE(engine::Table::Open(**engine_connection, name, engine::OpenMode::Exclusive).ok())
        << name;
  }

  // Nothing is left to disconnect: no notification fires.
  connection_->SetIsConnected(false);
  EXPECT_EQ(events.size(), 3u);
}

TEST_F(DataSetTest, AFailingBeforeDisconnectKeepsTheConnectionAndItsTablesUntilDestroyed) {
  MakeTable("T.ADT", {"NAME:C:10"}, {{"a"}});
  TAdsTable* table = Table("T.ADT");
  table->Open();
  connection_->BeforeDisconnect = [](TAdsConnection&) { throw Exception("not now"); };
  EXPECT_THROW(connection_->SetIsConnected(false), Exception);
  EXPECT_TRUE(connection_->IsConnected());
  EXPECT_TRUE(table->Active());
  EXPECT_EQ(table->FieldText("NAME"), "a");

  // Destroyed, the connection closes its tables even though the
  // notification still refuses.
  connection_.reset();
  EXPECT_FALSE(table->Active());
}

TEST_F(DataSetTest, ADestroyedConnectionClosesItsTablesAndCannotBeFoundAgain) {
  MakeTable("T.ADT", {"NAME:C:10"}, {{"a"}});
  TAdsTable* table = Table("T.ADT", true);
  table->Open();
  connection_.reset();
  EXPECT_FALSE(table->Active());
  bool refused = false;
  try {
    table->Open();
  } catch (const EDatabaseError& error) {
    refused = true;
    EXPECT_NE(error.Message().find("\"Conn\""), std::string::npos) << error.Message();
  }
  EXPECT_TRUE(refused);
}

TEST_F(DataSetTest, AFailedConnectRaisesTheEngineErrorNamingTheConnection) {
  QObject dm;
  dm.setObjectName("DBConnectionDM");
  TAdsConnection connection(&dm);
  connection.SetName("DBConnection");
  const struct {
    std::string path;
    int code;
  } cases[] = {{db_ / "missing", engine::AE_FOLDER_NOT_FOUND},
               {"\\\\server:0\\Data\\DB", engine::AE_INVALID_CONNECT_PATH}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    connection.ConnectPath = c.path;
    const EADSDatabaseError error = ExpectAdsError([&] { connection.SetIsConnected(true); });
    EXPECT_EQ(error.ACEErrorCode(), static_cast<uint32_t>(c.code));
    EXPECT_FALSE(error.Message().empty());
    EXPECT_EQ(error.ComponentName(), "DBConnection");
    EXPECT_EQ(error.OwnerName(), "DBConnectionDM");
    EXPECT_EQ(error.TableName(), "");
    EXPECT_EQ(error.SQLErrorCode(), "0");
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.ConnectionTypeText(), "");
  }
}

TEST_F(DataSetTest, LogFactsOfAConnection) {
  for (bool connected : {false, true}) {
    SCOPED_TRACE(connected);
    connection_->SetIsConnected(connected);
    EXPECT_EQ(connection_->DDGetDatabaseProperty(111), 0u);
    EXPECT_EQ(connection_->DDGetDatabaseProperty(112), 0u);
  }
  EXPECT_EQ(connection_->CreatorThreadId(), platform::CurrentThreadId());

  uint64_t worker_id = 0;
  uint64_t creator_id = 0;
  std::thread worker([&] {
    worker_id = platform::CurrentThreadId();
    TAdsConnection made_here;
    creator_id = made_here.CreatorThreadId();
  });
  worker.join();
  EXPECT_EQ(creator_id, worker_id);
  EXPECT_NE(creator_id, platform::CurrentThreadId());
}

}  // namespace
