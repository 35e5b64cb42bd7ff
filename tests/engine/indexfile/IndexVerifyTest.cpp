#include "engine/indexfile/IndexFileVerify.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "IndexFileTestSupport.h"
#include "engine/index/BTreePage.h"
#include "engine/util/IndexFileErrors.h"
#include "support/TempDir.h"

namespace {

using namespace indextest;
using engine::IndexFile;
using engine::IndexTagInfo;

engine::IndexFileCheck VerifyAgainst(const std::string& path, const MemoryTable& table) {
  return engine::VerifyIndexFile(
      path, [&](const IndexTagInfo& tag) -> engine::Result<std::unique_ptr<engine::IndexBuilder>> {
        engine::IndexBuildSettings settings;
        settings.IndexPath = path;
        auto expected = engine::IndexBuilder::ForExpectedKeys(tag, settings);
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

std::string Joined(const engine::IndexFileCheck& check) {
  std::string text;
  for (const std::string& line : check.Lines()) text += line + "\n";
  return text;
}

class IndexDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_ / "Contacts.Adi";
    table_ = SampleTable(150, 17);
    ASSERT_TRUE(AddTag(path_, table_, Definition("PRIMARY", "RECID", true), 512).ok());
    ASSERT_TRUE(AddTag(path_, table_, Definition("NAME", "LASTNAME;FIRSTNAME")).ok());
    original_ = TempDir::ReadFile(path_);
    ASSERT_TRUE(VerifyAgainst(path_, table_).Ok());
  }

  // Changes bytes of the file in place.
  void Patch(uint64_t offset, const std::string& bytes) {
    const int fd = open(path_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(bytes.size()));
    close(fd);
  }

  void Restore() { dir_.WriteFile("Contacts.Adi", original_); }

  TempDir dir_;
  std::string path_;
  MemoryTable table_;
  std::string original_;
};

// Open, check and walk every tag; true when anything reported a fault.
bool FaultFound(const std::string& path) {
  auto file = IndexFile::Open(path);
  if (!file.ok()) {
    const int code = file.status().Code();
    EXPECT_TRUE(code == engine::AE_INDEX_CORRUPT || code == engine::AE_INDEX_CHECKSUM)
        << file.status().Message();
    return true;
  }
  for (const IndexTagInfo& tag : (*file)->Tags())
    Walk(**file, tag);  // must not crash, whatever it finds
  return !engine::VerifyIndexFile(path).Ok();
}

TEST_F(IndexDamage, EveryFlippedByteIsFoundNeverFollowed) {
  size_t missed = 0;
  for (size_t at = 0; at < original_.size(); ++at) {
    // One bit or the whole byte, by turns.
    const uint8_t flip = at % 2 ? 0xFF : static_cast<uint8_t>(1u << (at / 2 % 8));
    Patch(at, std::string(1, static_cast<char>(original_[at] ^ flip)));
    if (!FaultFound(path_)) {
      ++missed;
      ADD_FAILURE() << "byte " << at << " flipped with " << int{flip} << " went unnoticed";
    }
    Patch(at, std::string(1, original_[at]));
  }
  EXPECT_EQ(missed, 0u);
}

TEST_F(IndexDamage, ATruncatedOrExtendedFileIsAnError) {
  const size_t size = original_.size();
  const std::string cuts[] = {
      "",
      original_.substr(0, 100),
      original_.substr(0, 511),
      original_.substr(0, 512),
      original_.substr(0, size - 512),
      original_.substr(0, size - 1),
      original_ + "x",
      original_ + std::string(512, '\0'),
      original_ + original_.substr(0, 512),
      std::string(4096, 'A'),
  };
  for (const std::string& content : cuts) {
    dir_.WriteFile("Contacts.Adi", content);
    auto file = IndexFile::Open(path_);
    EXPECT_FALSE(file.ok()) << content.size() << " bytes";
    if (!file.ok()) {
      EXPECT_EQ(file.status().Code(), engine::AE_INDEX_CORRUPT) << file.status().Message();
    }
    EXPECT_FALSE(engine::VerifyIndexFile(path_).Ok());
  }
}

// Faults a checksum cannot see: pages rewritten with their checksums made
// good again, as a faulty writer would leave them.
TEST_F(IndexDamage, TheCheckerFindsFaultsBehindGoodChecksums) {
  auto opened = IndexFile::Open(path_);
  ASSERT_TRUE(opened.ok());
  const IndexFile& file = **opened;
  const uint32_t page_size = file.PageSize();
  const IndexTagInfo primary = *file.FindTag("PRIMARY");
  const IndexTagInfo name = *file.FindTag("NAME");
  ASSERT_GE(primary.Height, 2u);
  const uint32_t record = primary.Key.KeyLength() + 4;

  // Edits page `page` of the file (a copy of the original) and seals it again.
  auto edit_page = [&](uint32_t page, const std::function<void(uint8_t*)>& change) {
    std::string bytes = original_.substr(uint64_t{page} * page_size, page_size);
    auto* data = reinterpret_cast<uint8_t*>(bytes.data());
    change(data);
    engine::SealIndexPage(data, page_size);
    Patch(uint64_t{page} * page_size, bytes);
  };
  const uint32_t first_leaf = primary.FirstPage;  // leaves come first, in key order
  const uint32_t root = primary.FirstPage + primary.RootPage;
  const uint32_t directory = file.PageCount() - 1;
  // Offset of PRIMARY's key count in its directory entry (entry at 16, then
  // length, kind, options, name, expression, four page numbers, height, key length).
  const uint32_t key_count_at = 16 + 4 + 1 + 1 + 2 + 7 + 2 + 5 + 16 + 2 + 2;
  const uint32_t options_at = 16 + 4 + 1;

  struct Case {
    const char* label;
    std::function<void()> damage;
    const char* in_lines;
  } cases[] = {
      {"two entries swapped",
       [&] {
         edit_page(first_leaf, [&](uint8_t* p) {
           uint8_t* second = p + 24 + record;
           std::vector<uint8_t> hold(second, second + record);
           std::memmove(second, second + record, record);
           std::memcpy(second + record, hold.data(), record);
         });
       },
       "entries 2 and 3 are out of order"},
      {"a next link skips a leaf",
       [&] { edit_page(first_leaf, [&](uint8_t* p) { engine::Store32(p + 20, 2); }); }, "link"},
      {"the last entry dropped",
       [&] {
         edit_page(first_leaf, [&](uint8_t* p) {
           engine::Store16(p + 6, static_cast<uint16_t>(engine::Load16(p + 6) - 1));
         });
       },
       "the directory says"},
      {"a branch entry changed",
       [&] { edit_page(root, [&](uint8_t* p) { p[24 + (record + 4) + 3] ^= 0x01; }); },
       "differs from the entry that leads to it"},
      {"a leaf at the wrong level", [&] { edit_page(first_leaf, [&](uint8_t* p) { p[5] = 1; }); },
       "level"},
      {"a page of another tag",
       [&] { edit_page(first_leaf, [&](uint8_t* p) { engine::Store32(p + 8, name.Serial); }); },
       "another tag"},
      {"the key count off by one",
       [&] {
         edit_page(directory, [&](uint8_t* p) {
           engine::Store64(p + key_count_at, engine::Load64(p + key_count_at) + 1);
         });
       },
       "the directory says"},
      {"a record number changed",
       [&] { edit_page(first_leaf, [&](uint8_t* p) { p[24 + 2 * record - 1] ^= 0x40; }); },
       "not in the table"},
  };
  for (const Case& c : cases) {
    c.damage();
    const auto check = VerifyAgainst(path_, table_);
    EXPECT_FALSE(check.Ok()) << c.label;
    EXPECT_NE(Joined(check).find(c.in_lines), std::string::npos) << c.label << ":\n"
                                                                 << Joined(check);
    EXPECT_NE(Joined(check).find("NAME: OK"), std::string::npos) << c.label << ":\n"
                                                                 << Joined(check);
    Restore();
  }
  // NAME holds equal keys; marked unique, it must fail on them.
  const uint32_t name_options_at =
      options_at + (engine::Load32(reinterpret_cast<const uint8_t*>(original_.data()) +
                                   uint64_t{directory} * page_size + 16));
  edit_page(directory, [&](uint8_t* p) { p[name_options_at] |= engine::kTagUnique; });
  const auto check = VerifyAgainst(path_, table_);
  EXPECT_NE(Joined(check).find("NAME: duplicate key"), std::string::npos) << Joined(check);
}

TEST(IndexVerify, ComparesTheTagWithTheTablesLiveRecords) {
  TempDir dir;
  const std::string path = dir / "T.Adi";
  MemoryTable table = SampleTable(500, 6);
  table.Deleted.assign(table.Rows.size(), false);
  table.Deleted[10] = table.Deleted[11] = true;  // deleted records never reach a tag
  ASSERT_TRUE(AddTag(path, table, Definition("PRIMARY", "RECID", true), 1024).ok());
  auto built = IndexFile::Open(path);
  ASSERT_TRUE(built.ok());
  EXPECT_EQ((*built)->Tags()[0].KeyCount, 498u);
  EXPECT_TRUE(VerifyAgainst(path, table).Ok());

  struct Case {
    const char* label;
    std::function<void(MemoryTable&)> change;
    const char* in_line;
  } cases[] = {
      {"a record deleted since", [](MemoryTable& t) { t.Deleted[20] = true; },
       "1 keys are not in the table (first: record 21"},
      {"a record undeleted", [](MemoryTable& t) { t.Deleted[10] = false; },
       "1 keys of the table are missing (first: record 11"},
      {"a value changed", [](MemoryTable& t) { t.Rows[4][0] = Text("changed"); }, "key 'changed'"},
  };
  for (const Case& c : cases) {
    MemoryTable changed = table;
    c.change(changed);
    const auto check = VerifyAgainst(path, changed);
    ASSERT_EQ(check.Tags.size(), 1u);
    EXPECT_FALSE(check.Ok()) << c.label;
    EXPECT_NE(check.Tags[0].Line().find(c.in_line), std::string::npos)
        << c.label << ": " << check.Tags[0].Line();
  }
}

TEST(IndexVerify, KeysOfAnotherCharacterTableAreNotTrusted) {
  TempDir dir;
  const std::string path = dir / "T.Adi";
  const MemoryTable table = SampleTable(50, 2);
  ASSERT_TRUE(AddTag(path, table, Definition("NAME", "LASTNAME")).ok());
  engine::CharTable other = engine::DefaultCharTable();
  std::swap(other.SortWeight['a'], other.SortWeight['b']);
  const auto check = engine::VerifyIndexFile(path, {}, other);
  ASSERT_EQ(check.Tags.size(), 1u);
  EXPECT_EQ(check.Tags[0].Line(), "NAME: the keys were built with another character table");
  EXPECT_TRUE(engine::VerifyIndexFile(path).Ok());
}

TEST(IndexVerify, AMissingFileIsOneLineNamingIt) {
  TempDir dir;
  const auto check = engine::VerifyIndexFile(dir / "None.Adi");
  EXPECT_FALSE(check.Ok());
  ASSERT_EQ(check.Lines().size(), 1u);
  EXPECT_NE(check.Lines()[0].find("None.Adi"), std::string::npos);
}

}  // namespace
