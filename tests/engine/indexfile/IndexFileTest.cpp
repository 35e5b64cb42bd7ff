#include "engine/index/IndexFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "IndexFileTestSupport.h"
#include "engine/indexfile/IndexFileVerify.h"
#include "engine/indexfile/IndexFileWriter.h"
#include "engine/util/IndexFileErrors.h"
#include "support/TempDir.h"

namespace {

using namespace indextest;
using engine::IndexFile;
using engine::IndexTagInfo;

std::unique_ptr<IndexFile> MustOpen(const std::string& path) {
  auto file = IndexFile::Open(path);
  EXPECT_TRUE(file.ok()) << file.status().Message();
  return file.ok() ? std::move(file).value() : nullptr;
}

std::vector<uint32_t> FieldsOf(const MemoryTable& table, const std::string& expression) {
  std::vector<uint32_t> fields;
  size_t start = 0;
  while (true) {
    const size_t semicolon = expression.find(';', start);
    fields.push_back(table.FieldIndex(expression.substr(start, semicolon - start)));
    if (semicolon == std::string::npos) break;
    start = semicolon + 1;
  }
  return fields;
}

// The checker's verdict on every tag, with the table's rows as the expected keys.
engine::IndexFileCheck VerifyAgainst(const std::string& path, const MemoryTable& table) {
  return engine::VerifyIndexFile(
      path, [&](const IndexTagInfo& tag) -> engine::Result<std::unique_ptr<engine::IndexBuilder>> {
        engine::IndexBuildSettings settings;
        settings.IndexPath = path;
        auto expected = engine::IndexBuilder::ForExpectedKeys(tag, settings);
        // The stored parts are numbered by position; map them to the table's fields by name.
        const auto& parts = expected->Key().Parts();
        std::vector<KeyValue> values(parts.size());
        for (size_t r = 0; r < table.Rows.size(); ++r) {
          if (!table.IsLive(r)) continue;
          for (size_t p = 0; p < parts.size(); ++p)
            values[p] = table.ValueOf(table.Rows[r], table.FieldIndex(parts[p].FieldName));
          expected->Add(static_cast<uint32_t>(r + 1), values);
        }
        return expected;
      });
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(IndexTags, EveryTypeAndOptionOrdersLikeAReferenceSort) {
  TempDir dir;
  const std::string path = dir / "Contacts.Adi";
  const MemoryTable table = SampleTable(700, 11);
  const char* const expressions[] = {"LASTNAME",
                                     "FIRSTNAME",
                                     "SCORE",
                                     "BALANCE",
                                     "BIRTHDATE",
                                     "ACTIVE",
                                     "LASTNAME;FIRSTNAME",
                                     "ACTIVE;BIRTHDATE;SCORE",
                                     "FIRSTNAME;BALANCE;LASTNAME"};
  struct Expected {
    std::string tag;
    std::vector<uint32_t> order;
  };
  std::vector<Expected> expected;
  for (const char* expression : expressions) {
    for (bool descending : {false, true}) {
      for (bool case_insensitive : {false, true}) {
        const std::string name = "T" + std::to_string(expected.size());
        ASSERT_TRUE(AddTag(path, table,
                           Definition(name, expression, false, descending, case_insensitive), 512)
                        .ok());
        expected.push_back({name, ReferenceOrder(table, FieldsOf(table, expression), descending,
                                                 case_insensitive)});
      }
    }
  }
  // A unique tag over distinct values, both directions.
  for (bool descending : {false, true}) {
    const std::string name = "U" + std::to_string(descending);
    ASSERT_TRUE(AddTag(path, table, Definition(name, "RECID", true, descending)).ok());
    expected.push_back({name, ReferenceOrder(table, {0}, descending, false)});
  }
  auto file = MustOpen(path);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->Tags().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const IndexTagInfo& tag = file->Tags()[i];
    EXPECT_EQ(tag.Name, expected[i].tag);
    EXPECT_EQ(Walk(*file, tag), expected[i].order) << tag.Name << " = " << tag.Expression;
  }
  const auto check = VerifyAgainst(path, table);
  EXPECT_TRUE(check.Ok()) << ::testing::PrintToString(check.Lines());
}

TEST(IndexTags, EveryPageSizeBuildsASoundTree) {
  const MemoryTable table = SampleTable(3000, 5);
  for (uint32_t page_size : engine::kIndexPageSizes) {
    TempDir dir;
    const std::string path = dir / "Contacts.Adi";
    ASSERT_TRUE(
        AddTag(path, table, Definition("NAME", "LASTNAME;FIRSTNAME;RECID"), page_size).ok());
    auto file = MustOpen(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->PageSize(), page_size);
    const IndexTagInfo& tag = *file->TagByOrder(1).value();
    EXPECT_EQ(tag.KeyCount, 3000u);
    if (page_size <= 1024) {
      EXPECT_GE(tag.Height, 3u) << page_size;  // leaves, branches and a root
    }
    EXPECT_EQ(Walk(*file, tag), ReferenceOrder(table, {1, 2, 0}, false, false)) << page_size;
    const auto check = VerifyAgainst(path, table);
    EXPECT_TRUE(check.Ok()) << page_size << ::testing::PrintToString(check.Lines());
  }
}

TEST(IndexTags, AnEmptyTableGivesAnEmptySoundTag) {
  TempDir dir;
  const std::string path = dir / "Empty.Adi";
  const MemoryTable table = SampleTable(0, 1);
  ASSERT_TRUE(AddTag(path, table, Definition("PRIMARY", "RECID", true)).ok());
  auto file = MustOpen(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Tags()[0].KeyCount, 0u);
  EXPECT_TRUE(Walk(*file, file->Tags()[0]).empty());
  engine::TagCursor cursor(*file, file->Tags()[0]);
  ASSERT_TRUE(cursor.Seek(std::vector<KeyValue>{KeyValue::Char("x")}).ok());
  EXPECT_TRUE(cursor.Eof());
  EXPECT_TRUE(VerifyAgainst(path, table).Ok());
}

TEST(IndexTags, PageSizeComesFromTheOptionTheFileOrTheKey) {
  const MemoryTable table = SampleTable(400, 3);
  struct Case {
    uint32_t existing;  // page size of a file made first with tag "OLD"; 0: no file
    uint32_t option;
    const char* expression;
    uint32_t page_size;  // expected, or 0 when the add fails
    int code;
  } cases[] = {
      {0, 0, "LASTNAME", 1024, 0},  // the engine's default
      {0, 4096, "LASTNAME", 4096, 0},
      {0, 0, "NOTES", 2048, 0},       // a 601-byte key needs more than 1024
      {512, 0, "SCORE", 512, 0},      // the existing file's size
      {512, 8192, "SCORE", 8192, 0},  // the old tag is laid out again
      {4096, 1024, "SCORE", 1024, 0},
      {512, 0, "NOTES", 0, engine::AE_INDEX_KEY_TOO_LONG},
      {0, 512, "NOTES", 0, engine::AE_INDEX_KEY_TOO_LONG},
      {0, 3000, "LASTNAME", 0, engine::AE_INDEX_BAD_PAGE_SIZE},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir / "T.Adi";
    std::string before;
    if (c.existing) {
      ASSERT_TRUE(AddTag(path, table, Definition("OLD", "LASTNAME;RECID"), c.existing).ok());
      before = TempDir::ReadFile(path);
    }
    const engine::Status status = AddTag(path, table, Definition("NEW", c.expression), c.option);
    const std::string label =
        std::to_string(c.existing) + "/" + std::to_string(c.option) + "/" + c.expression;
    if (c.page_size == 0) {
      EXPECT_EQ(status.Code(), c.code) << label << ": " << status.Message();
      EXPECT_EQ(TempDir::ReadFile(path), before) << label;  // the old file is untouched
      continue;
    }
    ASSERT_TRUE(status.ok()) << label << ": " << status.Message();
    auto file = MustOpen(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->PageSize(), c.page_size) << label;
    const auto check = VerifyAgainst(path, table);
    EXPECT_TRUE(check.Ok()) << label << ::testing::PrintToString(check.Lines());
    if (c.existing) {
      EXPECT_EQ(Walk(*file, *file->FindTag("old")), ReferenceOrder(table, {1, 0}, false, false))
          << label;
    }
  }
}

TEST(IndexTags, UniqueTagsRefuseDuplicateAndEmptyKeys) {
  // Two fields: a character and an integer; each case lists its rows.
  struct Row {
    Cell text;
    Cell number;
  };
  struct Case {
    const char* label;
    const char* expression;
    bool case_insensitive;
    bool descending;
    std::vector<Row> rows;
    int code;                // 0: the tag is built
    const char* in_message;  // expected in the error text
  } cases[] = {
      {"distinct", "ID", false, false, {{Text("a"), Null()}, {Text("b"), Null()}}, 0, ""},
      {"duplicate",
       "ID",
       false,
       false,
       {{Text("a"), Null()}, {Text("dup"), Null()}, {Text("dup"), Null()}},
       engine::AE_INDEX_DUPLICATE_KEY,
       "'dup'"},
      {"duplicate descending",
       "ID",
       false,
       true,
       {{Text("dup"), Null()}, {Text("z"), Null()}, {Text("dup"), Null()}},
       engine::AE_INDEX_DUPLICATE_KEY,
       "'dup'"},
      {"duplicate ignoring case",
       "ID",
       true,
       false,
       {{Text("Smith"), Null()}, {Text("SMITH"), Null()}},
       engine::AE_INDEX_DUPLICATE_KEY,
       "'SMITH'"},
      {"case counts",
       "ID",
       false,
       false,
       {{Text("Smith"), Null()}, {Text("SMITH"), Null()}},
       0,
       ""},
      {"NULL",
       "ID",
       false,
       false,
       {{Text("a"), Null()}, {Null(), Null()}},
       engine::AE_UNIQUE_EMPTY_KEY,
       "record 2"},
      {"empty text",
       "ID",
       false,
       false,
       {{Text(""), Null()}},
       engine::AE_UNIQUE_EMPTY_KEY,
       "record 1"},
      {"blanks",
       "ID",
       false,
       true,
       {{Text("a"), Null()}, {Text("   "), Null()}},
       engine::AE_UNIQUE_EMPTY_KEY,
       ""},
      {"empty wins over duplicate",
       "ID",
       false,
       false,
       {{Text("d"), Null()}, {Text("d"), Null()}, {Null(), Null()}},
       engine::AE_UNIQUE_EMPTY_KEY,
       ""},
      {"parts partly filled",
       "ID;N",
       false,
       false,
       {{Null(), Int(5)}, {Text("x"), Null()}, {Text(""), Int(5)}},
       0,
       ""},
      {"parts all NULL",
       "ID;N",
       false,
       false,
       {{Text("x"), Int(1)}, {Null(), Null()}},
       engine::AE_UNIQUE_EMPTY_KEY,
       ""},
      {"parts blank and NULL",
       "ID;N",
       false,
       false,
       {{Text(" "), Null()}},
       engine::AE_UNIQUE_EMPTY_KEY,
       ""},
      {"parts equal with NULL",
       "ID;N",
       false,
       false,
       {{Null(), Int(5)}, {Null(), Int(5)}},
       engine::AE_INDEX_DUPLICATE_KEY,
       "';5'"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir / "T.Adi";
    MemoryTable table;
    table.Fields = {{"ID", KeyPartType::Character, 8}, {"N", KeyPartType::Integer, 0}};
    for (const Row& row : c.rows) table.Rows.push_back({row.text, row.number});
    // An existing file with another tag, which a failed add must leave alone.
    ASSERT_TRUE(AddTag(path, table, Definition("OTHER", "N")).ok());
    const std::string before = TempDir::ReadFile(path);
    const engine::Status status = AddTag(
        path, table, Definition("PRIMARY", c.expression, true, c.descending, c.case_insensitive));
    EXPECT_EQ(status.Code(), c.code) << c.label << ": " << status.Message();
    if (c.code != 0) {
      EXPECT_NE(status.Message().find("PRIMARY"), std::string::npos)
          << c.label << ": " << status.Message();
      EXPECT_NE(status.Message().find(c.in_message), std::string::npos)
          << c.label << ": " << status.Message();
      EXPECT_EQ(TempDir::ReadFile(path), before) << c.label;
    } else {
      EXPECT_TRUE(VerifyAgainst(path, table).Ok()) << c.label;
    }
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"T.Adi"}) << c.label;
  }
}

