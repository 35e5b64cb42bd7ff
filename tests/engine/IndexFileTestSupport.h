// A small in-memory table for index tests: rows of typed cells that feed an
// IndexBuilder, and a reference order of the rows computed straight from the
// values (not from encoded keys), to hold the index's order against.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/index/IndexBuilder.h"
#include "engine/index/IndexFile.h"
#include "engine/index/Key.h"
#include "engine/indexfile/IndexFileWriter.h"
#include "engine/record/DateValue.h"
#include "engine/util/CharTable.h"

namespace indextest {

using engine::KeyField;
using engine::KeyPartType;
using engine::KeyValue;

struct Cell {
  bool Null = true;
  std::string Text;
  int32_t Int = 0;
  double Real = 0;
  bool Bool = false;
};

inline Cell Text(std::string text) {
  return Cell{false, std::move(text), 0, 0, false};
}
inline Cell Int(int32_t value) {
  return Cell{false, {}, value, 0, false};
}
inline Cell Real(double value) {
  return Cell{false, {}, 0, value, false};
}
inline Cell Bool(bool value) {
  return Cell{false, {}, 0, 0, value};
}
inline Cell Null() {
  return Cell{};
}

struct MemoryTable {
  std::vector<KeyField> Fields;
  std::vector<std::vector<Cell>> Rows;  // record number = position + 1
  std::vector<bool> Deleted;            // same length as Rows, or empty

  KeyValue ValueOf(const std::vector<Cell>& row, uint32_t field) const {
    const Cell& cell = row[field];
    const KeyPartType type = Fields[field].Type;
    if (cell.Null) return KeyValue::Null(type);
    switch (type) {
      case KeyPartType::Character:
        return KeyValue::Char(cell.Text);
      case KeyPartType::Integer:
        return KeyValue::Integer(cell.Int);
      case KeyPartType::Double:
        return KeyValue::Number(cell.Real);
      case KeyPartType::Date:
        return KeyValue::Date(cell.Int);
      case KeyPartType::Logical:
        return KeyValue::Logical(cell.Bool);
    }
    return KeyValue::Null(type);
  }

  bool IsLive(size_t position) const { return Deleted.empty() || !Deleted[position]; }

  // Feeds the live rows to `builder`, as a table scan would.
  void Feed(engine::IndexBuilder& builder) const {
    const auto& parts = builder.Key().Parts();
    std::vector<KeyValue> values(parts.size());
    for (size_t r = 0; r < Rows.size(); ++r) {
      if (!IsLive(r)) continue;
      for (size_t p = 0; p < parts.size(); ++p) values[p] = ValueOf(Rows[r], parts[p].FieldIndex);
      builder.Add(static_cast<uint32_t>(r + 1), values);
    }
  }

  // The field position of `name` (exact spelling).
  uint32_t FieldIndex(const std::string& name) const {
    for (size_t i = 0; i < Fields.size(); ++i) {
      if (Fields[i].Name == name) return static_cast<uint32_t>(i);
    }
    return 0;
  }
};

// Compares one field of two rows in the order of the values themselves.
inline int CompareCells(const KeyField& field, const Cell& a, const Cell& b,
                        bool case_insensitive) {
  if (a.Null || b.Null) return a.Null == b.Null ? 0 : (a.Null ? -1 : 1);
  const engine::CharTable& table = engine::DefaultCharTable();
  switch (field.Type) {
    case KeyPartType::Character: {
      for (uint32_t i = 0; i < field.Length; ++i) {
        uint8_t x = i < a.Text.size() ? static_cast<uint8_t>(a.Text[i]) : ' ';
        uint8_t y = i < b.Text.size() ? static_cast<uint8_t>(b.Text[i]) : ' ';
        if (case_insensitive) {
          x = table.Upper[x];
          y = table.Upper[y];
        }
        if (table.SortWeight[x] != table.SortWeight[y])
          return table.SortWeight[x] < table.SortWeight[y] ? -1 : 1;
      }
      return 0;
    }
    case KeyPartType::Integer:
    case KeyPartType::Date:
      return a.Int == b.Int ? 0 : (a.Int < b.Int ? -1 : 1);
    case KeyPartType::Double:
      return a.Real == b.Real ? 0 : (a.Real < b.Real ? -1 : 1);
    case KeyPartType::Logical:
      return a.Bool == b.Bool ? 0 : (a.Bool ? 1 : -1);
  }
  return 0;
}

// The record numbers of the live rows in the order a tag over `fields`
// (positions into table.Fields) must list them: by the fields' values, each
// reversed when descending, equal keys by record number.
inline std::vector<uint32_t> ReferenceOrder(const MemoryTable& table,
                                            const std::vector<uint32_t>& fields, bool descending,
                                            bool case_insensitive) {
  std::vector<uint32_t> order;
  for (size_t r = 0; r < table.Rows.size(); ++r) {
    if (table.IsLive(r)) order.push_back(static_cast<uint32_t>(r + 1));
  }
  std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
    for (uint32_t f : fields) {
      int c = CompareCells(table.Fields[f], table.Rows[x - 1][f], table.Rows[y - 1][f],
                           case_insensitive);
      if (descending) c = -c;
      if (c != 0) return c < 0;
    }
    return false;
  });
  return order;
}

