// Query components: executing on the connection named by DatabaseName and
// the statement a query holds until it is released.
#include <gtest/gtest.h>

#include "DataSetFixture.h"
#include "dataset/EDatabaseError.h"

namespace {

TEST_F(DataSetTest, AnExecutedStatementIsHeldUntilReleased) {
  TAdsQuery* query = Query();
  const struct {
    const char* release;
    std::function<void(TAdsQuery&)> action;
  } cases[] = {
      {"AdsCloseSQLStatement", [](TAdsQuery& q) { q.AdsCloseSQLStatement(); }},
      {"Close", [](TAdsQuery& q) { q.Close(); }},
      {"new SQL text", [](TAdsQuery& q) { q.SetSQL("delete from T where RECID = ''"); }},
      {"new DatabaseName", [](TAdsQuery& q) { q.SetDatabaseName("Elsewhere"); }},
      {"disconnect", [this](TAdsQuery&) { connection_->SetIsConnected(false); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.release);
    query->SetDatabaseName("Conn");
    query->SetSQL("delete from T where RECID is null");
    try {
      query->ExecSQL();
      ADD_FAILURE() << "the engine executes no SQL yet";
    } catch (const EDatabaseError& error) {
      EXPECT_NE(error.Message().find("AdsQuery1"), std::string::npos) << error.Message();
      EXPECT_NE(error.Message().find("delete from T where RECID is null"), std::string::npos)
          << error.Message();
    }
    EXPECT_TRUE(query->StatementOpen());
    EXPECT_EQ(connection_->ClientCount(), 1u);
    EXPECT_FALSE(query->Active());
    c.action(*query);
    EXPECT_FALSE(query->StatementOpen());
    EXPECT_EQ(connection_->ClientCount(), 0u);
  }
}

TEST_F(DataSetTest, AQueryWithoutItsConnectionRaisesAndHoldsNothing) {
  TAdsQuery* query = Query();
  query->SetDatabaseName("NoSuchConnection");
  query->SetSQL("delete from T");
  EXPECT_THROW(query->ExecSQL(), EDatabaseError);
  EXPECT_FALSE(query->StatementOpen());
}

}  // namespace