TEST(IndexTags, AddingKeepsTheOtherTagsAndReplacingKeepsThePlace) {
  TempDir dir;
  const std::string path = dir / "Contacts.Adi";
  const MemoryTable table = SampleTable(1500, 8);
  engine::IndexTagDefinition primary = Definition("PRIMARY", "RECID", true);
  primary.Options.Primary = true;  // recorded, no effect on the keys
  ASSERT_TRUE(AddTag(path, table, primary, 512).ok());
  ASSERT_TRUE(AddTag(path, table, Definition("NAME", "LASTNAME;FIRSTNAME")).ok());
  ASSERT_TRUE(AddTag(path, table, Definition("BORN", "BIRTHDATE")).ok());
  // The same name in other case replaces NAME where it stands.
  ASSERT_TRUE(AddTag(path, table, Definition("name", "FIRSTNAME", false, true, true)).ok());
  auto file = MustOpen(path);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->Tags().size(), 3u);
  EXPECT_EQ(file->TagByOrder(1).value()->Name, "PRIMARY");
  EXPECT_TRUE(file->TagByOrder(1).value()->Options.Primary);
  EXPECT_TRUE(file->TagByOrder(1).value()->Options.Unique);
  const IndexTagInfo& replaced = *file->TagByOrder(2).value();
  EXPECT_EQ(replaced.Name, "name");
  EXPECT_EQ(replaced.Expression, "FIRSTNAME");
  EXPECT_TRUE(replaced.Options.Descending && replaced.Options.CaseInsensitive &&
              !replaced.Options.Unique);
  EXPECT_EQ(file->TagByOrder(3).value()->Name, "BORN");
  EXPECT_EQ(file->TagByOrder(4).status().Code(), engine::AE_INDEX_TAG_NOT_FOUND);
  EXPECT_EQ(file->TagByOrder(0).status().Code(), engine::AE_INDEX_TAG_NOT_FOUND);
  EXPECT_EQ(file->FindTag("born"), file->TagByOrder(3).value());
  EXPECT_EQ(file->FindTag("nothing"), nullptr);
  EXPECT_EQ(Walk(*file, *file->FindTag("PRIMARY")), ReferenceOrder(table, {0}, false, false));
  EXPECT_EQ(Walk(*file, replaced), ReferenceOrder(table, {2}, true, true));
  EXPECT_EQ(Walk(*file, *file->FindTag("BORN")), ReferenceOrder(table, {5}, false, false));
  EXPECT_EQ(file->PageSize(), 512u);
  const auto check = VerifyAgainst(path, table);
  EXPECT_TRUE(check.Ok()) << ::testing::PrintToString(check.Lines());
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"Contacts.Adi"});
}

