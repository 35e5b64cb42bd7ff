#include "dataset/AdsQuery.h"

#include "dataset/ComponentNames.h"
#include "dataset/EDatabaseError.h"

TAdsQuery::TAdsQuery(QObject* owner) : QObject(owner) {}

TAdsQuery::~TAdsQuery() {
  AdsCloseSQLStatement();
}

void TAdsQuery::SetDatabaseName(const std::string& name) {
  if (name == database_name_) return;
  AdsCloseSQLStatement();  // the statement belongs to the old connection
  database_name_ = name;
}

void TAdsQuery::SetSQL(std::string sql) {
  if (sql == sql_) return;
  AdsCloseSQLStatement();  // it was prepared for the old text
  sql_ = std::move(sql);
}

void TAdsQuery::ExecSQL() {
  TAdsConnection& connection = UseConnection(database_name_, *this);
  if (connection_ != &connection) {
    AdsCloseSQLStatement();
    connection_ = &connection;
    connection_->AttachClient(*this);
  }
  // The engine has no statement executor yet (it arrives with its SQL
  // subset), so there is no engine answer to raise: the statement is
  // refused here, naming the query.
  throw EDatabaseError(ComponentName(*this) +
                       ": the engine cannot execute SQL statements yet: " + sql_);
}

void TAdsQuery::AdsCloseSQLStatement() {
  if (!connection_) return;
  connection_->DetachClient(*this);
  connection_ = nullptr;
}
