// A query component: an SQL statement without rows, executed on the
// connection named by DatabaseName (connected on first use).
//
// Executing a statement leaves it prepared on its connection, held by the
// query until AdsCloseSQLStatement, Close, a change of the SQL text or of
// DatabaseName, or the connection's disconnect releases it. The query is
// active only while it has rows open; the statements it executes have none,
// so a query that was only executed is never active.
#pragma once

#include <QObject>
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

  // Executes SQL on the query's connection; a failure is raised with this
  // component's name and owner.
  void ExecSQL();
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
};