// A table of `count` rows with every field type, small value pools (so keys
// repeat), NULLs, blanks, case variants and accented letters.
inline MemoryTable SampleTable(size_t count, uint32_t seed) {
  MemoryTable table;
  table.Fields = {
      {"RECID", KeyPartType::Character, 8},     {"LASTNAME", KeyPartType::Character, 10},
      {"FIRSTNAME", KeyPartType::Character, 6}, {"SCORE", KeyPartType::Integer, 0},
      {"BALANCE", KeyPartType::Double, 0},      {"BIRTHDATE", KeyPartType::Date, 0},
      {"ACTIVE", KeyPartType::Logical, 0},      {"NOTES", KeyPartType::Character, 600},
  };
  static const char* const kLast[] = {
      "Smith",   "SMITH", "smith", "M\xFCller", "Muller", "O'Brien", "van Dijk", "\xC9tienne",
      "Etienne", "Zed",   "  ",    "A",         "a",      "Ab",      "AB",       "\x01x"};
  static const char* const kFirst[] = {"Ann", "ann", "Bob", "", "Zoe", "\xE9mile"};
  std::mt19937 random(seed);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  for (size_t i = 0; i < count; ++i) {
    std::vector<Cell> row(table.Fields.size());
    char id[9];  // distinct for every row: a multiplicative hash is a bijection
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>((i + seed) * 2654435761u));
    row[0] = Text(id);
    row[1] = pick(12) == 0 ? Null() : Text(kLast[pick(std::size(kLast))]);
    row[2] = pick(8) == 0 ? Null() : Text(kFirst[pick(std::size(kFirst))]);
    static const int32_t kScores[] = {INT32_MIN, -1000000, -1, 0, 1, 7, 999999, INT32_MAX};
    row[3] = pick(10) == 0 ? Null() : Int(kScores[pick(std::size(kScores))]);
    static const double kBalances[] = {-1e300, -2.5, -0.0, 0.0, 1e-310, 0.5, 3.25, 1e300};
    row[4] = pick(10) == 0 ? Null() : Real(kBalances[pick(std::size(kBalances))]);
    row[5] = pick(10) == 0 ? Null()
                           : Int(engine::DayNumberFromCivil(1900 + static_cast<int>(pick(150)),
                                                            1 + static_cast<int>(pick(12)), 1));
    row[6] = pick(5) == 0 ? Null() : Bool(pick(2) == 1);
    row[7] = Text(std::string(pick(3), 'n'));
    table.Rows.push_back(std::move(row));
  }
  return table;
}

inline engine::IndexTagDefinition Definition(std::string name, std::string expression,
                                             bool unique = false, bool descending = false,
                                             bool case_insensitive = false) {
  engine::IndexTagDefinition definition;
  definition.Name = std::move(name);
  definition.Expression = std::move(expression);
  definition.Options.Unique = unique;
  definition.Options.Descending = descending;
  definition.Options.CaseInsensitive = case_insensitive;
  return definition;
}

// Builds a tag from the table and adds it to the index file.
inline engine::Status AddTag(const std::string& index_path, const MemoryTable& table,
                             const engine::IndexTagDefinition& definition, uint32_t page_size = 0,
                             uint64_t sort_memory = 64ull << 20) {
  engine::IndexBuildSettings settings;
  settings.IndexPath = index_path;
  settings.SortMemoryBytes = sort_memory;
  auto builder = engine::IndexBuilder::Create(definition, table.Fields, settings);
  if (!builder.ok()) return builder.status();
  table.Feed(**builder);
  engine::IndexWriteOptions options;
  options.PageSize = page_size;
  return engine::AddIndexTag(index_path, **builder, options);
}

// The record numbers of a tag, in its order.
inline std::vector<uint32_t> Walk(const engine::IndexFile& file, const engine::IndexTagInfo& tag) {
  std::vector<uint32_t> records;
  engine::TagCursor cursor(file, tag);
  engine::Status status = cursor.First();
  while (status.ok() && !cursor.Eof()) {
    records.push_back(cursor.RecordNumber());
    status = cursor.Next();
  }
  if (!status.ok()) records.push_back(0xFFFFFFFFu);  // shows up as a mismatch
  return records;
}

}  // namespace indextest
