// Constants and byte helpers shared by the writer, the reader and the checker
// of index files. The layouts themselves are described at the top of
// IndexFileWriter.cpp (file header, tag directory) and BTreeBuilder.cpp
// (B+tree pages), and gathered in docs/engine-format.md.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/util/Checksum.h"

namespace engine {

inline constexpr char kIndexFileMagic[8] = {'R', 'I', 'X', 'F', 'I', 'L', 'E', 0x1A};
inline constexpr uint16_t kIndexFormatVersion = 1;

// The page size a new index file gets when the caller leaves it to the
// engine (0), if the tag's key fits; otherwise the smallest size that holds it.
inline constexpr uint32_t kDefaultIndexPageSize = 1024;
inline constexpr uint32_t kIndexPageSizes[] = {512, 1024, 2048, 4096, 8192};

inline bool IsValidIndexPageSize(uint32_t size) {
  for (uint32_t allowed : kIndexPageSizes) {
    if (size == allowed) return true;
  }
  return false;
}

// Every page starts with the CRC-32C of its other bytes; the byte after it
// says what the page is.
inline constexpr uint32_t kPageChecksumSize = 4;
inline constexpr uint32_t kPageTypeOffset = 4;

enum IndexPageType : uint8_t {
  kHeaderPage = 1,
  kDirectoryPage = 2,
  kLeafPage = 3,
  kBranchPage = 4,
};

// What a tag holds. Only B+tree tags exist so far; the directory keeps a
// kind byte and a kind-specific data block so that full-text tags fit in.
enum class IndexTagKind : uint8_t {
  BTree = 1,
  FullText = 2,
};

// Option bits of a tag in the directory.
inline constexpr uint8_t kTagUnique = 0x01;
inline constexpr uint8_t kTagDescending = 0x02;
inline constexpr uint8_t kTagCaseInsensitive = 0x04;
inline constexpr uint8_t kTagPrimary = 0x08;
inline constexpr uint8_t kTagKnownOptions = 0x0F;

inline constexpr uint32_t kNoPage = 0xFFFFFFFFu;  // "no page" in sibling links

// Byte offsets of the header page's fields (the layout at the top of
// IndexFileWriter.cpp); the encryption fields at 44..71 are named in
// IndexFileCrypto.h. The fields end at byte 72; zeros follow.
inline constexpr uint32_t kHeaderMagicOffset = 8;
inline constexpr uint32_t kHeaderVersionOffset = 16;
inline constexpr uint32_t kHeaderPageSizeOffset = 20;
inline constexpr uint32_t kHeaderPageCountOffset = 24;
inline constexpr uint32_t kHeaderDirectoryFirstOffset = 28;
inline constexpr uint32_t kHeaderDirectoryPagesOffset = 32;
inline constexpr uint32_t kHeaderDirectoryBytesOffset = 36;
inline constexpr uint32_t kHeaderTagCountOffset = 40;
inline constexpr uint32_t kHeaderFieldsSize = 72;  // bytes of the header page in use

// Byte offsets of a tag directory page's fields, and where its bytes start.
inline constexpr uint32_t kDirectoryPagePositionOffset = 8;
inline constexpr uint32_t kDirectoryPageBytesOffset = 12;
inline constexpr uint32_t kDirectoryPageHeaderSize = 16;
inline constexpr uint32_t kMaxTagNameLength = 128;

inline uint16_t Load16(const uint8_t* in) {
  return static_cast<uint16_t>(in[0] | (in[1] << 8));
}
inline uint32_t Load32(const uint8_t* in) {
  return uint32_t{in[0]} | (uint32_t{in[1]} << 8) | (uint32_t{in[2]} << 16) |
         (uint32_t{in[3]} << 24);
}
inline uint64_t Load64(const uint8_t* in) {
  return uint64_t{Load32(in)} | (uint64_t{Load32(in + 4)} << 32);
}
inline void Store16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}
inline void Store32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void Store64(uint8_t* out, uint64_t value) {
  Store32(out, static_cast<uint32_t>(value));
  Store32(out + 4, static_cast<uint32_t>(value >> 32));
}

// Every page starts with the CRC-32C of its other bytes.
inline void SealIndexPage(uint8_t* page, uint32_t page_size) {
  Store32(page, Crc32c(page + kPageChecksumSize, page_size - kPageChecksumSize));
}
inline bool IndexPageChecksumMatches(const uint8_t* page, uint32_t page_size) {
  return Load32(page) == Crc32c(page + kPageChecksumSize, page_size - kPageChecksumSize);
}

}  // namespace engine
