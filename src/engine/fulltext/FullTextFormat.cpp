// What the tag directory keeps of a full-text tag (the kind's own data), all
// integers little-endian:
//
//   OFFSET  SIZE  DESCRIPTION
//        0     1  version: 1
//        1     1  minimum word length (1..120)
//        2     1  maximum word length (minimum..120)
//        3     1  zero
//        4     4  postings pages P: the tag's pages 0..P-1
//        8     4  pages of the tag, postings and word tree
//       12     4  root page of the word tree, within the tag (P..pages-1)
//       16     4  height of the word tree (1 when the root is a leaf)
//       20     8  distinct words
//       28     8  (word, record) pairs
//       36     8  bytes of the postings stream
//       44     4  CRC-32C of the upper-case map the words were folded with
//       48     4  bytes N of the noise words
//       52     N  the noise words, folded and sorted, separated by one blank
#include "engine/fulltext/FullTextFormat.h"

#include "engine/util/Checksum.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

uint32_t UpperMapChecksum(const CharTable& chars) {
  return Crc32c(chars.Upper.data(), chars.Upper.size());
}

std::string EncodeFullTextTagData(const FullTextTagData& data) {
  std::string noise;
  for (const std::string& word : data.Words.NoiseWords) {
    if (!noise.empty()) noise += ' ';
    noise += word;
  }
  std::string out(kFullTextDataFixedSize, '\0');
  auto* p = reinterpret_cast<uint8_t*>(out.data());
  p[kFullTextDataVersionOffset] = kFullTextDataVersion;
  p[kFullTextDataMinWordOffset] = static_cast<uint8_t>(data.Words.MinWordLength);
  p[kFullTextDataMaxWordOffset] = static_cast<uint8_t>(data.Words.MaxWordLength);
  Store32(p + kFullTextDataPostingsPagesOffset, data.PostingsPages);
  Store32(p + kFullTextDataPageCountOffset, data.PageCount);
  Store32(p + kFullTextDataRootPageOffset, data.RootPage);
  Store32(p + kFullTextDataHeightOffset, data.Height);
  Store64(p + kFullTextDataWordCountOffset, data.WordCount);
  Store64(p + kFullTextDataPostingCountOffset, data.PostingCount);
  Store64(p + kFullTextDataPostingsBytesOffset, data.PostingsBytes);
  Store32(p + kFullTextDataCollationOffset, data.CollationChecksum);
  Store32(p + kFullTextDataNoiseSizeOffset, static_cast<uint32_t>(noise.size()));
  return out + noise;
}

Result<FullTextTagData> DecodeFullTextTagData(std::string_view bytes, const std::string& what) {
  auto corrupt = [&](const std::string& why) {
    return Status(AE_INDEX_CORRUPT, what + ": the full-text settings are damaged (" + why + ")");
  };
  if (bytes.size() < kFullTextDataFixedSize) return corrupt("too short");
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  if (p[kFullTextDataVersionOffset] != kFullTextDataVersion)
    return corrupt("version " + std::to_string(p[kFullTextDataVersionOffset]));
  FullTextTagData data;
  data.Words.MinWordLength = p[kFullTextDataMinWordOffset];
  data.Words.MaxWordLength = p[kFullTextDataMaxWordOffset];
  if (!CheckWordOptions(data.Words)) return corrupt("word lengths");
  data.PostingsPages = Load32(p + kFullTextDataPostingsPagesOffset);
  data.PageCount = Load32(p + kFullTextDataPageCountOffset);
  data.RootPage = Load32(p + kFullTextDataRootPageOffset);
  data.Height = Load32(p + kFullTextDataHeightOffset);
  data.WordCount = Load64(p + kFullTextDataWordCountOffset);
  data.PostingCount = Load64(p + kFullTextDataPostingCountOffset);
  data.PostingsBytes = Load64(p + kFullTextDataPostingsBytesOffset);
  data.CollationChecksum = Load32(p + kFullTextDataCollationOffset);
  if (data.PostingsPages >= data.PageCount || data.RootPage < data.PostingsPages ||
      data.RootPage >= data.PageCount) {
    return corrupt("page ranges");
  }
  if (data.Height < 1 || data.Height > kMaxWordTreeHeight) return corrupt("tree height");
  if (data.PostingCount < data.WordCount || (data.WordCount == 0) != (data.PostingsBytes == 0)) {
    return corrupt("counts");
  }
  const uint32_t noise_size = Load32(p + kFullTextDataNoiseSizeOffset);
  if (noise_size != bytes.size() - kFullTextDataFixedSize) return corrupt("noise word length");
  const std::string_view noise = bytes.substr(kFullTextDataFixedSize);
  size_t at = 0;
  while (at < noise.size()) {
    const size_t blank = std::min(noise.find(' ', at), noise.size());
    if (blank == at) return corrupt("an empty noise word");
    data.Words.NoiseWords.emplace_back(noise.substr(at, blank - at));
    at = blank + 1;
  }
  return data;
}

