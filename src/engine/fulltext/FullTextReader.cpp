#include "engine/fulltext/FullTextReader.h"

#include <algorithm>

#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

// ---------------------------------------------------------------------------
// PostingsCursor

PostingsCursor::PostingsCursor(FullTextPageSource& source, const FullTextShape& shape,
                               const WordListRef& list, std::string_view word)
    : source_(source), shape_(shape), list_(list), word_(word), page_(shape.PageSize) {}

bool PostingsCursor::Fail(const std::string& what) {
  if (status_) {
    const uint64_t at = list_.Start + read_;
    const uint64_t last = shape_.Data.PostingsPages == 0 ? 0 : shape_.Data.PostingsPages - 1;
    const uint32_t page =
        static_cast<uint32_t>(std::min<uint64_t>(at / FullTextPayload(shape_.PageSize), last));
    status_ = FullTextCorrupt(shape_, page, "the list of the word \"" + word_ + "\" " + what);
  }
  return false;
}

bool PostingsCursor::NextByte(uint8_t& byte) {
  if (read_ >= list_.Bytes) return Fail("ends inside a record number");
  const uint32_t payload = FullTextPayload(shape_.PageSize);
  const uint64_t at = list_.Start + read_;
  const uint64_t page = at / payload;
  if (page != page_number_) {
    if (page >= shape_.Data.PostingsPages) return Fail("runs past the postings pages");
    if (Status read = ReadFullTextPage(source_, shape_, static_cast<uint32_t>(page), kPostingsPage,
                                       page_.data());
        !read) {
      status_ = read;
      return false;
    }
    page_number_ = static_cast<uint32_t>(page);
  }
  byte = page_[kFullTextPageHeaderSize + at % payload];
  ++read_;
  return true;
}

bool PostingsCursor::Next(uint32_t& record) {
  if (!status_) return false;
  if (given_ == list_.Count) {
    if (read_ != list_.Bytes) return Fail("has bytes after its last record number");
    return false;
  }
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    uint8_t byte = 0;
    if (!NextByte(byte)) return false;
    if (shift >= 35) return Fail("holds a number that does not fit 32 bits");
    value |= uint64_t{byte & 0x7Fu} << shift;
    if ((byte & 0x80) == 0) break;
  }
  const uint64_t number = given_ == 0 ? value : uint64_t{last_} + value;
  if ((given_ > 0 && value == 0) || number == 0 || number > UINT32_MAX) {
    return Fail("holds record numbers out of order");
  }
  last_ = static_cast<uint32_t>(number);
  record = last_;
  ++given_;
  return true;
}

// ---------------------------------------------------------------------------
// Word tree pages

Status ReadWordTreeEntries(const FullTextShape& shape, uint32_t tag_page, const uint8_t* page,
                           std::vector<WordTreeEntry>& entries) {
  entries.clear();
  const FullTextPageHeader header = ReadFullTextPageHeader(page);
  const bool leaf = header.Type == kWordLeafPage;
  const uint8_t* at = page + kFullTextPageHeaderSize;
  const uint8_t* end = at + header.Used;
  for (uint32_t i = 0; i < header.Count; ++i) {
    if (at >= end) return FullTextCorrupt(shape, tag_page, "the words run past the bytes in use");
    const size_t length = *at++;
    if (length == 0 || length > kMaxFullTextWordLength || static_cast<size_t>(end - at) < length) {
      return FullTextCorrupt(shape, tag_page, "a word of " + std::to_string(length) + " bytes");
    }
    WordTreeEntry entry;
    entry.Word = std::string_view(reinterpret_cast<const char*>(at), length);
    at += length;
    if (!entries.empty() && entries.back().Word >= entry.Word) {
      return FullTextCorrupt(shape, tag_page, "the words are out of order");
    }
    if (leaf) {
      WordListRef& list = entry.List;
      if (!GetVarint(at, end, list.Count) || !GetVarint(at, end, list.Start) ||
          !GetVarint(at, end, list.Bytes)) {
        return FullTextCorrupt(shape, tag_page, "the entry of a word is cut short");
      }
      // Each number takes at least one byte and at most five.
      if (list.Count == 0 || list.Bytes < list.Count || list.Bytes / 5 > list.Count ||
          list.Start > shape.Data.PostingsBytes ||
          list.Bytes > shape.Data.PostingsBytes - list.Start) {
        return FullTextCorrupt(shape, tag_page, "the list of a word lies outside the stream");
      }
    } else {
      if (end - at < 4) return FullTextCorrupt(shape, tag_page, "a child number is cut short");
      entry.Child = Load32(at);
      at += 4;
      if (entry.Child < shape.Data.PostingsPages || entry.Child >= shape.Data.PageCount ||
          entry.Child == tag_page) {
        return FullTextCorrupt(shape, tag_page,
                               "a child page " + std::to_string(entry.Child) + " out of range");
      }
    }
    entries.push_back(entry);
  }
  if (at != end) return FullTextCorrupt(shape, tag_page, "bytes in use after the last word");
  return Status::Ok();
}

// ---------------------------------------------------------------------------
// FullTextReader

FullTextReader::FullTextReader(FullTextPageSource& source, FullTextShape shape,
                               const CharTable& chars)
    : source_(&source),
      shape_(std::move(shape)),
      splitter_(shape_.Data.Words, chars),
      page_(shape_.PageSize) {}

