// A query component: an SQL statement without rows, executed by the engine
// (engine::ExecuteStatement, docs/engine-sql.md) on the connection named by
// DatabaseName (connected on first use).
//
// Executing a statement leaves it registered with its connection, held by
// the query until AdsCloseSQLStatement, Close, a change of the SQL text or
// of DatabaseName, or the connection's disconnect releases it. The engine
// closes the statement's table before ExecSQL returns, so a held statement
// keeps no table open or locked. The query is active only while it has rows
// open; the statements it executes have none, so a query that was only
// executed is never active.
#pragma once

#include <QObject>
#include <cstdint>
#include <string>

#include "dataset/AdsConnection.h"

class TAdsQuery : public QObject, private TAdsConnectionClient {
  Q_OBJECT
  Q_CLASSINFO("Unit", "AdsDataset")

 public:
  explicit TAdsQuery(QObject* owner = nullptr);
  ~TAdsQuery() override;

  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& name);
  const std::string& SQL() const { return sql_; }
  void SetSQL(std::string sql);

  // Executes SQL on the query's connection. A failure of the statement is
  // raised as EADSDatabaseError with the engine's code and message (a
  // syntax error gives its position), this component's name and owner, and
  // the table the statement names; SQL() still holds the statement text.
  void ExecSQL();
  // The records the last ExecSQL deleted (0 after any other statement, a
  // failure, or a new SQL text).
  uint32_t RowsAffected() const { return rows_affected_; }
  // Releases the statement the last ExecSQL left prepared.
  void AdsCloseSQLStatement();
  bool StatementOpen() const { return connection_ != nullptr; }

  bool Active() const { return false; }
  void Close() { AdsCloseSQLStatement(); }

 private:
  void CloseForDisconnect() override { AdsCloseSQLStatement(); }

  std::string database_name_;
  std::string sql_;
  TAdsConnection* connection_ = nullptr;  // while a statement is held
  uint32_t rows_affected_ = 0;
};