Status FullTextCorrupt(const FullTextShape& shape, uint32_t tag_page, const std::string& what) {
  return Status(AE_INDEX_CORRUPT,
                "Index file " + shape.FileName + ", full-text tag " + shape.TagName + ", page " +
                    std::to_string(uint64_t{shape.FirstPage} + tag_page) + ": " + what);
}

Status ReadFullTextPage(FullTextPageSource& source, const FullTextShape& shape, uint32_t tag_page,
                        uint8_t type, uint8_t* buffer) {
  if (tag_page >= shape.Data.PageCount) {
    return FullTextCorrupt(
        shape, tag_page,
        "the page is outside the tag's " + std::to_string(shape.Data.PageCount) + " pages");
  }
  if (Status read = source.ReadPage(tag_page, buffer); !read) return read;
  if (!IndexPageChecksumMatches(buffer, shape.PageSize)) {
    return Status(AE_INDEX_CHECKSUM, "Checksum error in the index file " + shape.FileName +
                                         ", page " +
                                         std::to_string(uint64_t{shape.FirstPage} + tag_page) +
                                         " (full-text tag " + shape.TagName + ")");
  }
  const FullTextPageHeader header = ReadFullTextPageHeader(buffer);
  const bool postings = tag_page < shape.Data.PostingsPages;
  const uint8_t expected = postings ? kPostingsPage : type;
  if (postings ? header.Type != kPostingsPage
               : (header.Type != kWordLeafPage && header.Type != kWordBranchPage) ||
                     (expected != 0 && header.Type != expected)) {
    return FullTextCorrupt(shape, tag_page, "page type " + std::to_string(header.Type));
  }
  if (header.TagSerial != shape.TagSerial) {
    return FullTextCorrupt(shape, tag_page, "the page belongs to another tag");
  }
  if (header.Self != tag_page) {
    return FullTextCorrupt(shape, tag_page,
                           "the page calls itself page " + std::to_string(header.Self));
  }
  const uint32_t payload = FullTextPayload(shape.PageSize);
  if (header.Used > payload || (header.Type != kWordBranchPage && header.Level != 0) ||
      (header.Type == kWordBranchPage && header.Level == 0) ||
      (header.Type == kPostingsPage && header.Count != 0)) {
    return FullTextCorrupt(shape, tag_page, "the page header is out of range");
  }
  if (postings) {
    // Every postings page is full but the last, which holds the rest.
    const uint64_t before = uint64_t{tag_page} * payload;
    const uint64_t expected_used = std::min<uint64_t>(payload, shape.Data.PostingsBytes - before);
    if (shape.Data.PostingsBytes <= before || header.Used != expected_used) {
      return FullTextCorrupt(shape, tag_page,
                             "the postings page holds " + std::to_string(header.Used) + " bytes");
    }
  }
  return Status::Ok();
}

}  // namespace engine
