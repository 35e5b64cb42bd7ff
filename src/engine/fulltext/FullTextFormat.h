// The pages of a full-text tag and the tag's own data, shared by the
// writer, the reader and the checker. The page layouts are described at the
// top of FullTextTagWriter.cpp, the tag's data in FullTextFormat.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fulltext/FullTextWords.h"
#include "engine/index/IndexFileFormat.h"
#include "engine/util/EngineError.h"

namespace engine {

// Page types of full-text tags, after those of IndexPageType.
inline constexpr uint8_t kPostingsPage = 5;
inline constexpr uint8_t kWordLeafPage = 6;
inline constexpr uint8_t kWordBranchPage = 7;

// Byte offsets of a full-text page's header fields (the layout at the top
// of FullTextTagWriter.cpp; the checksum and the page type come first, as on
// every page), and where its content starts.
inline constexpr uint32_t kFullTextLevelOffset = 5;
inline constexpr uint32_t kFullTextCountOffset = 6;
inline constexpr uint32_t kFullTextTagSerialOffset = 8;
inline constexpr uint32_t kFullTextSelfOffset = 12;
inline constexpr uint32_t kFullTextUsedOffset = 16;
inline constexpr uint32_t kFullTextZeroOffset = 18;
inline constexpr uint32_t kFullTextPageHeaderSize = 20;
inline constexpr uint32_t kMaxWordTreeHeight = 32;
inline constexpr uint8_t kFullTextDataVersion = 1;

struct FullTextPageHeader {
  uint8_t Type = kPostingsPage;
  uint8_t Level = 0;       // 0 for postings and leaves; a branch is one above its children
  uint16_t Count = 0;      // words on a leaf or branch page; 0 on a postings page
  uint32_t TagSerial = 0;  // the tag the page belongs to
  uint32_t Self = 0;       // the page's number within the tag
  uint16_t Used = 0;       // bytes in use after the header
};

inline FullTextPageHeader ReadFullTextPageHeader(const uint8_t* page) {
  FullTextPageHeader header;
  header.Type = page[kPageTypeOffset];
  header.Level = page[kFullTextLevelOffset];
  header.Count = Load16(page + kFullTextCountOffset);
  header.TagSerial = Load32(page + kFullTextTagSerialOffset);
  header.Self = Load32(page + kFullTextSelfOffset);
  header.Used = Load16(page + kFullTextUsedOffset);
  return header;
}

inline void WriteFullTextPageHeader(uint8_t* page, const FullTextPageHeader& header) {
  page[kPageTypeOffset] = header.Type;
  page[kFullTextLevelOffset] = header.Level;
  Store16(page + kFullTextCountOffset, header.Count);
  Store32(page + kFullTextTagSerialOffset, header.TagSerial);
  Store32(page + kFullTextSelfOffset, header.Self);
  Store16(page + kFullTextUsedOffset, header.Used);
  Store16(page + kFullTextZeroOffset, 0);
}

// Byte offsets of the fields of a full-text tag's own data (the layout at
// the top of FullTextFormat.cpp), and where its noise words start.
inline constexpr size_t kFullTextDataVersionOffset = 0;
inline constexpr size_t kFullTextDataMinWordOffset = 1;
inline constexpr size_t kFullTextDataMaxWordOffset = 2;
inline constexpr size_t kFullTextDataPostingsPagesOffset = 4;
inline constexpr size_t kFullTextDataPageCountOffset = 8;
inline constexpr size_t kFullTextDataRootPageOffset = 12;
inline constexpr size_t kFullTextDataHeightOffset = 16;
inline constexpr size_t kFullTextDataWordCountOffset = 20;
inline constexpr size_t kFullTextDataPostingCountOffset = 28;
inline constexpr size_t kFullTextDataPostingsBytesOffset = 36;
inline constexpr size_t kFullTextDataCollationOffset = 44;
inline constexpr size_t kFullTextDataNoiseSizeOffset = 48;
inline constexpr size_t kFullTextDataFixedSize = 52;

// What the tag directory keeps of a full-text tag (the kind's own data).
struct FullTextTagData {
  FullTextWordOptions Words;       // noise words folded and sorted
  uint32_t PostingsPages = 0;      // pages 0..PostingsPages-1 hold the postings stream
  uint32_t PageCount = 0;          // pages of the tag, postings and word tree
  uint32_t RootPage = 0;           // of the word tree, within the tag
  uint32_t Height = 0;             // of the word tree; 1 when the root is a leaf
  uint64_t WordCount = 0;          // distinct words
  uint64_t PostingCount = 0;       // (word, record) pairs
  uint64_t PostingsBytes = 0;      // length of the postings stream
  uint32_t CollationChecksum = 0;  // CRC-32C of the upper-case map words were folded with

  bool operator==(const FullTextTagData&) const = default;
};

std::string EncodeFullTextTagData(const FullTextTagData& data);
// Reads the kind data back; every value is range-checked (AE_INDEX_CORRUPT
// naming `what`, the tag and its file, on failure).
Result<FullTextTagData> DecodeFullTextTagData(std::string_view bytes, const std::string& what);

// The CRC-32C of a character table's upper-case map.
uint32_t UpperMapChecksum(const CharTable& chars);

// Bytes of payload a page of `page_size` carries.
inline uint32_t FullTextPayload(uint32_t page_size) {
  return page_size - kFullTextPageHeaderSize;
}

// Unsigned LEB128: 7 bits a byte, low bits first, high bit set on every
// byte but the last.
inline size_t PutVarint(uint8_t* out, uint64_t value) {
  size_t n = 0;
  while (value >= 0x80) {
    out[n++] = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  out[n++] = static_cast<uint8_t>(value);
  return n;
}
inline void AppendVarint(std::string& out, uint64_t value) {
  uint8_t bytes[10];
  out.append(reinterpret_cast<const char*>(bytes), PutVarint(bytes, value));
}
// Reads a varint from [at, end); false when it runs past `end` or past 64 bits.
inline bool GetVarint(const uint8_t*& at, const uint8_t* end, uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64 && at < end; shift += 7) {
    const uint8_t byte = *at++;
    value |= uint64_t{byte & 0x7Fu} << shift;
    if ((byte & 0x80) == 0) return shift < 63 || byte <= 1;
  }
  return false;
}

// Where the reader and the verifier get a tag's pages from.
class FullTextPageSource {
 public:
  virtual ~FullTextPageSource() = default;
  // Reads page `tag_page` (numbered within the tag) into `buffer`.
  virtual Status ReadPage(uint32_t tag_page, uint8_t* buffer) = 0;
};

// What the reader knows of a tag before it reads a page.
struct FullTextShape {
  std::string FileName;  // for messages
  std::string TagName;   // for messages
  uint32_t PageSize = 0;
  uint32_t TagSerial = 0;
  uint32_t FirstPage = 0;  // the tag's first page in its file, for messages
  FullTextTagData Data;
};

// Reads `tag_page` through `source` and checks it: checksum, type, tag,
// own number, level and the bytes in use. `type` 0 accepts a leaf or a
// branch. Every failure names the file, the tag and the page.
Status ReadFullTextPage(FullTextPageSource& source, const FullTextShape& shape, uint32_t tag_page,
                        uint8_t type, uint8_t* buffer);

// An engine error about a damaged page of a full-text tag.
Status FullTextCorrupt(const FullTextShape& shape, uint32_t tag_page, const std::string& what);

}  // namespace engine
