// Index builds on more than one thread (IndexBuildThreads in adslocal.cfg):
// the index files are the same, byte for byte, as those of one thread, for
// every kind of tag on every page size, and errors are the same too.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "TableTestSupport.h"
#include "engine/env/EngineEnvironment.h"
#include "engine/fulltext/FullTextTag.h"
#include "engine/util/IndexFileErrors.h"

namespace {

namespace fs = std::filesystem;
using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::DatabaseFolder;
using engine_test::Row;

// A copy of the engine folder whose adslocal.cfg holds `settings`, in use
// for connections made while it lives.
class EngineFolderWith {
 public:
  explicit EngineFolderWith(const std::string& settings) {
    const std::string original = engine::EngineFolder();
    for (const char* name : engine::kEngineFileNames)
      fs::copy_file(original + "/" + name, dir_ / name);
    dir_.WriteFile(engine::kEngineConfigFileName, "[Settings]\n" + settings);
    engine::SetEngineFolder(dir_.Path());
  }
  ~EngineFolderWith() { engine::SetEngineFolder(""); }
  EngineFolderWith(const EngineFolderWith&) = delete;
  EngineFolderWith& operator=(const EngineFolderWith&) = delete;

 private:
  TempDir dir_;
};

const std::vector<FieldDef> kFields = {{"RECID", FieldType::Character, 10},
                                       {"NAME", FieldType::Character, 12},
                                       {"CITY", FieldType::Character, 10},
                                       {"SCORE", FieldType::Integer, 0},
                                       {"NOTES", FieldType::Character, 60}};

// `count` rows: unique record ids (one left empty at `empty_recid`, 0 for
// none), names in mixed case with many repeats, NULLs here and there.
std::vector<Row> MakeRows(size_t count, size_t empty_recid) {
  static const char* const kNames[] = {"Smith", "SMITH", "smith", "Meyer", "meyer", "O'Hara",
                                       "Zed",   "a",     "B",     "",      "Lopez", "lopez"};
  static const char* const kWords[] = {"red",  "green", "blue", "alpha", "beta", "gamma",
                                       "call", "visit", "mail", "order", "paid", "open"};
  std::mt19937 random(7);
  std::vector<Row> rows;
  for (size_t i = 1; i <= count; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(i * 2654435761u));
    Row row;
    row.push_back(i == empty_recid ? engine_test::Cell("") : engine_test::Cell(id));
    row.push_back(random() % 17 == 0 ? std::nullopt
                                     : engine_test::Cell(kNames[random() % std::size(kNames)]));
    row.push_back("C" + std::to_string(random() % 50));
    row.push_back(random() % 13 == 0 ? std::nullopt
                                     : engine_test::Cell(std::to_string(random() % 2000)));
    std::string notes;
    for (int w = 0; w < 6; ++w) {
      notes += kWords[random() % std::size(kWords)];
      notes += std::to_string(random() % 300);
      notes += ' ';
    }
    row.push_back(notes);
    rows.push_back(std::move(row));
  }
  return rows;
}

