// Bulk load of a tag's B+tree, bottom-up, from a sorted stream of records.
//
// A record is the key (K bytes, see Key.cpp) followed by the record number,
// 4 bytes big-endian, so records compare with memcmp and equal keys list in
// record-number order. Because the number of records is known before the
// first one arrives (the sort has counted them), the whole shape of the tree
// is fixed up front:
//
//   level 0 (leaves)   L0 = ceil(N / leaf capacity) pages, at least 1
//   level h + 1        ceil(Lh / branch capacity) pages, until one page is left
//
// and the items of each level are spread evenly over its pages (the first
// N mod L pages take one more), so every page but the root is at least half
// full. Pages are numbered within the tag: the leaves 0..L0-1 in key order,
// then level 1, and so on; the root is the last page. Leaves are written as
// the records stream in; each level keeps one page open, and when a page is
// complete its first record and page number become the next entry of the
// page above. Memory: one page per level.
//
// Every page of a tree:
//
//   OFFSET  SIZE  DESCRIPTION
//        0     4  CRC-32C of bytes 4..page size-1
//        4     1  page type: 3 leaf, 4 branch
//        5     1  level: 0 for a leaf, one more than its children for a branch
//        6     2  entry count
//        8     4  tag serial, the tag's identity in the directory
//       12     4  this page's number within the tag
//       16     4  previous page on the same level, or FFFFFFFF
//       20     4  next page on the same level, or FFFFFFFF
//       24         entries, then zeros to the end of the page
//
// A leaf entry is a record: key (K bytes) and record number (4, big-endian).
// A branch entry is the smallest record below the child (K + 4 bytes),
// followed by the child's page number within the tag (4, little-endian).
// Numbers in page headers are little-endian. Page numbers are relative to the
// tag's first page, so a tag's pages can be copied to another place of
// another file unchanged, checksums included.
#include "engine/index/BTreeBuilder.h"

#include <cstring>

#include "engine/index/BTreePage.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

struct BTreeBuilder::Level {
  uint32_t first = 0;   // number of the level's first page within the tag
  uint32_t pages = 0;   // pages on the level
  uint64_t items = 0;   // entries on the level, all pages together
  uint32_t index = 0;   // the open page's position on the level
  uint32_t filled = 0;  // entries on the open page
  std::unique_ptr<uint8_t[]> page;
  std::unique_ptr<uint8_t[]> carry;  // first record of the last page written, on its way up

  // Entries the page at `position` takes.
  uint32_t Target(uint32_t position) const {
    const uint64_t base = items / pages;
    return static_cast<uint32_t>(base + (position < items % pages ? 1 : 0));
  }
};

namespace {

std::vector<uint64_t> LevelSizes(uint32_t page_size, uint32_t key_length, uint64_t count) {
  const uint64_t leaf = LeafCapacity(page_size, key_length);
  const uint64_t branch = BranchCapacity(page_size, key_length);
  std::vector<uint64_t> sizes;
  uint64_t pages = count == 0 ? 1 : (count + leaf - 1) / leaf;
  sizes.push_back(pages);
  while (pages > 1) {
    pages = (pages + branch - 1) / branch;
    sizes.push_back(pages);
  }
  return sizes;
}

}  // namespace

uint64_t BTreeBuilder::PageCountFor(uint32_t page_size, uint32_t key_length, uint64_t count) {
  if (!KeyFitsPageSize(key_length, page_size)) return 0;
  uint64_t total = 0;
  for (uint64_t pages : LevelSizes(page_size, key_length, count)) total += pages;
  return total >= kNoPage ? 0 : total;
}

