// Full-text tags in a table's index file: searches answer what a brute-force
// word scan of the live records answers (before and after deletes, in small
// and large pages), the tags survive the file's other changes, the checker
// finds a tag that no longer fits its records, and a damaged file is an
// error, never a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "TableTestSupport.h"
#include "engine/fulltext/FullTextTag.h"
#include "engine/sql/SqlExecute.h"
#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"

namespace {

using engine::FieldDef;
using engine::FieldType;
using engine::OpenMode;
using engine_test::Row;

const std::vector<FieldDef> kFields = {{"RECID", FieldType::Character, 8},
                                       {"NAME", FieldType::Character, 16},
                                       {"NOTES", FieldType::Character, 90},
                                       {"SCORE", FieldType::Integer, 0}};

// Words with case variants, accented letters (windows-1252), digits, noise
// words, and one longer than the default maximum length.
const std::vector<std::string> kVocabulary = {"apple",
                                              "Apple",
                                              "APPLE",
                                              "pie",
                                              "red",
                                              "RED",
                                              "green",
                                              "wine",
                                              "\xE9"
                                              "cole",
                                              "\xC9"
                                              "COLE",
                                              "stra\xDF"
                                              "e",
                                              "x1",
                                              "2024",
                                              "a",
                                              "an",
                                              "the",
                                              "don't",
                                              "co-op",
                                              "zebra",
                                              "Zebra",
                                              std::string(70, 'q'),
                                              "\xB5m",
                                              "na\xEFve"};
const std::vector<std::string> kSeparators = {" ", ", ", " - ", "  ", "!", "/"};

// The letters and digits of windows-1252, listed independently of the engine.
bool IsLetterOrDigit(uint8_t b) {
  static const std::set<uint8_t> kOthers = {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C,
                                            0x9E, 0x9F, 0xAA, 0xB5, 0xBA};
  if (b < 0x80) return std::isalnum(b) != 0;
  if (b >= 0xC0) return b != 0xD7 && b != 0xF7;
  return kOthers.count(b) != 0;
}

// The words a text gives under `options`, folded with `chars`.
std::set<std::string> WordsOf(const std::string& text, const engine::FullTextWordOptions& options,
                              const engine::CharTable& chars) {
  std::set<std::string> noise;
  for (const std::string& word : options.NoiseWords) {
    std::string folded;
    for (char c : word) folded += static_cast<char>(chars.Upper[static_cast<uint8_t>(c)]);
    noise.insert(folded);
  }
  std::set<std::string> words;
  std::string word;
  for (size_t i = 0; i <= text.size(); ++i) {
    const uint8_t b = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
    if (IsLetterOrDigit(b)) {
      word += static_cast<char>(chars.Upper[b]);
      continue;
    }
    if (!word.empty() && word.size() >= options.MinWordLength &&
        word.size() <= options.MaxWordLength && noise.count(word) == 0) {
      words.insert(word);
    }
    word.clear();
  }
  return words;
}

std::vector<Row> RandomRows(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  auto pick = [&](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
  };
  std::vector<Row> rows;
  for (size_t i = 0; i < count; ++i) {
    std::string notes;
    const size_t words = std::uniform_int_distribution<size_t>(0, 6)(random);
    for (size_t w = 0; w < words; ++w) {
      const std::string next = (w ? pick(kSeparators) : "") + pick(kVocabulary);
      if (notes.size() + next.size() > 90) break;
      notes += next;
    }
    Row row;
    row.push_back(i % 7 == 0 ? engine_test::Cell() : engine_test::Cell("r" + std::to_string(i)));
    row.push_back(pick(kVocabulary).substr(0, 16));
    row.push_back(i % 11 == 0 ? engine_test::Cell() : engine_test::Cell(notes));
    row.push_back(std::to_string(i % 100));
    rows.push_back(row);
  }
  return rows;
}

class FullTextIndex : public ::testing::Test {
 protected:
  std::unique_ptr<engine::Table> Open(OpenMode mode = OpenMode::Shared) {
    return engine_test::OpenOrFail(db_.Connection(), "Contacts.ADT", mode);
  }
  void Execute(const std::string& sql) {
    auto outcome = engine::ExecuteStatement(db_.Connection(), sql);
    ASSERT_TRUE(outcome.ok()) << sql << ": " << outcome.status().Message();
  }
  void ExpectExact(const engine::Table& table) {
    const auto check = table.VerifyIndexes();
    ASSERT_TRUE(check.has_value());
    EXPECT_TRUE(check->Ok()) << ::testing::PrintToString(check->Lines());
  }

