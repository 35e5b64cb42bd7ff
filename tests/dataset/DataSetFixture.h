// A database folder with a connection named "Conn" on it (not connected
// until a dataset needs it), and components owned by a data-module-like
// owner named "DataModule".
#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "dataset/AdsConnection.h"
#include "dataset/AdsQuery.h"
#include "dataset/AdsTable.h"
#include "dataset/EADSDatabaseError.h"
#include "support/EngineTables.h"
#include "support/TempDir.h"

class DataSetTest : public ::testing::Test {
 protected:
  DataSetTest() {
    owner_.setObjectName("DataModule");
    connection_ = std::make_unique<TAdsConnection>();
    connection_->SetName("Conn");
    connection_->AdsServerTypes = stADS_LOCAL;
    connection_->ConnectPath = db_.Path();
  }

  void MakeTable(const std::string& name, const std::vector<std::string>& fields,
                 const std::vector<EngineRow>& rows) {
    const engine::Status made = MakeEngineTable(db_.Path(), name, fields, rows);
    ASSERT_TRUE(made.ok()) << made.Message();
  }

  // A table component on "Conn", owned by "DataModule".
  TAdsTable* Table(const std::string& table_name, bool exclusive = false,
                   const std::string& name = "MainTbl") {
    auto* table = new TAdsTable(&owner_);
    table->setObjectName(QString::fromStdString(name));
    table->SetDatabaseName("Conn");
    table->SetTableName(table_name);
    table->SetExclusive(exclusive);
    return table;
  }

  TAdsQuery* Query(const std::string& name = "AdsQuery1") {
    auto* query = new TAdsQuery(&owner_);
    query->setObjectName(QString::fromStdString(name));
    query->SetDatabaseName("Conn");
    return query;
  }

  // Every value of `field` from the table's current record to its end.
  static std::vector<std::string> ReadColumn(TAdsTable& table, const std::string& field) {
    std::vector<std::string> values;
    for (; !table.Eof(); table.Next()) values.push_back(table.FieldText(field));
    return values;
  }

  TempDir db_;
  QObject owner_;
  std::unique_ptr<TAdsConnection> connection_;
};

// Runs `action` and answers the EADSDatabaseError it raises; a test failure
// when it raises nothing or something else.
template <typename Action>
EADSDatabaseError ExpectAdsError(Action&& action) {
  try {
    action();
  } catch (const EADSDatabaseError& error) {
    return error;
  } catch (const std::exception& other) {
    ADD_FAILURE() << "raised something else: " << other.what();
    return EADSDatabaseError(0, other.what(), {});
  }
  ADD_FAILURE() << "raised nothing";
  return EADSDatabaseError(0, "", {});
}