BTreeBuilder::BTreeBuilder(PageSink& sink, uint32_t first_page, uint32_t page_size,
                           uint32_t key_length, uint32_t tag_serial, uint64_t count, bool unique)
    : sink_(sink),
      first_page_(first_page),
      page_size_(page_size),
      key_length_(key_length),
      record_size_(key_length + kRecordNumberSize),
      tag_serial_(tag_serial),
      count_(count),
      unique_(unique) {
  const uint64_t total = PageCountFor(page_size, key_length, count);
  if (total == 0 || uint64_t{first_page} + total >= kNoPage) {
    status_ =
        Status(AE_INDEX_KEY_TOO_LONG,
               "A tree of " + std::to_string(count) + " keys of " + std::to_string(key_length) +
                   " bytes does not fit pages of " + std::to_string(page_size) + " bytes");
    return;
  }
  uint64_t first = 0;
  uint64_t items = count;
  for (uint64_t pages : LevelSizes(page_size, key_length, count)) {
    Level level;
    level.first = static_cast<uint32_t>(first);
    level.pages = static_cast<uint32_t>(pages);
    level.items = items;
    level.page.reset(new uint8_t[page_size]);
    level.carry.reset(new uint8_t[record_size_]);
    std::memset(level.page.get(), 0, page_size);
    levels_.push_back(std::move(level));
    first += pages;
    items = pages;
  }
  summary_.PageCount = static_cast<uint32_t>(total);
  summary_.RootPage = static_cast<uint32_t>(total - 1);
  summary_.Height = static_cast<uint32_t>(levels_.size());
  summary_.KeyCount = count;
  previous_.resize(record_size_);
}

BTreeBuilder::~BTreeBuilder() = default;

Status BTreeBuilder::Add(const uint8_t* record) {
  if (!status_.ok()) return status_;
  if (added_ == count_) {
    status_ =
        Status(AE_INDEX_CORRUPT, "More records than the " + std::to_string(count_) + " announced");
    return status_;
  }
  if (added_ > 0) {
    const int order = std::memcmp(previous_.data(), record, record_size_);
    if (unique_ && std::memcmp(previous_.data(), record, key_length_) == 0) {
      duplicate_key_.assign(record, record + key_length_);
      status_ = Status(AE_INDEX_DUPLICATE_KEY, "Duplicate key");
      return status_;
    }
    if (order >= 0) {
      status_ = Status(AE_INDEX_CORRUPT, "Records reached the tree out of order");
      return status_;
    }
  }
  std::memcpy(previous_.data(), record, record_size_);
  ++added_;
  status_ = AddToLevel(0, record, 0);
  return status_;
}

Status BTreeBuilder::AddToLevel(size_t level_number, const uint8_t* record, uint32_t child) {
  Level& level = levels_[level_number];
  const uint32_t entry = level_number == 0 ? record_size_ : record_size_ + kChildSize;
  uint8_t* at = level.page.get() + kNodeHeaderSize + level.filled * entry;
  std::memcpy(at, record, record_size_);
  if (level_number > 0) Store32(at + record_size_, child);
  ++level.filled;
  if (level.filled == level.Target(level.index)) return FlushPage(level_number);
  return Status::Ok();
}

Status BTreeBuilder::FlushPage(size_t level_number) {
  Level& level = levels_[level_number];
  uint8_t* page = level.page.get();
  NodeHeader header;
  header.Type = level_number == 0 ? kLeafPage : kBranchPage;
  header.Level = static_cast<uint8_t>(level_number);
  header.Count = static_cast<uint16_t>(level.filled);
  header.TagSerial = tag_serial_;
  header.Self = level.first + level.index;
  header.Previous = level.index == 0 ? kNoPage : header.Self - 1;
  header.Next = level.index + 1 == level.pages ? kNoPage : header.Self + 1;
  WriteNodeHeader(page, header);
  SealIndexPage(page, page_size_);
  if (Status status = sink_.WritePage(first_page_ + header.Self, page); !status.ok()) return status;
  ++level.index;
  level.filled = 0;
  if (level_number + 1 < levels_.size()) {
    // The page's first record leads its entry in the page above. Copy it out
    // before the page buffer is cleared for the next page.
    std::memcpy(level.carry.get(), page + kNodeHeaderSize, record_size_);
    std::memset(page, 0, page_size_);
    return AddToLevel(level_number + 1, level.carry.get(), header.Self);
  }
  std::memset(page, 0, page_size_);
  return Status::Ok();
}

Status BTreeBuilder::Finish() {
  if (!status_.ok()) return status_;
  if (added_ != count_) {
    status_ = Status(AE_INDEX_CORRUPT, "The tree received " + std::to_string(added_) + " of " +
                                           std::to_string(count_) + " announced records");
    return status_;
  }
  if (count_ == 0) status_ = FlushPage(0);  // the empty root leaf
  return status_;
}

}  // namespace engine