  // Every search of `queries` against the brute-force answer over the
  // live records' fields `fields`.
  void ExpectSearchesMatchAWordScan(const engine::Table& table, const std::string& tag,
                                    const std::vector<size_t>& fields,
                                    const engine::FullTextWordOptions& options,
                                    const std::vector<std::string>& queries) {
    const engine::CharTable& chars = table.Environment().Chars;
    std::map<uint32_t, std::set<std::string>> words_of;
    engine::TableScanner scanner = table.Scan();
    while (scanner.Next()) {
      std::set<std::string>& words = words_of[scanner.RecNo()];
      for (size_t field : fields) {
        if (scanner.Record().IsNull(field)) continue;
        const auto text = WordsOf(std::string(scanner.Record().Chars(field)), options, chars);
        words.insert(text.begin(), text.end());
      }
    }
    for (const std::string& query : queries) {
      SCOPED_TRACE("search \"" + query + "\"");
      const std::set<std::string> wanted = WordsOf(query, options, chars);
      auto found = table.SearchFullText(tag, query);
      if (wanted.empty()) {
        EXPECT_EQ(found.status().Code(), engine::AE_FULLTEXT_NO_WORDS);
        continue;
      }
      ASSERT_TRUE(found.ok()) << found.status().Message();
      std::vector<uint32_t> expected;
      for (const auto& [recno, words] : words_of) {
        if (std::includes(words.begin(), words.end(), wanted.begin(), wanted.end()))
          expected.push_back(recno);
      }
      EXPECT_EQ(*found, expected);
    }
  }

  static std::vector<std::string> Queries() {
    std::vector<std::string> queries = kVocabulary;
    for (size_t i = 0; i + 1 < kVocabulary.size(); i += 2)
      queries.push_back(kVocabulary[i] + " " + kVocabulary[i + 1]);
    queries.insert(queries.end(), {"apple red pie", "the an", "nothing-here", "RED, wine!",
                                   "\xE9"
                                   "COLE",
                                   "", "   "});
    return queries;
  }

  engine_test::DatabaseFolder db_;
};

TEST_F(FullTextIndex, SearchesAnswerWhatAWordScanOfTheLiveRecordsAnswers) {
  const engine::FullTextWordOptions options{2, 12, {"the", "AN"}};
  for (uint32_t page_size : {512u, 4096u}) {
    SCOPED_TRACE("page size " + std::to_string(page_size));
    ASSERT_TRUE(engine_test::MakeTableReplacing(db_.Connection(), "Contacts.ADT", kFields,
                                                RandomRows(600, page_size))
                    .ok());
    {
      auto table = Open(OpenMode::Exclusive);
      ASSERT_TRUE(table);
      // Records deleted before the build are not in the tag.
      for (uint32_t recno = 5; recno <= 600; recno += 13)
        ASSERT_TRUE(table->DeleteRecord(recno).ok());
      ASSERT_TRUE(table->Sync().ok());
      ASSERT_TRUE(table->AddIndex({"SCORE", "SCORE", {}}, page_size).ok());
    }
    Execute(
        "CREATE INDEX FTS ON Contacts ( NAME;NOTES ) CONTENT MIN_WORD_LENGTH 2 "
        "MAX_WORD_LENGTH 12 'the an'");
    {
      auto table = Open();
      ASSERT_TRUE(table);
      EXPECT_EQ(table->Indexes().value()->PageSize(), page_size);
      ExpectSearchesMatchAWordScan(*table, "FTS", {1, 2}, options, Queries());
      ExpectExact(*table);
    }
    // Records deleted by a statement leave the tag.
    Execute("delete from Contacts where SCORE < 30 or RECID is null");
    auto table = Open();
    ASSERT_TRUE(table);
    ExpectSearchesMatchAWordScan(*table, "FTS", {1, 2}, options, Queries());
    ExpectExact(*table);
  }
}

TEST_F(FullTextIndex, TagsSurviveTheFileOtherChangesAndAreRebuiltFromTheirDefinition) {
  ASSERT_TRUE(
      engine_test::MakeTable(db_.Connection(), "Contacts.ADT", kFields, RandomRows(300, 7)).ok());
  const engine::FullTextWordOptions options{1, 60, {"pie"}};
  auto table = Open(OpenMode::Exclusive);
  ASSERT_TRUE(table);
  ASSERT_TRUE(table->AddIndex({"NAME", "NAME", {}}, 1024).ok());
  ASSERT_TRUE(table->AddFullTextIndex({"FTS", "NOTES", options}, 0).ok());
  ASSERT_TRUE(table->AddIndex({"RECID", "RECID", {}}, 0).ok());
  auto tag_names = [&] {
    std::vector<std::string> names;
    for (const auto& tag : table->Indexes().value()->Tags()) names.push_back(tag.Name);
    return names;
  };
  auto page_size = [&] { return table->Indexes().value()->PageSize(); };
  const struct {
    const char* change;
    std::function<engine::Status()> run;
    uint32_t page_size;
  } changes[] = {
      {"another tag, same page size",
       [&] {
         return table->AddIndex({"SCORE", "SCORE", {}}, 0);
       },
       1024},
      {"a tag in a new page size",
       [&] {
         return table->AddIndex({"SCORE", "SCORE;NAME", {}}, 2048);
       },
       2048},
      {"a reindex", [&] { return table->Reindex(0); }, 2048},
      {"a reindex in a new page size", [&] { return table->Reindex(512); }, 512},
      {"a full-text tag in a new page size",
       [&] {
         return table->AddFullTextIndex({"FTS2", "NAME", {}}, 8192);
       },
       8192},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.change);
    ASSERT_TRUE(c.run().ok());
    EXPECT_EQ(page_size(), c.page_size);
    const std::vector<std::string> names = tag_names();
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
              (std::vector<std::string>{"NAME", "FTS", "RECID"}));
    ExpectSearchesMatchAWordScan(*table, "FTS", {2}, options, Queries());
    ExpectExact(*table);
  }
  ExpectSearchesMatchAWordScan(*table, "FTS2", {1}, {}, Queries());
  // A B+tree tag is no full-text tag, and a missing tag is named.
  EXPECT_EQ(table->SearchFullText("NAME", "apple").status().Code(), engine::AE_INDEX_TAG_KIND);
  EXPECT_EQ(table->SearchFullText("NOPE", "apple").status().Code(), engine::AE_INDEX_TAG_NOT_FOUND);
}

