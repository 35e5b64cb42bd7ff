// Tables for tests, made through the engine's own API in a database folder:
// fields written the way dbtool's CSV header writes them ("NAME:C:10",
// "COUNT:I", "PRICE:N", "DAY:D", "OK:L") and rows of text values (nullopt is
// NULL; each text is read as the field's type reads it).
//
//   ASSERT_TRUE(MakeEngineTable(db.Path(), "DicTables.ADT", {"Type:C:1", "Table_Name:C:40"},
//                               {{"U", "Contacts.ADT"}, {"S", "SysLock.adt"}}).ok());
//
// Header-only: any test binary that links the engine can use it.
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "engine/env/Connection.h"
#include "engine/record/FieldTypes.h"
#include "engine/record/Record.h"
#include "engine/record/ValueText.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"
#include "engine/util/TableErrorCodes.h"

using EngineCell = std::optional<std::string>;  // nullopt is NULL
using EngineRow = std::vector<EngineCell>;

// "NAME:TYPE[:LENGTH]" as a field definition; an error for a text that is
// not one.
inline engine::Result<engine::FieldDef> EngineFieldDef(const std::string& spec) {
  const size_t colon = spec.find(':');
  if (colon == std::string::npos || colon + 2 > spec.size()) {
    return engine::Result<engine::FieldDef>(engine::AE_INVALID_FIELD,
                                            "\"" + spec + "\" is not NAME:TYPE[:LENGTH]");
  }
  const auto type = engine::TypeFromLetter(spec[colon + 1]);
  if (!type)
    return engine::Result<engine::FieldDef>(engine::AE_INVALID_FIELD,
                                            "\"" + spec + "\" has an unknown type");
  engine::FieldDef field{spec.substr(0, colon), *type, 0};
  if (colon + 2 < spec.size()) {
    if (spec[colon + 2] != ':') {
      return engine::Result<engine::FieldDef>(engine::AE_INVALID_FIELD,
                                              "\"" + spec + "\" is not NAME:TYPE[:LENGTH]");
    }
    const char* first = spec.data() + colon + 3;
    const char* last = spec.data() + spec.size();
    const auto [end, error] = std::from_chars(first, last, field.Length);
    if (error != std::errc() || end != last || first == last) {
      return engine::Result<engine::FieldDef>(engine::AE_INVALID_FIELD,
                                              "\"" + spec + "\" has no valid length");
    }
  }
  return field;
}

// Creates the table `name` in `folder` with `fields` and `rows`; with
// `replace` an existing table of that name (and its index file) gives way.
inline engine::Status MakeEngineTable(const std::string& folder, const std::string& name,
                                      const std::vector<std::string>& fields,
                                      const std::vector<EngineRow>& rows, bool replace = false) {
  auto connection = engine::Connection::Connect(folder);
  if (!connection) return connection.status();
  std::vector<engine::FieldDef> definitions;
  for (const std::string& spec : fields) {
    auto field = EngineFieldDef(spec);
    if (!field) return field.status();
    definitions.push_back(field.value());
  }
  auto load = engine::TableLoad::Begin(**connection, name, definitions, replace);
  if (!load) return load.status();
  engine::RecordBuilder record(load->Schema());
  for (const EngineRow& row : rows) {
    if (row.size() > definitions.size()) {
      return engine::Status(engine::AE_INVALID_VALUE,
                            "A row of " + std::to_string(row.size()) + " values for " +
                                std::to_string(definitions.size()) + " fields");
    }
    record.Clear();
    for (size_t column = 0; column < row.size(); ++column) {
      if (!row[column]) continue;
      if (engine::Status s = engine::SetFieldFromText(record, column, *row[column]); !s.ok())
        return s;
    }
    if (engine::Status s = load->Append(record); !s.ok()) return s;
  }
  return load->Finish();
}