Result<FullTextReader> FullTextReader::Open(FullTextPageSource& source, FullTextShape shape,
                                            const CharTable& chars) {
  const std::string what = "Index file " + shape.FileName + ", full-text tag " + shape.TagName;
  if (!IsValidIndexPageSize(shape.PageSize)) {
    return Status(AE_INDEX_CORRUPT, what + ": page size " + std::to_string(shape.PageSize));
  }
  const uint32_t payload = FullTextPayload(shape.PageSize);
  const FullTextTagData& data = shape.Data;
  if (!CheckWordOptions(data.Words) ||
      data.PostingsPages != (data.PostingsBytes + payload - 1) / payload ||
      data.PostingsPages >= data.PageCount || data.RootPage < data.PostingsPages ||
      data.RootPage >= data.PageCount || data.Height < 1 || data.Height > kMaxWordTreeHeight) {
    return Status(AE_INDEX_CORRUPT, what + ": the tag's settings do not describe its pages");
  }
  if (data.CollationChecksum != UpperMapChecksum(chars)) {
    return Status(AE_FULLTEXT_COLLATION,
                  what + " was built with another character table; rebuild it");
  }
  return FullTextReader(source, std::move(shape), chars);
}

Result<std::optional<WordListRef>> FullTextReader::Find(std::string_view folded) {
  std::vector<WordTreeEntry> entries;
  uint32_t page = shape_.Data.RootPage;
  for (uint32_t depth = 0; depth < shape_.Data.Height; ++depth) {
    const uint32_t level = shape_.Data.Height - 1 - depth;
    const uint8_t type = level == 0 ? kWordLeafPage : kWordBranchPage;
    if (Status read = ReadFullTextPage(*source_, shape_, page, type, page_.data()); !read)
      return read;
    if (ReadFullTextPageHeader(page_.data()).Level != level) {
      return FullTextCorrupt(shape_, page, "the page is on the wrong level of the word tree");
    }
    if (Status read = ReadWordTreeEntries(shape_, page, page_.data(), entries); !read) return read;
    if (level == 0) {
      const auto hit = std::lower_bound(
          entries.begin(), entries.end(), folded,
          [](const WordTreeEntry& entry, std::string_view word) { return entry.Word < word; });
      if (hit == entries.end() || hit->Word != folded) return std::optional<WordListRef>();
      return std::optional<WordListRef>(hit->List);
    }
    if (entries.empty()) return FullTextCorrupt(shape_, page, "a branch page without words");
    // The last child whose first word is not after the word sought.
    auto child = std::upper_bound(
        entries.begin(), entries.end(), folded,
        [](std::string_view word, const WordTreeEntry& entry) { return word < entry.Word; });
    if (child == entries.begin()) return std::optional<WordListRef>();
    page = std::prev(child)->Child;
  }
  return FullTextCorrupt(shape_, page, "the word tree is deeper than its height");
}

Result<std::vector<uint32_t>> FullTextReader::RecordsOf(std::string_view folded) {
  Result<std::optional<WordListRef>> found = Find(folded);
  if (!found) return found.status();
  std::vector<uint32_t> records;
  if (!found->has_value()) return records;
  PostingsCursor cursor(*source_, shape_, **found, folded);
  uint32_t record = 0;
  while (cursor.Next(record)) records.push_back(record);
  if (!cursor.status()) return cursor.status();
  return records;
}

Result<std::vector<uint32_t>> FullTextReader::Search(std::string_view words) {
  std::vector<std::string> wanted;
  splitter_.ForEachWord(words, [&](std::string_view word) { wanted.emplace_back(word); });
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  if (wanted.empty()) {
    return Status(AE_FULLTEXT_NO_WORDS, "The full-text tag " + shape_.TagName +
                                            " indexes none of the words \"" + std::string(words) +
                                            "\" (noise words, or words too short or too long)");
  }
  std::vector<std::pair<WordListRef, std::string>> lists;
  for (const std::string& word : wanted) {
    Result<std::optional<WordListRef>> found = Find(word);
    if (!found) return found.status();
    if (!found->has_value()) return std::vector<uint32_t>();
    lists.emplace_back(**found, word);
  }
  // The shortest list first; each longer one only removes records.
  std::sort(lists.begin(), lists.end(),
            [](const auto& a, const auto& b) { return a.first.Count < b.first.Count; });
  std::vector<uint32_t> records;
  {
    PostingsCursor cursor(*source_, shape_, lists.front().first, lists.front().second);
    uint32_t record = 0;
    while (cursor.Next(record)) records.push_back(record);
    if (!cursor.status()) return cursor.status();
  }
  for (size_t i = 1; i < lists.size() && !records.empty(); ++i) {
    PostingsCursor cursor(*source_, shape_, lists[i].first, lists[i].second);
    size_t kept = 0, at = 0;
    uint32_t record = 0;
    while (at < records.size() && cursor.Next(record)) {
      while (at < records.size() && records[at] < record) ++at;
      if (at < records.size() && records[at] == record) records[kept++] = records[at++];
    }
    if (!cursor.status()) return cursor.status();
    records.resize(kept);
  }
  return records;
}

}  // namespace engine