TEST(IndexTags, BadDefinitionsAreRefusedBeforeAnyWork) {
  const MemoryTable table = SampleTable(10, 1);
  struct Case {
    std::string name;
    std::string expression;
    int code;
  } cases[] = {
      {"", "RECID", engine::AE_INDEX_BAD_TAG_NAME},
      {std::string(129, 'N'), "RECID", engine::AE_INDEX_BAD_TAG_NAME},
      {"CITY", "CITY", engine::AE_INDEX_UNKNOWN_FIELD},
      {"TWO", "RECID;;SCORE", engine::AE_INDEX_BAD_EXPRESSION},
  };
  for (const Case& c : cases) {
    engine::IndexBuildSettings settings;
    settings.IndexPath = "/nonexistent/T.Adi";
    auto builder =
        engine::IndexBuilder::Create(Definition(c.name, c.expression), table.Fields, settings);
    EXPECT_EQ(builder.status().Code(), c.code) << c.name.size() << " " << c.expression;
  }
  TempDir dir;
  engine::IndexBuildSettings settings;
  settings.IndexPath = dir / "T.Adi";
  auto first = engine::IndexBuilder::Create(Definition("A", "RECID"), table.Fields, settings);
  auto second = engine::IndexBuilder::Create(Definition("a", "SCORE"), table.Fields, settings);
  ASSERT_TRUE(first.ok() && second.ok());
  engine::IndexBuilder* same_name[] = {first->get(), second->get()};
  EXPECT_EQ(engine::WriteIndexFile(dir / "T.Adi", same_name).Code(), engine::AE_INDEX_BAD_TAG_NAME);
  EXPECT_FALSE(std::filesystem::exists(dir / "T.Adi"));
}