// The index files of every page size, tags of every kind added one after the
// other and then rebuilt together (all five fed by one scan, or one scan per
// thread), with `threads` threads and the least sort memory, 1 MiB. Each
// tag's 20,000 keys are enough for its sort to be split between threads;
// spilled runs sorted by several threads are the sorter's own test.
std::map<uint32_t, std::string> BuildAll(uint32_t threads, const std::vector<Row>& rows) {
  EngineFolderWith engine_folder("SortMemoryMiB=1\nIndexBuildThreads=" + std::to_string(threads) +
                                 "\n");
  DatabaseFolder db;
  EXPECT_EQ(db.Connection().Environment()->Config.IndexBuildThreads, threads);
  EXPECT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", kFields, rows).ok());
  std::map<uint32_t, std::string> files;
  for (const uint32_t page_size : {512u, 1024u, 2048u, 4096u, 8192u}) {
    fs::remove(db / "T.Adi");
    auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT", OpenMode::Exclusive);
    if (!table) return files;
    struct Tag {
      const char* name;
      const char* expression;
      bool unique, descending, case_insensitive;
    } const tags[] = {
        {"PRIMARY", "RECID", true, false, false},
        {"NAMEDOWN", "NAME", false, true, false},
        {"NAMECASE", "NAME", false, false, true},
        {"CITYSCORE", "CITY;SCORE;NAME", false, false, false},
    };
    for (const Tag& tag : tags) {
      engine::IndexTagDefinition definition{tag.name, tag.expression, {}};
      definition.Options.Unique = tag.unique;
      definition.Options.Descending = tag.descending;
      definition.Options.CaseInsensitive = tag.case_insensitive;
      const engine::Status added = table->AddIndex(definition, page_size);
      EXPECT_TRUE(added.ok()) << tag.name << " " << page_size << ": " << added.Message();
    }
    const engine::Status full_text = table->AddFullTextIndex({"FTS", "NOTES", {}}, page_size);
    EXPECT_TRUE(full_text.ok()) << page_size << ": " << full_text.Message();
    const std::string added = TempDir::ReadFile(db / "T.Adi");
    const engine::Status rebuilt = table->Reindex(page_size);
    EXPECT_TRUE(rebuilt.ok()) << page_size << ": " << rebuilt.Message();
    const auto check = table->VerifyIndexes();
    EXPECT_TRUE(check.has_value() && check->Ok()) << page_size;
    files[page_size] = added + TempDir::ReadFile(db / "T.Adi");
  }
  return files;
}

TEST(IndexBuildThreads, EveryTagKindOnEveryPageSizeGivesTheSameFileAsOneThread) {
  const std::vector<Row> rows = MakeRows(20000, 0);
  const std::map<uint32_t, std::string> one = BuildAll(1, rows);
  ASSERT_EQ(one.size(), 5u);
  for (const uint32_t threads : {2u, 4u}) {
    const std::map<uint32_t, std::string> many = BuildAll(threads, rows);
    ASSERT_EQ(many.size(), 5u);
    for (const auto& [page_size, file] : one) {
      EXPECT_TRUE(many.at(page_size) == file)
          << threads << " threads, page size " << page_size << ": the files differ";
    }
  }
}

// The tag is added in a new page size, so the file's full-text tag is built
// again in the same build: with more threads, on a scan of its own.
TEST(IndexBuildThreads, AnEmptyUniqueKeyAnswers7059AsWithOneThread) {
  const std::vector<Row> rows = MakeRows(40000, 39000);
  std::string one_thread;
  for (const uint32_t threads : {1u, 2u, 4u}) {
    EngineFolderWith engine_folder("IndexBuildThreads=" + std::to_string(threads) + "\n");
    DatabaseFolder db;
    ASSERT_TRUE(engine_test::MakeTable(db.Connection(), "T.ADT", kFields, rows).ok());
    auto table = engine_test::OpenOrFail(db.Connection(), "T.ADT", OpenMode::Exclusive);
    ASSERT_TRUE(table);
    ASSERT_TRUE(table->AddFullTextIndex({"FTS", "NOTES", {}}, 1024).ok());
    const std::string before = TempDir::ReadFile(db / "T.Adi");
    engine::IndexTagDefinition primary{"PRIMARY", "RECID", {}};
    primary.Options.Unique = true;
    const engine::Status status = table->AddIndex(primary, 2048);
    EXPECT_EQ(status.Code(), engine::AE_UNIQUE_EMPTY_KEY) << status.Message();
    if (threads == 1) one_thread = status.Message();
    EXPECT_EQ(status.Message(), one_thread);
    EXPECT_NE(status.Message().find("record 39000"), std::string::npos) << status.Message();
    EXPECT_TRUE(TempDir::ReadFile(db / "T.Adi") == before) << threads << " threads";
  }
}

}  // namespace
