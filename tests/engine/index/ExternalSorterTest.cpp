#include "engine/index/ExternalSorter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/util/IndexFileErrors.h"
#include "support/TempDir.h"

namespace {

using engine::ExternalSorter;
using engine::ExternalSorterOptions;

using Record = std::vector<uint8_t>;

// Record sets that stress different parts of the sort.
enum class Shape { Random, FewDistinctPrefixes, AllEqualButLast, Ascending, Descending };

std::vector<Record> MakeRecords(Shape shape, size_t count, uint32_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<Record> records(count, Record(size));
  for (size_t i = 0; i < count; ++i) {
    Record& r = records[i];
    for (uint32_t b = 0; b < size; ++b) r[b] = static_cast<uint8_t>(random());
    switch (shape) {
      case Shape::Random:
        break;
      case Shape::FewDistinctPrefixes:  // long shared prefixes, a few values
        for (uint32_t b = 0; b + 4 < size; ++b)
          r[b] = b < size / 2 ? 0x20 : static_cast<uint8_t>(random() % 3);
        break;
      case Shape::AllEqualButLast:  // equal keys, distinct record numbers at the end
        for (uint32_t b = 0; b + 4 < size; ++b) r[b] = 0x41;
        break;
      case Shape::Ascending:
      case Shape::Descending: {
        const uint32_t v = static_cast<uint32_t>(shape == Shape::Ascending ? i : count - i);
        for (uint32_t b = 0; b < size; ++b) r[b] = 0;
        for (int k = 0; k < 4 && k < static_cast<int>(size); ++k)
          r[size - 1 - k] = static_cast<uint8_t>(v >> (8 * k));
        break;
      }
    }
    // The last four bytes are a unique record number, as in an index.
    const uint32_t number = static_cast<uint32_t>(i + 1);
    for (int k = 0; k < 4; ++k) r[size - 4 + k] = static_cast<uint8_t>(number >> (24 - 8 * k));
  }
  return records;
}

std::vector<Record> SortAll(ExternalSorter& sorter, const std::vector<Record>& input) {
  for (const Record& r : input) sorter.Add(r.data());
  EXPECT_TRUE(sorter.Finish().ok()) << sorter.status().Message();
  std::vector<Record> output;
  const uint8_t* record = nullptr;
  while (sorter.Next(record).ok() && record)
    output.emplace_back(record, record + sorter.RecordSize());
  EXPECT_TRUE(sorter.status().ok()) << sorter.status().Message();
  return output;
}

bool FolderIsEmpty(const std::string& folder) {
  return std::filesystem::is_empty(folder);
}

TEST(ExternalSorter, SortsLikeStdSortInMemoryAndSpilled) {
  struct Case {
    Shape shape;
    size_t count;
    uint32_t record_size;
  } cases[] = {
      {Shape::Random, 5000, 21},
      {Shape::FewDistinctPrefixes, 5000, 38},
      {Shape::AllEqualButLast, 3000, 12},
      {Shape::Ascending, 4000, 8},
      {Shape::Descending, 4000, 8},
      {Shape::Random, 700, 600},
      {Shape::Random, 1, 9},
      {Shape::Random, 17, 5},
  };
  for (const Case& c : cases) {
    const auto input = MakeRecords(c.shape, c.count, c.record_size, static_cast<uint32_t>(c.count));
    auto expected = input;
    std::sort(expected.begin(), expected.end());
    // Roomy: one run in memory. Tiny: many runs and merge passes.
    for (uint64_t memory : {uint64_t{64} << 20, uint64_t{4096}}) {
      TempDir dir;
      ExternalSorterOptions options;
      options.RecordSize = c.record_size;
      options.MemoryBytes = memory;
      options.TempFolder = dir.Path();
      ExternalSorter sorter(options);
      EXPECT_EQ(SortAll(sorter, input), expected)
          << "shape " << static_cast<int>(c.shape) << " memory " << memory;
      EXPECT_EQ(sorter.Count(), c.count);
      if (memory == 4096 && c.count * c.record_size > 8192) {
        EXPECT_GT(sorter.RunCount(), 2u);
        EXPECT_GT(sorter.MergePasses(), 0u);  // a tiny budget merges two runs at a time
      }
      if (memory > 4096) {
        EXPECT_EQ(sorter.RunCount(), 0u);
      }
      EXPECT_TRUE(FolderIsEmpty(dir.Path()));
    }
  }
}

TEST(ExternalSorter, AnyNumberOfThreadsSortsTheSame) {
  struct Case {
    Shape shape;
    size_t count;
    uint32_t record_size;
  } cases[] = {
      {Shape::Random, 60000, 14},
      {Shape::FewDistinctPrefixes, 40000, 24},  // the threads split on a late byte
      {Shape::AllEqualButLast, 30000, 9},
      {Shape::Ascending, 50000, 8},
  };
  for (const Case& c : cases) {
    const auto input = MakeRecords(c.shape, c.count, c.record_size, static_cast<uint32_t>(c.count));
    auto expected = input;
    std::sort(expected.begin(), expected.end());
    // Roomy: one run sorted by all threads. Small: runs of 20,000 records
    // spilled, each sorted by all threads.
    for (uint64_t memory : {uint64_t{64} << 20, uint64_t{c.record_size} * 40000}) {
      for (uint32_t threads : {1u, 2u, 3u, 4u}) {
        TempDir dir;
        ExternalSorterOptions options;
        options.RecordSize = c.record_size;
        options.MemoryBytes = memory;
        options.TempFolder = dir.Path();
        options.Threads = threads;
        ExternalSorter sorter(options);
        EXPECT_TRUE(SortAll(sorter, input) == expected)
            << "shape " << static_cast<int>(c.shape) << " memory " << memory << " threads "
            << threads;
        if (memory < (uint64_t{1} << 26)) {
          EXPECT_GT(sorter.RunCount(), 0u);
        }
      }
    }
  }
}

TEST(ExternalSorter, EmptyInputGivesNothing) {
  TempDir dir;
  ExternalSorter sorter(ExternalSorterOptions{8, 4096, dir.Path(), "t"});
  EXPECT_TRUE(SortAll(sorter, {}).empty());
}

TEST(ExternalSorter, LeavesNoFilesWhenAbandonedOrDestroyedMidway) {
  TempDir dir;
  const auto input = MakeRecords(Shape::Random, 3000, 16, 7);
  {
    ExternalSorter sorter(ExternalSorterOptions{16, 4096, dir.Path(), "t"});
    for (const Record& r : input) sorter.Add(r.data());
    EXPECT_GT(sorter.RunCount(), 0u);
  }  // destroyed while filling
  {
    ExternalSorter sorter(ExternalSorterOptions{16, 4096, dir.Path(), "t"});
    for (const Record& r : input) sorter.Add(r.data());
    ASSERT_TRUE(sorter.Finish().ok());
    const uint8_t* record = nullptr;
    ASSERT_TRUE(sorter.Next(record).ok());
    sorter.Abandon();  // given up while merging
    EXPECT_FALSE(sorter.Next(record).ok());
  }
  EXPECT_TRUE(FolderIsEmpty(dir.Path()));
}

TEST(ExternalSorter, SpillFailureIsAStickyError) {
  TempDir dir;
  ExternalSorter sorter(ExternalSorterOptions{16, 4096, dir / "no-such-folder", "t"});
  const auto input = MakeRecords(Shape::Random, 2000, 16, 3);
  for (const Record& r : input) sorter.Add(r.data());
  EXPECT_EQ(sorter.status().Code(), engine::AE_INDEX_SORT_IO);
  EXPECT_NE(sorter.status().Message().find("no-such-folder"), std::string::npos);
  EXPECT_EQ(sorter.Finish().Code(), engine::AE_INDEX_SORT_IO);
  const uint8_t* record = nullptr;
  EXPECT_FALSE(sorter.Next(record).ok());
  EXPECT_EQ(record, nullptr);
}

TEST(ExternalSorter, MisuseIsAnErrorNotACrash) {
  TempDir dir;
  ExternalSorter sorter(ExternalSorterOptions{4, 4096, dir.Path(), "t"});
  const uint8_t* record = nullptr;
  EXPECT_EQ(sorter.Next(record).Code(), engine::AE_INDEX_BUILDER_STATE);  // read before Finish
  ExternalSorter finished(ExternalSorterOptions{4, 4096, dir.Path(), "t"});
  ASSERT_TRUE(finished.Finish().ok());
  const uint8_t bytes[4] = {1, 2, 3, 4};
  finished.Add(bytes);
  EXPECT_EQ(finished.status().Code(), engine::AE_INDEX_BUILDER_STATE);
}

}  // namespace