TEST(IndexTags, ReindexWritesExactlyTheGivenTags) {
  TempDir dir;
  const std::string path = dir / "Contacts.Adi";
  const MemoryTable table = SampleTable(900, 4);
  ASSERT_TRUE(AddTag(path, table, Definition("GONE", "SCORE"), 2048).ok());
  engine::IndexBuildSettings settings;
  settings.IndexPath = path;
  auto first =
      engine::IndexBuilder::Create(Definition("PRIMARY", "RECID", true), table.Fields, settings);
  auto second =
      engine::IndexBuilder::Create(Definition("CITY", "LASTNAME"), table.Fields, settings);
  ASSERT_TRUE(first.ok() && second.ok());
  table.Feed(**first);
  table.Feed(**second);
  engine::IndexBuilder* builders[] = {first->get(), second->get()};
  ASSERT_TRUE(engine::WriteIndexFile(path, builders).ok());
  auto file = MustOpen(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->PageSize(), 2048u);  // kept from the file it replaced
  ASSERT_EQ(file->Tags().size(), 2u);
  EXPECT_EQ(file->Tags()[0].Name, "PRIMARY");
  EXPECT_EQ(file->Tags()[1].Name, "CITY");
  EXPECT_TRUE(VerifyAgainst(path, table).Ok());
}

