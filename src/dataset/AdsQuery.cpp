#include "dataset/AdsQuery.h"

#include "dataset/EADSDatabaseError.h"
#include "engine/sql/SqlExecute.h"

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
  rows_affected_ = 0;
}

void TAdsQuery::ExecSQL() {
  TAdsConnection& connection = UseConnection(database_name_, *this);
  if (connection_ != &connection) {
    AdsCloseSQLStatement();
    connection_ = &connection;
    connection_->AttachClient(*this);
  }
  rows_affected_ = 0;
  auto outcome = engine::ExecuteStatement(connection.EngineConnection(), sql_);
  if (!outcome.ok()) {
    RaiseAdsError(outcome.status(), AdsErrorPlace(this, engine::StatementTableName(sql_)));
  }
  rows_affected_ = outcome->RowsAffected;
}

void TAdsQuery::AdsCloseSQLStatement() {
  if (!connection_) return;
  connection_->DetachClient(*this);
  connection_ = nullptr;
}
