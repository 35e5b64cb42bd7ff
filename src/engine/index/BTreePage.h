// The pages of a tag's B+tree: header fields, capacities, and the checks a
// reader makes before it trusts a page (layout in BTreeBuilder.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "engine/index/IndexFileFormat.h"
#include "engine/util/EngineError.h"

namespace engine {

// Byte offsets of a B+tree page's header fields (the layout in
// BTreeBuilder.cpp; the checksum and the page type come first, as on every
// page), and where its entries start.
inline constexpr uint32_t kNodeLevelOffset = 5;
inline constexpr uint32_t kNodeCountOffset = 6;
inline constexpr uint32_t kNodeTagSerialOffset = 8;
inline constexpr uint32_t kNodeSelfOffset = 12;
inline constexpr uint32_t kNodePreviousOffset = 16;
inline constexpr uint32_t kNodeNextOffset = 20;
inline constexpr uint32_t kNodeHeaderSize = 24;
inline constexpr uint32_t kRecordNumberSize = 4;  // after the key in every entry, big-endian
inline constexpr uint32_t kChildSize = 4;         // after the record in a branch entry
inline constexpr uint32_t kMaxTreeHeight = 48;

struct NodeHeader {
  uint8_t Type = kLeafPage;
  uint8_t Level = 0;       // 0 for a leaf
  uint16_t Count = 0;      // entries on the page
  uint32_t TagSerial = 0;  // the tag the page belongs to
  uint32_t Self = 0;       // the page's number within its tag
  uint32_t Previous = kNoPage;
  uint32_t Next = kNoPage;
};

inline NodeHeader ReadNodeHeader(const uint8_t* page) {
  NodeHeader header;
  header.Type = page[kPageTypeOffset];
  header.Level = page[kNodeLevelOffset];
  header.Count = Load16(page + kNodeCountOffset);
  header.TagSerial = Load32(page + kNodeTagSerialOffset);
  header.Self = Load32(page + kNodeSelfOffset);
  header.Previous = Load32(page + kNodePreviousOffset);
  header.Next = Load32(page + kNodeNextOffset);
  return header;
}

inline void WriteNodeHeader(uint8_t* page, const NodeHeader& header) {
  page[kPageTypeOffset] = header.Type;
  page[kNodeLevelOffset] = header.Level;
  Store16(page + kNodeCountOffset, header.Count);
  Store32(page + kNodeTagSerialOffset, header.TagSerial);
  Store32(page + kNodeSelfOffset, header.Self);
  Store32(page + kNodePreviousOffset, header.Previous);
  Store32(page + kNodeNextOffset, header.Next);
}

// Entries a leaf or a branch page of `page_size` holds for keys of
// `key_length` bytes.
inline uint32_t LeafCapacity(uint32_t page_size, uint32_t key_length) {
  return (page_size - kNodeHeaderSize) / (key_length + kRecordNumberSize);
}
inline uint32_t BranchCapacity(uint32_t page_size, uint32_t key_length) {
  return (page_size - kNodeHeaderSize) / (key_length + kRecordNumberSize + kChildSize);
}

// Whether a tree of such keys can be built on such pages: every page must
// hold at least two entries.
inline bool KeyFitsPageSize(uint32_t key_length, uint32_t page_size) {
  return page_size > kNodeHeaderSize && BranchCapacity(page_size, key_length) >= 2;
}

inline uint32_t RecordNumberOf(const uint8_t* record, uint32_t key_length) {
  const uint8_t* in = record + key_length;
  return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) |
         uint32_t{in[3]};
}

inline void PutRecordNumber(uint8_t* record, uint32_t key_length, uint32_t record_number) {
  uint8_t* out = record + key_length;
  out[0] = static_cast<uint8_t>(record_number >> 24);
  out[1] = static_cast<uint8_t>(record_number >> 16);
  out[2] = static_cast<uint8_t>(record_number >> 8);
  out[3] = static_cast<uint8_t>(record_number);
}

// What a reader knows about a tag before it reads one of its pages.
struct TreeShape {
  std::string FileName;  // for messages
  std::string TagName;   // for messages
  uint32_t PageSize = 0;
  uint32_t KeyLength = 0;
  uint32_t TagSerial = 0;
  uint32_t FirstPage = 0;  // the tag's first page in the file
  uint32_t PageCount = 0;  // pages of the tag
};

// Checks a node page that passed its checksum: type, level, tag, own number,
// entry count within the page, sibling and child numbers within the tag.
// `expected_level` < 0 accepts any level. A sound header does not prove the
// entries are in order; the checker of IndexVerify.cpp looks at those.
Status CheckNodePage(const TreeShape& shape, const uint8_t* page, uint32_t self,
                     int expected_level);

}  // namespace engine