TEST(TagCursor, SeekFindsTheFirstKeyAtOrAfterAValue) {
  TempDir dir;
  const std::string path = dir / "T.Adi";
  const MemoryTable table = SampleTable(800, 9);
  ASSERT_TRUE(AddTag(path, table, Definition("UP", "SCORE;LASTNAME"), 512).ok());
  ASSERT_TRUE(AddTag(path, table, Definition("DOWN", "SCORE;LASTNAME", false, true)).ok());
  auto file = MustOpen(path);
  ASSERT_TRUE(file);
  struct Case {
    std::vector<Cell> values;  // leading parts
  } cases[] = {
      {{Int(7)}},
      {{Int(8)}},
      {{Int(-2)}},
      {{Int(INT32_MIN)}},
      {{Int(INT32_MAX)}},
      {{Null()}},
      {{Int(7), Text("Smith")}},
      {{Int(7), Text("S")}},
      {{Int(0), Text("zzz")}},
      {{Int(1), Null()}},
      {{}},
  };
  const std::vector<uint32_t> fields = {3, 1};
  for (bool descending : {false, true}) {
    const IndexTagInfo& tag = *file->FindTag(descending ? "DOWN" : "UP");
    const std::vector<uint32_t> order = ReferenceOrder(table, fields, descending, false);
    for (const Case& c : cases) {
      // Expected: the first record in tag order whose leading parts are not before the values.
      size_t at = 0;
      while (at < order.size()) {
        int cmp = 0;
        for (size_t p = 0; p < c.values.size() && cmp == 0; ++p) {
          cmp = CompareCells(table.Fields[fields[p]], table.Rows[order[at] - 1][fields[p]],
                             c.values[p], false);
          if (descending) cmp = -cmp;
        }
        if (cmp >= 0) break;
        ++at;
      }
      std::vector<Cell> row(table.Fields.size());  // holds the texts the values point into
      std::vector<KeyValue> values;
      for (size_t p = 0; p < c.values.size(); ++p) row[fields[p]] = c.values[p];
      for (size_t p = 0; p < c.values.size(); ++p) values.push_back(table.ValueOf(row, fields[p]));
      engine::TagCursor cursor(*file, tag);
      ASSERT_TRUE(cursor.Seek(values).ok());
      std::vector<uint32_t> rest;
      while (!cursor.Eof()) {
        rest.push_back(cursor.RecordNumber());
        ASSERT_TRUE(cursor.Next().ok());
      }
      EXPECT_EQ(rest,
                std::vector<uint32_t>(order.begin() + static_cast<ptrdiff_t>(at), order.end()))
          << tag.Name << " case " << (&c - cases);
    }
  }
  engine::TagCursor cursor(*file, *file->FindTag("UP"));
  EXPECT_EQ(cursor.Seek(std::vector<KeyValue>{KeyValue::Char("text for a number")}).Code(),
            engine::AE_INDEX_BAD_KEY_VALUE);
}

