// Bottom-up bulk load of one tag's B+tree from records in increasing order
// (the algorithm and the page layout are described in BTreeBuilder.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/util/EngineError.h"

namespace engine {

// Where the builder puts its finished pages.
class PageSink {
 public:
  virtual ~PageSink() = default;
  // Writes one sealed page at page number `file_page` of the index file.
  virtual Status WritePage(uint32_t file_page, const uint8_t* page) = 0;
};

// The tree a builder made, as the tag directory records it.
struct BTreeSummary {
  uint32_t PageCount = 0;  // pages of the tag, numbered from 0 within the tag
  uint32_t RootPage = 0;   // within the tag
  uint32_t Height = 0;     // 1 when the root is a leaf
  uint64_t KeyCount = 0;
};

class BTreeBuilder {
 public:
  // A tree for exactly `count` records of `key_length` + 4 bytes on pages of
  // `page_size`, written through `sink` from file page `first_page` on.
  // REQUIRES: KeyFitsPageSize(key_length, page_size).
  BTreeBuilder(PageSink& sink, uint32_t first_page, uint32_t page_size, uint32_t key_length,
               uint32_t tag_serial, uint64_t count, bool unique);
  ~BTreeBuilder();
  BTreeBuilder(const BTreeBuilder&) = delete;
  BTreeBuilder& operator=(const BTreeBuilder&) = delete;

  // The pages such a tree takes, or 0 when it would not fit 32-bit page numbers.
  static uint64_t PageCountFor(uint32_t page_size, uint32_t key_length, uint64_t count);

  // REQUIRES: `record` (key, then the record number big-endian) is larger
  // than the record before it. A unique tree answers AE_INDEX_DUPLICATE_KEY
  // for a key equal to the one before (DuplicateKey() then holds it); records
  // out of order answer AE_INDEX_CORRUPT. Errors are sticky.
  Status Add(const uint8_t* record);

  // Writes the last pages. Fails when fewer records came than announced.
  Status Finish();

  const BTreeSummary& Summary() const { return summary_; }
  const std::vector<uint8_t>& DuplicateKey() const { return duplicate_key_; }

 private:
  struct Level;

  Status AddToLevel(size_t level, const uint8_t* record, uint32_t child);
  Status FlushPage(size_t level);

  PageSink& sink_;
  uint32_t first_page_;
  uint32_t page_size_;
  uint32_t key_length_;
  uint32_t record_size_;
  uint32_t tag_serial_;
  uint64_t count_;
  bool unique_;
  Status status_;
  uint64_t added_ = 0;
  std::vector<uint8_t> previous_;
  std::vector<Level> levels_;
  BTreeSummary summary_;
  std::vector<uint8_t> duplicate_key_;
};

}  // namespace engine