TEST_F(FullTextIndex, TheCheckerFindsATagThatNoLongerFitsItsRecords) {
  ASSERT_TRUE(engine_test::MakeTable(db_.Connection(), "Contacts.ADT", kFields,
                                     {{"r1", "Ann", "red apple", "1"},
                                      {"r2", "Bob", "green apple", "2"},
                                      {"r3", "Carl", "red wine", "3"}})
                  .ok());
  Execute("CREATE INDEX FTS ON Contacts ( NOTES ) CONTENT");
  auto table = Open(OpenMode::Exclusive);
  ASSERT_TRUE(table);
  // Deleted behind the index's back: the checker names the word, searches
  // skip the record all the same.
  ASSERT_TRUE(table->DeleteRecord(2).ok());
  auto check = table->VerifyIndexes();
  ASSERT_TRUE(check.has_value());
  ASSERT_EQ(check->Tags.size(), 1u);
  EXPECT_FALSE(check->Tags[0].Ok());
  EXPECT_NE(check->Tags[0].Problem.find("GREEN"), std::string::npos) << check->Tags[0].Problem;
  EXPECT_EQ(table->SearchFullText("FTS", "apple").value(), std::vector<uint32_t>{1});
  // A reindex makes it exact again.
  ASSERT_TRUE(table->Reindex(0).ok());
  ExpectExact(*table);

  // A record the tag has not seen.
  {
    auto appender = table->Appender();
    ASSERT_TRUE(appender.ok());
    engine::RecordBuilder record(table->Schema());
    ASSERT_TRUE(engine::SetFieldFromText(record, 2, "purple plum").ok());
    ASSERT_TRUE(appender->Append(record).ok());
    ASSERT_TRUE(appender->Commit().ok());
  }
  check = table->VerifyIndexes();
  ASSERT_TRUE(check.has_value());
  EXPECT_FALSE(check->Ok());
  EXPECT_NE(check->Tags[0].Problem.find("PLUM"), std::string::npos) << check->Tags[0].Problem;
}

TEST_F(FullTextIndex, EveryFlippedByteOfTheIndexFileIsFoundAndNeverCrashes) {
  ASSERT_TRUE(
      engine_test::MakeTable(db_.Connection(), "Contacts.ADT", kFields, RandomRows(40, 3)).ok());
  {
    auto table = Open(OpenMode::Exclusive);
    ASSERT_TRUE(table);
    ASSERT_TRUE(table->AddFullTextIndex({"FTS", "NAME;NOTES", {}}, 512).ok());
  }
  const std::string path = db_ / "Contacts.Adi";
  const std::string sound = TempDir::ReadFile(path);
  ASSERT_FALSE(sound.empty());
  size_t found = 0;
  for (size_t offset = 0; offset < sound.size(); ++offset) {
    std::string damaged = sound;
    damaged[offset] = static_cast<char>(damaged[offset] ^ 0x10);
    db_.Dir().WriteFile("Contacts.Adi", damaged);
    auto table = Open();
    ASSERT_TRUE(table);
    const auto check = table->VerifyIndexes();
    ASSERT_TRUE(check.has_value());
    if (!check->Ok()) ++found;
    // A search answers an error or records; it never crashes.
    auto searched = table->SearchFullText("FTS", "apple red");
    if (searched.ok()) {
      for (uint32_t recno : *searched) EXPECT_LE(recno, table->RecordCount());
    }
  }
  EXPECT_EQ(found, sound.size());
}

}  // namespace
