// An encrypted table for tests: "People.ADT" with distinctive values in
// every field, two index tags, encrypted with few key derivation rounds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TableTestSupport.h"
#include "engine/index/IndexBuilder.h"
#include "engine/table/TableRewrite.h"

namespace crypt_test {

using engine_test::Row;

inline constexpr char kPassword[] = "Tr0ub4dor&3 horse";
// Few rounds keep the tests quick; the scheme is the same at any count.
inline constexpr uint32_t kTestRounds = engine::kMinKdfIterations;

inline std::vector<engine::FieldDef> PeopleFields() {
  return {{"RECID", engine::FieldType::Character, 12},
          {"LASTNAME", engine::FieldType::Character, 24},
          {"SCORE", engine::FieldType::Integer, 0},
          {"BORN", engine::FieldType::Date, 0},
          {"NOTES", engine::FieldType::Character, 60}};
}

// Values no file holds by chance: "Rid…", "Quixotic…", "Zebra note …".
inline std::vector<Row> PeopleRows(int count) {
  std::vector<Row> rows;
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(100000 + i);
    rows.push_back({"Rid" + n, "Quixotic" + std::to_string(i % 37), std::to_string(i * 7 - 300),
                    "19" + std::to_string(50 + i % 50) + "-0" + std::to_string(1 + i % 9) + "-1" +
                        std::to_string(i % 10),
                    i % 5 == 0 ? engine_test::Cell() : engine_test::Cell("Zebra note " + n)});
  }
  return rows;
}

inline engine::IndexTagDefinition Tag(const std::string& name, const std::string& expression,
                                      bool unique = false) {
  engine::IndexTagDefinition definition;
  definition.Name = name;
  definition.Expression = expression;
  definition.Options.Unique = unique;
  return definition;
}

inline engine::TableRewriteOptions QuickRewrite() {
  engine::TableRewriteOptions options;
  options.KdfIterations = kTestRounds;
  return options;
}

// People.ADT with `rows` rows, tags PRIMARY (RECID, unique) and NAME
// (LASTNAME;RECID), encrypted under kPassword when `encrypt`.
inline void MakePeople(const engine_test::DatabaseFolder& db, int rows, bool encrypt = true) {
  ASSERT_TRUE(
      engine_test::MakeTable(db.Connection(), "People.ADT", PeopleFields(), PeopleRows(rows)).ok());
  {
    auto table =
        engine_test::OpenOrFail(db.Connection(), "People.ADT", engine::OpenMode::Exclusive);
    ASSERT_TRUE(table);
    ASSERT_TRUE(table->AddIndex(Tag("PRIMARY", "RECID", true), 0).ok());
    ASSERT_TRUE(table->AddIndex(Tag("NAME", "LASTNAME;RECID"), 0).ok());
  }
  if (encrypt) {
    const engine::Status encrypted =
        engine::EncryptTable(db.Connection(), "People.ADT", kPassword, QuickRewrite());
    ASSERT_TRUE(encrypted.ok()) << encrypted.Message();
  }
}

// The names of the files in `folder`, sorted.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Opens People.ADT and enables kPassword on it.
inline std::unique_ptr<engine::Table> OpenUnlocked(
    const engine_test::DatabaseFolder& db, engine::OpenMode mode = engine::OpenMode::Shared) {
  auto table = engine_test::OpenOrFail(db.Connection(), "People.ADT", mode);
  if (!table) return nullptr;
  const engine::Status enabled = table->EnableEncryption(kPassword);
  EXPECT_TRUE(enabled.ok()) << enabled.Message();
  return table;
}

}  // namespace crypt_test