TEST(TagCursor, ARecordFilterHidesRecords) {
  TempDir dir;
  const std::string path = dir / "T.Adi";
  const MemoryTable table = SampleTable(600, 2);
  ASSERT_TRUE(AddTag(path, table, Definition("NAME", "LASTNAME"), 512).ok());
  auto file = MustOpen(path);
  ASSERT_TRUE(file);
  engine::TagCursor cursor(*file, file->Tags()[0]);
  // Hide whole leaves' worth of records as well as single ones.
  cursor.SetRecordFilter(
      [](uint32_t record) { return record % 3 == 0 && (record < 100 || record > 400); });
  std::vector<uint32_t> seen;
  ASSERT_TRUE(cursor.First().ok());
  while (!cursor.Eof()) {
    seen.push_back(cursor.RecordNumber());
    ASSERT_TRUE(cursor.Next().ok());
  }
  std::vector<uint32_t> expected;
  for (uint32_t record : ReferenceOrder(table, {1}, false, false)) {
    if (record % 3 == 0 && (record < 100 || record > 400)) expected.push_back(record);
  }
  EXPECT_EQ(seen, expected);
}

TEST(IndexBuild, ATinySortMemoryGivesTheSameFile) {
  const MemoryTable table = SampleTable(6000, 21);
  std::string files[2];
  for (int roomy = 0; roomy < 2; ++roomy) {
    TempDir dir;
    const std::string path = dir / "T.Adi";
    engine::IndexBuildSettings settings;
    settings.IndexPath = path;
    settings.SortMemoryBytes = roomy ? 64ull << 20 : 4096;
    auto builder = engine::IndexBuilder::Create(Definition("NAME", "LASTNAME;FIRSTNAME;SCORE"),
                                                table.Fields, settings);
    ASSERT_TRUE(builder.ok());
    table.Feed(**builder);
    ASSERT_TRUE(engine::AddIndexTag(path, **builder).ok());
    if (roomy) {
      EXPECT_EQ((*builder)->Sorter().RunCount(), 0u);
    } else {
      EXPECT_GT((*builder)->Sorter().RunCount(), 10u);
      EXPECT_GT((*builder)->Sorter().MergePasses(), 0u);
    }
    files[roomy] = TempDir::ReadFile(path);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"T.Adi"});
  }
  EXPECT_FALSE(files[0].empty());
  EXPECT_TRUE(files[0] == files[1]);
}

TEST(IndexFileNames, TheTablesNameWithAdi) {
  struct Case {
    const char* table;
    const char* index;
  } cases[] = {{"/db/Contacts.ADT", "/db/Contacts.Adi"},
               {"Contacts.adt", "Contacts.Adi"},
               {"/db.d/NoExtension", "/db.d/NoExtension.Adi"},
               {"/db/two.dots.ADT", "/db/two.dots.Adi"},
               // A leading dot starts a name, not an extension.
               {"/db/.hidden", "/db/.hidden.Adi"},
               {".hidden", ".hidden.Adi"},
               {"/db/.hidden.ADT", "/db/.hidden.Adi"},
               {"/db/Trailing.", "/db/Trailing.Adi"}};
  for (const Case& c : cases) EXPECT_EQ(engine::IndexFileNameOf(c.table), c.index);
}

}  // namespace
