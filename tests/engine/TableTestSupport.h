// Helpers for the engine's table tests: a database folder with a connection,
// tables made from rows of text values, records read back as text, and
// files damaged on purpose.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/env/Connection.h"
#include "engine/record/ValueText.h"
#include "engine/table/Table.h"
#include "support/TempDir.h"

namespace engine_test {

using Cell = std::optional<std::string>;  // nullopt is NULL
using Row = std::vector<Cell>;

// A temporary database folder and a local connection to it.
class DatabaseFolder {
 public:
  DatabaseFolder() {
    auto connection = engine::Connection::Connect(dir_.Path());
    if (!connection) throw std::runtime_error(connection.status().Message());
    connection_ = std::move(connection.value());
  }
  const std::string& Path() const { return dir_.Path(); }
  std::string operator/(const std::string& name) const { return dir_ / name; }
  const engine::Connection& Connection() const { return *connection_; }
  const TempDir& Dir() const { return dir_; }

 private:
  TempDir dir_;
  std::unique_ptr<engine::Connection> connection_;
};

// Loads `name` with `fields` and `rows` (each cell the text form of a
// value), replacing a table of that name when `replace` is set.
inline engine::Status LoadTable(const engine::Connection& connection, const std::string& name,
                                const std::vector<engine::FieldDef>& fields,
                                const std::vector<Row>& rows, bool replace) {
  auto load = engine::TableLoad::Begin(connection, name, fields, replace);
  if (!load) return load.status();
  engine::RecordBuilder record(load->Schema());
  for (const Row& row : rows) {
    record.Clear();
    for (size_t i = 0; i < row.size(); ++i) {
      if (!row[i]) continue;
      if (engine::Status s = engine::SetFieldFromText(record, i, *row[i]); !s) return s;
    }
    if (engine::Status s = load->Append(record); !s) return s;
  }
  return load->Finish();
}

inline engine::Status MakeTable(const engine::Connection& connection, const std::string& name,
                                const std::vector<engine::FieldDef>& fields,
                                const std::vector<Row>& rows) {
  return LoadTable(connection, name, fields, rows, false);
}

inline engine::Status MakeTableReplacing(const engine::Connection& connection,
                                         const std::string& name,
                                         const std::vector<engine::FieldDef>& fields,
                                         const std::vector<Row>& rows) {
  return LoadTable(connection, name, fields, rows, true);
}

// Every record a scan visits, as text (nullopt for NULL).
inline std::vector<Row> ReadRows(const engine::Table& table, bool include_deleted = false) {
  std::vector<Row> rows;
  engine::TableScanner scanner = table.Scan(include_deleted);
  while (scanner.Next()) {
    Row row;
    for (size_t i = 0; i < table.Schema().FieldCount(); ++i) {
      if (scanner.Record().IsNull(i)) {
        row.push_back(std::nullopt);
      } else {
        row.push_back(engine::FieldText(scanner.Record(), i));
      }
    }
    rows.push_back(std::move(row));
  }
  EXPECT_TRUE(scanner.status().ok()) << scanner.status().Message();
  return rows;
}

inline std::unique_ptr<engine::Table> OpenOrFail(const engine::Connection& connection,
                                                 const std::string& name,
                                                 engine::OpenMode mode = engine::OpenMode::Shared) {
  auto table = engine::Table::Open(connection, name, mode);
  EXPECT_TRUE(table.ok()) << table.status().Message();
  return table.ok() ? std::move(table.value()) : nullptr;
}

inline void FlipByte(const std::string& path, size_t offset, unsigned char mask = 0x01) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  char byte = 0;
  file.get(byte);
  file.seekp(static_cast<std::streamoff>(offset));
  file.put(static_cast<char>(byte ^ mask));
}

}  // namespace engine_test
