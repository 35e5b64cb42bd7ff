// Full-text tags: which words a text gives, that searches answer what a
// brute-force word scan of the same records answers, whatever the page size
// and however little memory the build may use, and that damaged pages and
// stale tags are found.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/fulltext/FullTextBuilder.h"
#include "engine/fulltext/FullTextPages.h"
#include "engine/fulltext/FullTextReader.h"
#include "engine/fulltext/FullTextVerify.h"
#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"
#include "support/TempDir.h"

namespace {

using engine::FullTextWordOptions;

// One record: its number and the texts of its indexed fields.
struct Record {
  uint32_t number;
  std::vector<std::string> fields;
};

// The letters and digits of windows-1252, listed independently of the engine.
bool ReferenceWordByte(uint8_t b) {
  static const std::set<uint8_t> kOthers = {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C,
                                            0x9E, 0x9F, 0xAA, 0xB5, 0xBA};
  if (b < 0x80) return std::isalnum(b) != 0;
  if (b >= 0xC0) return b != 0xD7 && b != 0xF7;
  return kOthers.count(b) != 0;
}

// Brute force: every word of every record, folded through the character
// table, with the records that hold it.
std::map<std::string, std::set<uint32_t>> ScanWords(const std::vector<Record>& records,
                                                    const FullTextWordOptions& options) {
  std::set<std::string> noise;
  for (std::string word : options.NoiseWords) {
    for (char& c : word)
      c = static_cast<char>(engine::DefaultCharTable().Upper[static_cast<uint8_t>(c)]);
    noise.insert(word);
  }
  std::map<std::string, std::set<uint32_t>> index;
  for (const Record& record : records) {
    for (const std::string& text : record.fields) {
      std::string word;
      for (size_t i = 0; i <= text.size(); ++i) {
        const auto b = i < text.size() ? static_cast<uint8_t>(text[i]) : uint8_t{' '};
        if (ReferenceWordByte(b)) {
          word += static_cast<char>(engine::DefaultCharTable().Upper[b]);
          continue;
        }
        if (word.size() >= options.MinWordLength && word.size() <= options.MaxWordLength &&
            noise.count(word) == 0) {
          index[word].insert(record.number);
        }
        word.clear();
      }
    }
  }
  return index;
}

// A built tag in memory.
struct BuiltTag {
  std::unique_ptr<engine::MemoryPageStore> pages;
  engine::FullTextShape shape;
  uint32_t spilled_runs = 0;
};

struct BuildSettings {
  uint32_t page_size = 1024;
  uint64_t memory = 64ull << 20;
  uint32_t first_page = 0;
  std::string temp_folder;
};

BuildSettings Pages(uint32_t page_size) {
  BuildSettings settings;
  settings.page_size = page_size;
  return settings;
}

BuiltTag Build(const std::vector<Record>& records, const FullTextWordOptions& options,
               const BuildSettings& settings = {}) {
  engine::FullTextBuildOptions build;
  build.PageSize = settings.page_size;
  build.MemoryBytes = settings.memory;
  build.TagSerial = 77;
  build.TempFolder = settings.temp_folder;
  auto builder = engine::FullTextBuilder::Create(options, engine::DefaultCharTable(), build);
  EXPECT_TRUE(builder.ok()) << builder.status().Message();
  BuiltTag tag;
  tag.pages = std::make_unique<engine::MemoryPageStore>(settings.page_size, settings.first_page);
  for (const Record& record : records) {
    for (const std::string& text : record.fields) {
      EXPECT_TRUE((*builder)->Add(record.number, text).ok());
    }
  }
  tag.spilled_runs = (*builder)->SpilledRuns();
  auto data = (*builder)->Finish(*tag.pages, settings.first_page);
  EXPECT_TRUE(data.ok()) << data.status().Message();
  tag.shape.FileName = "T.adi";
  tag.shape.TagName = "FT";
  tag.shape.PageSize = settings.page_size;
  tag.shape.TagSerial = 77;
  tag.shape.FirstPage = settings.first_page;
  if (data.ok()) tag.shape.Data = *data;
  return tag;
}

engine::FullTextReader Open(BuiltTag& tag) {
  auto reader = engine::FullTextReader::Open(*tag.pages, tag.shape, engine::DefaultCharTable());
  EXPECT_TRUE(reader.ok()) << reader.status().Message();
  return std::move(reader.value());
}

// A builder of the records a tag ought to hold, for the checker.
std::unique_ptr<engine::FullTextBuilder> Expected(const std::vector<Record>& records,
                                                  const FullTextWordOptions& options) {
  auto builder = engine::FullTextBuilder::Create(options, engine::DefaultCharTable(), {});
  EXPECT_TRUE(builder.ok());
  for (const Record& record : records) {
    for (const std::string& text : record.fields)
      EXPECT_TRUE((*builder)->Add(record.number, text).ok());
  }
  return std::move(builder.value());
}

// Records of words drawn from a vocabulary with accented letters, mixed case
// and separators, Zipf-like so that some words are in most records.
std::vector<Record> RandomRecords(size_t count, size_t vocabulary, uint32_t seed) {
  std::mt19937 random(seed);
  const std::string letters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
      "\xE9\xC9\xDF\x9A\x8A\xFF\x9F\xE7\xC7\xF1";
  std::vector<std::string> words;
  std::set<std::string> seen;
  while (words.size() < vocabulary) {
    std::string word;
    const size_t length = 1 + random() % 12;
    for (size_t i = 0; i < length; ++i) word += letters[random() % letters.size()];
    if (seen.insert(word).second) words.push_back(word);
  }
  const std::vector<std::string> separators = {" ", "  ", ", ", "-", "\t", "\x97", "\xD7", ".\r\n"};
  std::vector<Record> records;
  uint32_t number = 0;
  for (size_t r = 0; r < count; ++r) {
    number += 1 + static_cast<uint32_t>(random() % 3);  // gaps, as deleted records leave
    Record record{number, {}};
    const size_t fields = random() % 3;
    for (size_t f = 0; f <= fields; ++f) {
      std::string text;
      const size_t length = random() % 15;
      for (size_t w = 0; w < length; ++w) {
        const double u = std::uniform_real_distribution<double>(0, 1)(random);
        text += words[static_cast<size_t>(std::pow(static_cast<double>(vocabulary), u)) - 1];
        text += separators[random() % separators.size()];
      }
      record.fields.push_back(text);
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<uint32_t> AsVector(const std::set<uint32_t>& records) {
  return std::vector<uint32_t>(records.begin(), records.end());
}

TEST(FullTextWords, TextsSplitIntoFoldedWords) {
  struct Case {
    std::string text;
    FullTextWordOptions options;
    std::vector<std::string> words;
  };
  const FullTextWordOptions plain;
  FullTextWordOptions three_to_five;
  three_to_five.MinWordLength = 3;
  three_to_five.MaxWordLength = 5;
  FullTextWordOptions noisy;
  noisy.NoiseWords = {"the", "AND", "\xE0"};
  const std::vector<Case> cases = {
      {"Hello, world! 42x_y", plain, {"HELLO", "WORLD", "42X", "Y"}},
      // Accented letters are letters and fold to their capitals.
      {"\xE9"
       "cole \xC9"
       "COLE \xC9"
       "cole",
       plain,
       {"\xC9"
        "COLE",
        "\xC9"
        "COLE",
        "\xC9"
        "COLE"}},
      {"na\xEFve\x97"
       "caf\xE9",
       plain,
       {"NA\xCFVE", "CAF\xC9"}},  // an em dash separates
      {"\x9C"
       "uvre \x8C"
       "UVRE \x9A"
       "ip \xFF",
       plain,
       {"\x8C"
        "UVRE",
        "\x8C"
        "UVRE",
        "\x8A"
        "IP",
        "\x9F"}},
      {"Stra\xDF"
       "e",
       plain,
       {"STRA\xDF"
        "E"}},                                  // sharp s has no capital
      {"x\xD7y\xF7z", plain, {"X", "Y", "Z"}},  // multiplication and division signs separate
      {"5\xB5m 3\xBA \xAA \xB2", plain, {"5\xB5M", "3\xBA", "\xAA"}},  // superscript two does not
      {std::string("a\0b\tc\nd\re", 9), plain, {"A", "B", "C", "D", "E"}},
      {"", plain, {}},
      {" \x85\xA0 ", plain, {}},
      {"a ab abc abcd abcde abcdef", three_to_five, {"ABC", "ABCD", "ABCDE"}},
      {"The cat and THE hat \xC0 \xE0", noisy, {"CAT", "HAT"}},
  };
  for (const Case& c : cases) {
    engine::WordSplitter splitter(c.options, engine::DefaultCharTable());
    std::vector<std::string> words;
    splitter.ForEachWord(c.text, [&](std::string_view word) { words.emplace_back(word); });
    EXPECT_EQ(words, c.words) << c.text;
  }
}

TEST(FullTextWords, BadOptionsAreRefusedByName) {
  const std::vector<std::pair<FullTextWordOptions, std::string>> cases = {
      {{0, 10, {}}, "MIN_WORD_LENGTH 0"},
      {{1, 121, {}}, "MAX_WORD_LENGTH 121"},
      {{8, 7, {}}, "MIN_WORD_LENGTH 8 is more than MAX_WORD_LENGTH 7"},
  };
  for (const auto& [options, says] : cases) {
    auto builder = engine::FullTextBuilder::Create(options, engine::DefaultCharTable(), {});
    ASSERT_FALSE(builder.ok()) << says;
    EXPECT_EQ(builder.status().Code(), engine::AE_FULLTEXT_BAD_OPTION);
    EXPECT_NE(builder.status().Message().find(says), std::string::npos)
        << builder.status().Message();
  }
  engine::FullTextBuildOptions odd_pages;
  odd_pages.PageSize = 1000;
  auto builder = engine::FullTextBuilder::Create({}, engine::DefaultCharTable(), odd_pages);
  ASSERT_FALSE(builder.ok());
  EXPECT_EQ(builder.status().Code(), engine::AE_FULLTEXT_BAD_OPTION);
}

// The same records, every page size, in memory and with runs spilled and
// merged in several passes: each word's records and every search equal the
// brute-force scan, and the pages come out byte for byte the same.
TEST(FullTextTag, SearchesEqualABruteForceScan) {
  const std::vector<Record> records = RandomRecords(3000, 2500, 11);
  FullTextWordOptions options;
  options.MinWordLength = 2;
  options.MaxWordLength = 10;
  options.NoiseWords = {"ab", "CD", "\xE9\xE9"};
  const auto truth = ScanWords(records, options);
  ASSERT_GT(truth.size(), 1000u);

  std::mt19937 random(5);
  std::vector<std::string> words;
  for (const auto& entry : truth) words.push_back(entry.first);

  for (const uint32_t page_size : {512u, 1024u, 8192u}) {
    std::vector<uint8_t> first_pages;
    for (const uint64_t memory : {64ull << 20, 64ull << 10}) {
      SCOPED_TRACE("page size " + std::to_string(page_size) + ", memory " + std::to_string(memory));
      TempDir temp;
      BuiltTag tag = Build(records, options, {page_size, memory, 3, temp.Path()});
      if (memory < (1u << 20)) {
        EXPECT_GT(tag.spilled_runs, 2u);
      }
      EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "temporary files were left behind";
      EXPECT_EQ(tag.shape.Data.WordCount, truth.size());
      if (page_size == 512) {
        EXPECT_GE(tag.shape.Data.Height, 2u);
      }

      // Byte-identical pages whatever the memory.
      std::vector<uint8_t> all(tag.pages->Page(0),
                               tag.pages->Page(0) + uint64_t{tag.pages->PageCount()} * page_size);
      if (first_pages.empty()) {
        first_pages = all;
      } else {
        EXPECT_TRUE(all == first_pages);
      }

      engine::FullTextReader reader = Open(tag);
      for (const auto& [word, holders] : truth) {
        auto found = reader.RecordsOf(word);
        ASSERT_TRUE(found.ok()) << found.status().Message();
        ASSERT_EQ(*found, AsVector(holders)) << word;
      }
      for (const std::string absent : {"ZZZZZZZZZZ", "A", "AB", "0"}) {
        if (truth.count(absent)) continue;
        auto found = reader.RecordsOf(absent);
        ASSERT_TRUE(found.ok());
        EXPECT_TRUE(found->empty()) << absent;
      }
      for (int query = 0; query < 300; ++query) {
        std::vector<std::string> picked;
        std::string text;
        for (size_t n = 1 + random() % 3; n > 0; --n) {
          // Mostly frequent words, so that intersections are not all empty.
          const size_t at =
              static_cast<size_t>(std::pow(static_cast<double>(words.size()),
                                           std::uniform_real_distribution<double>(0, 1)(random))) -
              1;
          picked.push_back(words[at % words.size()]);
          text += picked.back() + " ";
        }
        std::set<uint32_t> expected = truth.at(picked[0]);
        for (size_t i = 1; i < picked.size(); ++i) {
          std::set<uint32_t> both;
          for (uint32_t r : expected) {
            if (truth.at(picked[i]).count(r)) both.insert(r);
          }
          expected = both;
        }
        auto found = reader.Search(text);
        ASSERT_TRUE(found.ok()) << found.status().Message();
        ASSERT_EQ(*found, AsVector(expected)) << text;
      }
    }
  }
}

TEST(FullTextTag, SearchWordsAreFoldedAndUnindexedOnesLeftOut) {
  const std::vector<Record> records = {
      {1,
       {"The \xC9"
        "cole and the caf\xE9"}},
      {2,
       {"\xE9"
        "cole",
        "CAF\xC9 au lait"}},
      {4,
       {"a caf\xE9, une \xE9"
        "cole"}},
      {5, {"nothing here"}},
  };
  FullTextWordOptions options;
  options.MinWordLength = 2;
  options.NoiseWords = {"the", "and", "au"};
  BuiltTag tag = Build(records, options);
  engine::FullTextReader reader = Open(tag);
  const std::vector<std::pair<std::string, std::vector<uint32_t>>> cases = {
      {"\xE9"
       "cole",
       {1, 2, 4}},
      {"\xC9"
       "COLE caf\xE9",
       {1, 2, 4}},
      {"caf\xE9 lait", {2}},
      {"caf\xE9 the a", {1, 2, 4}},  // a noise word and a short one are left out
      {"\xE9"
       "cole nothing",
       {}},
      {"missing", {}},
      {"une, \xE9"
       "cole!",
       {4}},
  };
  for (const auto& [query, expected] : cases) {
    auto found = reader.Search(query);
    ASSERT_TRUE(found.ok()) << query << ": " << found.status().Message();
    EXPECT_EQ(*found, expected) << query;
  }
  for (const std::string nothing : {"", "the AND", "a", " , "}) {
    auto found = reader.Search(nothing);
    ASSERT_FALSE(found.ok()) << nothing;
    EXPECT_EQ(found.status().Code(), engine::AE_FULLTEXT_NO_WORDS);
  }
}

TEST(FullTextTag, EmptyTagsAnswerNothing) {
  for (const std::vector<Record>& records :
       {std::vector<Record>{}, std::vector<Record>{{1, {""}}, {2, {" -- "}}}}) {
    BuiltTag tag = Build(records, {});
    EXPECT_EQ(tag.shape.Data.WordCount, 0u);
    engine::FullTextReader reader = Open(tag);
    auto found = reader.Search("anything");
    ASSERT_TRUE(found.ok());
    EXPECT_TRUE(found->empty());
    auto expected = Expected(records, {});
    EXPECT_TRUE(
        engine::VerifyFullTextTag(*tag.pages, tag.shape, engine::DefaultCharTable(), expected.get())
            .Ok());
  }
}

TEST(FullTextTag, RecordsOutOfOrderAreRefused) {
  for (const std::vector<uint32_t>& numbers :
       {std::vector<uint32_t>{0}, std::vector<uint32_t>{5, 4}, std::vector<uint32_t>{2, 9, 3}}) {
    auto builder = engine::FullTextBuilder::Create({}, engine::DefaultCharTable(), {});
    ASSERT_TRUE(builder.ok());
    engine::Status last;
    for (const uint32_t number : numbers) last = (*builder)->Add(number, "word");
    ASSERT_FALSE(last.ok());
    EXPECT_EQ(last.Code(), engine::AE_FULLTEXT_RECORD_ORDER);
    // The error sticks.
    EXPECT_EQ((*builder)->Add(100, "word").Code(), engine::AE_FULLTEXT_RECORD_ORDER);
    engine::MemoryPageStore pages(1024);
    EXPECT_EQ((*builder)->Finish(pages, 0).status().Code(), engine::AE_FULLTEXT_RECORD_ORDER);
  }
}

TEST(FullTextTag, ATagBuiltWithAnotherCharacterTableIsRefused) {
  BuiltTag tag = Build({{1, {"word"}}}, {});
  engine::CharTable other = engine::DefaultCharTable();
  other.Upper[0xE9] = 0xE9;
  auto reader = engine::FullTextReader::Open(*tag.pages, tag.shape, other);
  ASSERT_FALSE(reader.ok());
  EXPECT_EQ(reader.status().Code(), engine::AE_FULLTEXT_COLLATION);
}

TEST(FullTextTag, SettingsRoundTripAndDamagedOnesAreRefused) {
  BuiltTag tag = Build(RandomRecords(200, 100, 3), {2, 30, {"b", "a"}});
  const std::string bytes = engine::EncodeFullTextTagData(tag.shape.Data);
  auto decoded = engine::DecodeFullTextTagData(bytes, "T.adi, tag FT");
  ASSERT_TRUE(decoded.ok()) << decoded.status().Message();
  EXPECT_EQ(*decoded, tag.shape.Data);
  EXPECT_EQ(decoded->Words.NoiseWords, (std::vector<std::string>{"A", "B"}));

  std::vector<std::string> damaged = {bytes.substr(0, 20), bytes + "x", bytes};
  damaged[2][0] = 2;                            // version
  for (const size_t at : {1u, 2u, 12u, 16u}) {  // word lengths, root page, height
    std::string changed = bytes;
    changed[at] = static_cast<char>(0xFF);
    damaged.push_back(changed);
  }
  for (const std::string& bad : damaged) {
    auto refused = engine::DecodeFullTextTagData(bad, "T.adi, tag FT");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.status().Code(), engine::AE_INDEX_CORRUPT);
  }
}

// Any byte flipped in any page is an engine error for the searches that read
// the page and for the checker; nothing crashes.
TEST(FullTextTag, FlippedBytesAnswerChecksumErrors) {
  const std::vector<Record> records = RandomRecords(400, 300, 21);
  BuiltTag tag = Build(records, {}, Pages(512));
  const uint32_t page_count = tag.pages->PageCount();
  ASSERT_GT(tag.shape.Data.PostingsPages, 2u);
  std::mt19937 random(9);
  for (uint32_t page = 0; page < page_count; ++page) {
    const size_t at = random() % 512;
    tag.pages->Page(page)[at] ^= static_cast<uint8_t>(1u << (random() % 8));
    const engine::FullTextCheck check =
        engine::VerifyFullTextTag(*tag.pages, tag.shape, engine::DefaultCharTable());
    EXPECT_FALSE(check.Ok()) << "page " << page << " byte " << at;
    EXPECT_NE(
        check.Problem.find("Checksum error in the index file T.adi, page " + std::to_string(page)),
        std::string::npos)
        << check.Problem;
    engine::FullTextReader reader = Open(tag);
    bool refused = false;
    for (const auto& [word, holders] : ScanWords(records, {})) {
      auto found = reader.RecordsOf(word);
      if (!found.ok()) {
        EXPECT_EQ(found.status().Code(), engine::AE_INDEX_CHECKSUM);
        refused = true;
      }
    }
    EXPECT_TRUE(refused) << "no search read page " << page;
    tag = Build(records, {}, Pages(512));  // undamaged again for the next page
  }
}

// Faults behind good checksums: pages changed and sealed again, as a bug
// could write them. Each named fault is found; random ones never crash.
TEST(FullTextTag, DamageBehindGoodChecksumsIsFound) {
  const std::vector<Record> records = RandomRecords(400, 300, 23);
  const FullTextWordOptions options;
  auto reseal = [](BuiltTag& tag, uint32_t page) {
    engine::SealIndexPage(tag.pages->Page(page), tag.shape.PageSize);
  };
  const uint32_t header = engine::kFullTextPageHeaderSize;
  struct Fault {
    std::string name;
    std::function<void(BuiltTag&)> apply;
    std::string says;
  };
  const std::vector<Fault> faults = {
      {"a word that is no word",
       [&](BuiltTag& tag) {
         // The first leaf is the first page after the postings.
         const uint32_t leaf = tag.shape.Data.PostingsPages;
         tag.pages->Page(leaf)[header + 1] = '~';
         reseal(tag, leaf);
       },
       ""},
      {"a record number difference of zero",
       [&](BuiltTag& tag) {
         // The byte after the first list's first number.
         uint8_t* p = tag.pages->Page(0) + header;
         while (*p & 0x80) ++p;
         p[1] = 0;
         reseal(tag, 0);
       },
       "out of order"},
      {"a child pointing at a postings page",
       [&](BuiltTag& tag) {
         const uint32_t root = tag.shape.Data.RootPage;
         uint8_t* p = tag.pages->Page(root) + header;
         engine::Store32(p + 1 + p[0], 0);
         reseal(tag, root);
       },
       "out of range"},
      {"a page claiming another number",
       [&](BuiltTag& tag) {
         engine::Store32(tag.pages->Page(1) + 12, 0);
         reseal(tag, 1);
       },
       "calls itself page 0"},
      {"a page of another tag",
       [&](BuiltTag& tag) {
         engine::Store32(tag.pages->Page(2) + 8, 78);
         reseal(tag, 2);
       },
       "belongs to another tag"},
      {"a postings page cut short",
       [&](BuiltTag& tag) {
         engine::Store16(tag.pages->Page(0) + 16, 10);
         reseal(tag, 0);
       },
       "the postings page holds 10 bytes"},
  };
  for (const Fault& fault : faults) {
    BuiltTag tag = Build(records, options, Pages(512));
    ASSERT_GE(tag.shape.Data.Height, 2u);
    fault.apply(tag);
    auto expected = Expected(records, options);
    const engine::FullTextCheck check = engine::VerifyFullTextTag(
        *tag.pages, tag.shape, engine::DefaultCharTable(), expected.get());
    EXPECT_FALSE(check.Ok()) << fault.name;
    EXPECT_NE(check.Problem.find(fault.says), std::string::npos)
        << fault.name << ": " << check.Problem;
  }

  std::mt19937 random(31);
  const auto truth = ScanWords(records, options);
  for (int round = 0; round < 300; ++round) {
    BuiltTag tag = Build(records, options, Pages(512));
    const uint32_t page = random() % tag.pages->PageCount();
    for (int changes = 1 + static_cast<int>(random() % 4); changes > 0; --changes) {
      tag.pages->Page(page)[4 + random() % 508] = static_cast<uint8_t>(random());
    }
    reseal(tag, page);
    engine::FullTextReader reader = Open(tag);
    for (const auto& entry : truth) {
      auto found = reader.RecordsOf(entry.first);
      if (!found.ok()) {
        EXPECT_EQ(found.status().Code(), engine::AE_INDEX_CORRUPT) << found.status().Message();
      }
    }
    auto searched = reader.Search("a b c d e f");
    if (!searched.ok()) {
      EXPECT_EQ(searched.status().Code(), engine::AE_INDEX_CORRUPT) << searched.status().Message();
    }
    // Whatever the checker makes of it, it answers.
    const engine::FullTextCheck check =
        engine::VerifyFullTextTag(*tag.pages, tag.shape, engine::DefaultCharTable());
    (void)check;
  }
}

// The checker holds a sound tag against the records it was built from, and
// names the first difference when the records have changed since.
TEST(FullTextTag, CheckerComparesTheTagWithTheRecords) {
  const std::vector<Record> built_from = {
      {1, {"alpha beta"}}, {2, {"beta gamma"}}, {3, {"gamma delta"}}, {5, {"alpha"}}};
  BuiltTag tag = Build(built_from, {}, Pages(512));
  {
    auto expected = Expected(built_from, {});
    const auto check = engine::VerifyFullTextTag(*tag.pages, tag.shape, engine::DefaultCharTable(),
                                                 expected.get());
    EXPECT_TRUE(check.Ok()) << check.Problem;
  }
  struct Change {
    std::vector<Record> now;
    std::string says;
  };
  const std::vector<Change> changes = {
      // Record 2 deleted: the tag still lists it.
      {{{1, {"alpha beta"}}, {3, {"gamma delta"}}, {5, {"alpha"}}},
       "the tag lists record 2 for \"BETA\", which does not hold it"},
      {{{1, {"alpha beta"}},
        {2, {"beta gamma"}},
        {3, {"gamma delta"}},
        {4, {"alpha"}},
        {5, {"alpha"}}},
       "record 4 holds \"ALPHA\", which the tag misses"},
      {{{1, {"alpha beta"}}, {2, {"beta gamma"}}, {3, {"gamma delta epsilon"}}, {5, {"alpha"}}},
       "the word \"EPSILON\" of record 3 is missing"},
      {{{1, {"alpha beta"}}, {2, {"beta gamma"}}, {3, {"gamma"}}, {5, {"alpha"}}},
       "the word \"DELTA\" is in no record"},
  };
  for (const Change& change : changes) {
    auto expected = Expected(change.now, {});
    const auto check = engine::VerifyFullTextTag(*tag.pages, tag.shape, engine::DefaultCharTable(),
                                                 expected.get());
    EXPECT_FALSE(check.Ok()) << change.says;
    EXPECT_NE(check.Problem.find(change.says), std::string::npos) << check.Problem;
  }
}

TEST(FullTextTag, ACheckerWithFewerThanAllRecordsInMemoryStillCompares) {
  const std::vector<Record> records = RandomRecords(3000, 2000, 41);
  BuiltTag tag = Build(records, {}, Pages(2048));
  engine::FullTextBuildOptions small;
  small.MemoryBytes = 64 * 1024;
  auto expected = engine::FullTextBuilder::Create({}, engine::DefaultCharTable(), small);
  ASSERT_TRUE(expected.ok());
  for (const Record& record : records) {
    if (record.number == records[1500].number) continue;  // one record left out
    for (const std::string& text : record.fields)
      ASSERT_TRUE((*expected)->Add(record.number, text).ok());
  }
  EXPECT_GT((*expected)->SpilledRuns(), 0u);
  const auto check =
      engine::VerifyFullTextTag(*tag.pages, tag.shape, engine::DefaultCharTable(), expected->get());
  const bool has_words = !ScanWords({records[1500]}, {}).empty();
  EXPECT_EQ(check.Ok(), !has_words);
  if (has_words) {
    EXPECT_NE(check.Problem.find("record " + std::to_string(records[1500].number)),
              std::string::npos)
        << check.Problem;
  }
}

TEST(FullTextTag, PagesInAFileReadBackTheSame) {
  TempDir dir;
  const std::vector<Record> records = RandomRecords(500, 400, 51);
  engine::FilePageStore file;
  ASSERT_TRUE(file.Create(dir / "ft.pages", 4096).ok());
  auto builder = engine::FullTextBuilder::Create({}, engine::DefaultCharTable(),
                                                 {4096, 9, 1 << 20, dir.Path()});
  ASSERT_TRUE(builder.ok());
  for (const Record& record : records) {
    for (const std::string& text : record.fields)
      ASSERT_TRUE((*builder)->Add(record.number, text).ok());
  }
  auto data = (*builder)->Finish(file, 0);
  ASSERT_TRUE(data.ok()) << data.status().Message();
  ASSERT_TRUE(file.Sync().ok());
  EXPECT_EQ(std::filesystem::file_size(dir / "ft.pages"), uint64_t{data->PageCount} * 4096);

  engine::FilePageStore reopened;
  ASSERT_TRUE(reopened.Open(dir / "ft.pages", 4096).ok());
  engine::FullTextShape shape{"ft.pages", "FT", 4096, 9, 0, *data};
  auto expected = Expected(records, {});
  const auto check =
      engine::VerifyFullTextTag(reopened, shape, engine::DefaultCharTable(), expected.get());
  EXPECT_TRUE(check.Ok()) << check.Problem;
}

}  // namespace
