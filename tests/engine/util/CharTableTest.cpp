#include "engine/util/CharTable.h"

#include <gtest/gtest.h>

#include "engine/util/Checksum.h"

namespace {

using engine::DefaultCharTable;

bool SortsBefore(uint8_t a, uint8_t b) {
  return DefaultCharTable().SortWeight[a] < DefaultCharTable().SortWeight[b];
}

TEST(CharTable, SortOrderOfTheDefaultTable) {
  // Symbols before digits before letters; small before capital; accents after
  // their plain letter and before the next letter.
  EXPECT_TRUE(SortsBefore(' ', '!'));
  EXPECT_TRUE(SortsBefore('~', '0'));
  EXPECT_TRUE(SortsBefore('9', 'a'));
  EXPECT_TRUE(SortsBefore('a', 'A'));
  EXPECT_TRUE(SortsBefore('A', 'b'));
  EXPECT_TRUE(SortsBefore('e', 0xE9));  // e < e acute
  EXPECT_TRUE(SortsBefore(0xC9, 'f'));  // E acute < f
  EXPECT_TRUE(SortsBefore('Z', 0xFE));  // thorn after z
  EXPECT_TRUE(SortsBefore(0x01, ' '));
}

TEST(CharTable, UpperCaseMap) {
  const auto& upper = DefaultCharTable().Upper;
  EXPECT_EQ(upper['a'], 'A');
  EXPECT_EQ(upper[0xE9], 0xC9);
  EXPECT_EQ(upper[0xFF], 0x9F);
  EXPECT_EQ(upper[0xF7], 0xF7);  // division sign has no case
  EXPECT_EQ(upper['1'], '1');
}

TEST(CharTable, FileFormRoundTripsAndRejectsDamage) {
  const std::string bytes = engine::SerializeCharTable(DefaultCharTable());
  engine::CharTable parsed;
  std::string error;
  ASSERT_TRUE(engine::ParseCharTable(bytes, parsed, error)) << error;
  EXPECT_EQ(parsed.SortWeight, DefaultCharTable().SortWeight);
  EXPECT_EQ(parsed.Upper, DefaultCharTable().Upper);

  for (size_t at : {size_t{0}, size_t{9}, size_t{100}, size_t{300}, bytes.size() - 1}) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
    EXPECT_FALSE(engine::ParseCharTable(damaged, parsed, error)) << "flipped byte " << at;
  }
  EXPECT_FALSE(engine::ParseCharTable(bytes.substr(0, 100), parsed, error));
}

TEST(Checksum, KnownValueAndContinuation) {
  // The standard CRC-32C check value.
  EXPECT_EQ(engine::Crc32c("123456789", 9), 0xE3069283u);
  const uint32_t first = engine::Crc32c("12345", 5);
  EXPECT_EQ(engine::Crc32c("6789", 4, first), 0xE3069283u);
  EXPECT_EQ(engine::Crc32c("", 0), 0u);
}

}  // namespace
