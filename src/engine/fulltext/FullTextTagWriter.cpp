// The pages of a full-text tag, numbered within the tag from 0. All numbers
// are little-endian; every page starts with the CRC-32C of its other bytes.
//
//   pages 0 .. P-1     the postings stream: the encoded record numbers of
//                      every word, word after word in byte order of the
//                      words, cut into pages wherever a page is full
//   pages P .. last    the word tree: leaves with the words in byte order
//                      and where their lists lie in the stream, branch
//                      pages above them; the root is the last page
//
// Every page:
//
//   OFFSET  SIZE  DESCRIPTION
//        0     4  CRC-32C of bytes 4..page size-1
//        4     1  page type: 5 postings, 6 word leaf, 7 word branch
//        5     1  level: 0 for postings and leaves, a branch one more than its children
//        6     2  words on the page (0 on a postings page)
//        8     4  tag serial, the tag's identity in the directory
//       12     4  this page's number within the tag
//       16     2  bytes in use after the header
//       18     2  zero
//       20        content, then zeros to the end of the page
//
// A postings page carries the next (page size - 20) bytes of the stream;
// every one but the last is full, so byte s of the stream is on page
// s / (page size - 20). A word's list is its record numbers in increasing
// order: the first as a varint (LEB128: 7 bits a byte, low bits first, high
// bit set on all but the last byte), then each next one as the difference
// to the one before (at least 1).
//
// A leaf entry:
//
//   SIZE    DESCRIPTION
//      1    length W of the word (1..120)
//      W    the word, every byte through the character table's upper-case map
//   varint  number of records holding the word
//   varint  where its list starts in the postings stream (byte offset)
//   varint  length of its list in bytes
//
// A branch entry: 1 byte W, the W bytes of the first word below the child,
// and the child's page number within the tag (4 bytes).
//
// The stream is written first, while the leaf entries are kept aside (in
// memory, or in a temporary file when they pass an eighth of the sort
// memory); then the tree is built bottom-up from them. A page takes entries
// as long as the next one fits; a full page is written, and its first word
// and number become an entry of the level above. A level's first page waits
// until the level has a second, so the root is the one page of the highest
// level and, when it is a branch, has two children or more. Tree pages are
// numbered in the order they are completed, so leaves and branches
// interleave above P.
// Memory: one page per level, plus the kept entries.
#include "engine/fulltext/FullTextTagWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/fulltext/FullTextSpill.h"
#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

namespace {

constexpr size_t kMaxLeafEntry = 1 + kMaxFullTextWordLength + 3 * 10;

class PageWriter {
 public:
  PageWriter(PageSink& sink, const FullTextPageSettings& settings)
      : sink_(sink), settings_(settings) {}

  // The next page number, or an error when the tag would pass 32-bit numbers.
  Result<uint32_t> Allocate() {
    if (settings_.FirstPage + uint64_t{next_} >= kNoPage) {
      return Status(AE_INDEX_CORRUPT,
                    "A full-text tag would need more pages than an index file holds");
    }
    return next_++;
  }

  Status Write(uint8_t* page, const FullTextPageHeader& header) {
    WriteFullTextPageHeader(page, header);
    SealIndexPage(page, settings_.PageSize);
    return sink_.WritePage(settings_.FirstPage + header.Self, page);
  }

  uint32_t PagesUsed() const { return next_; }

 private:
  PageSink& sink_;
  const FullTextPageSettings& settings_;
  uint32_t next_ = 0;
};

// The postings stream, page after page.
class PostingsWriter {
 public:
  PostingsWriter(PageWriter& pages, const FullTextPageSettings& settings)
      : pages_(pages),
        settings_(settings),
        payload_(FullTextPayload(settings.PageSize)),
        page_(settings.PageSize, 0) {}

  Status Append(const uint8_t* data, size_t size) {
    while (size > 0) {
      const size_t take = std::min<size_t>(size, payload_ - fill_);
      std::memcpy(page_.data() + kFullTextPageHeaderSize + fill_, data, take);
      fill_ += static_cast<uint32_t>(take);
      data += take;
      size -= take;
      total_ += take;
      if (fill_ == payload_) {
        if (Status status = Flush(); !status) return status;
      }
    }
    return Status::Ok();
  }

  // Writes the last, partly filled page.
  Status Finish() { return fill_ > 0 ? Flush() : Status::Ok(); }

  uint64_t Total() const { return total_; }

 private:
  Status Flush() {
    Result<uint32_t> self = pages_.Allocate();
    if (!self) return self.status();
    FullTextPageHeader header;
    header.Type = kPostingsPage;
    header.TagSerial = settings_.TagSerial;
    header.Self = *self;
    header.Used = static_cast<uint16_t>(fill_);
    std::memset(page_.data() + kFullTextPageHeaderSize + fill_, 0, payload_ - fill_);
    Status written = pages_.Write(page_.data(), header);
    fill_ = 0;
    return written;
  }

  PageWriter& pages_;
  const FullTextPageSettings& settings_;
  uint32_t payload_;
  std::vector<uint8_t> page_;
  uint32_t fill_ = 0;
  uint64_t total_ = 0;
};

// The leaf entries kept between the two steps.
class EntryStore {
 public:
  EntryStore(uint64_t memory_limit, std::string folder)
      : limit_(memory_limit), folder_(std::move(folder)) {}

  Status Append(const uint8_t* data, size_t size) {
    if (!file_ && memory_.size() + size > limit_) {
      file_ = std::make_unique<SpillFile>();
      if (Status status = file_->Create(folder_); !status) return status;
      if (Status status = file_->Append(memory_.data(), memory_.size()); !status) return status;
      memory_.clear();
      memory_.shrink_to_fit();
    }
    if (file_) return file_->Append(data, size);
    memory_.insert(memory_.end(), data, data + size);
    return Status::Ok();
  }

  Status Rewind() { return file_ ? file_->Flush() : Status::Ok(); }

  // Reads the next `size` bytes (at most kMaxLeafEntry) into `out`; fewer at the end.
  Status Read(uint8_t* out, size_t size, size_t& got) {
    const uint64_t total = file_ ? file_->Size() : memory_.size();
    got = static_cast<size_t>(std::min<uint64_t>(size, total - read_));
    if (file_) {
      if (got > 0) {
        if (Status status = file_->ReadAt(read_, out, got); !status) return status;
      }
    } else if (got > 0) {
      std::memcpy(out, memory_.data() + read_, got);
    }
    read_ += got;
    return Status::Ok();
  }

 private:
  uint64_t limit_;
  std::string folder_;
  std::vector<uint8_t> memory_;
  std::unique_ptr<SpillFile> file_;
  uint64_t read_ = 0;
};

// The word tree, bottom-up.
class TreeWriter {
 public:
  TreeWriter(PageWriter& pages, const FullTextPageSettings& settings)
      : pages_(pages), settings_(settings), payload_(FullTextPayload(settings.PageSize)) {}

  // Adds a leaf entry (its word is its bytes 1..W).
  Status AddLeafEntry(const uint8_t* entry, size_t size) {
    const std::string_view word(reinterpret_cast<const char*>(entry + 1), entry[0]);
    return Add(0, word, entry, size);
  }

  // Completes every level; answers the root and the height.
  Status Finish(uint32_t& root, uint32_t& height) {
    for (size_t level = 0;; ++level) {
      if (level >= levels_.size()) levels_.emplace_back(settings_.PageSize);
      Level& open = levels_[level];
      if (open.count > 0 || open.written == 0) {
        if (Status status = Complete(level); !status) return status;
      }
      Level& done = levels_[level];
      if (done.written == 1 && done.waiting) {
        root = done.waiting_page;
        height = static_cast<uint32_t>(level + 1);
        return Status::Ok();
      }
    }
  }

 private:
  struct Level {
    explicit Level(uint32_t page_size) : page(page_size, 0) {}
    std::vector<uint8_t> page;
    uint32_t used = 0;   // content bytes on the open page
    uint16_t count = 0;  // entries on the open page
    std::string first_word;
    uint32_t written = 0;  // pages completed on this level
    bool waiting = false;  // the level's first page, not yet passed up
    std::string waiting_word;
    uint32_t waiting_page = 0;
  };

  Status Add(size_t level, std::string_view word, const uint8_t* entry, size_t size) {
    if (level >= kMaxWordTreeHeight) {
      return Status(AE_INDEX_CORRUPT, "A full-text word tree would grow past " +
                                          std::to_string(kMaxWordTreeHeight) + " levels");
    }
    if (level >= levels_.size()) levels_.emplace_back(settings_.PageSize);
    if (levels_[level].used + size > payload_) {
      if (Status status = Complete(level); !status) return status;
    }
    Level& open = levels_[level];
    if (open.count == 0) open.first_word.assign(word);
    std::memcpy(open.page.data() + kFullTextPageHeaderSize + open.used, entry, size);
    open.used += static_cast<uint32_t>(size);
    ++open.count;
    return Status::Ok();
  }

  Status Complete(size_t level) {
    Result<uint32_t> self = pages_.Allocate();
    if (!self) return self.status();
    {
      Level& open = levels_[level];
      FullTextPageHeader header;
      header.Type = level == 0 ? kWordLeafPage : kWordBranchPage;
      header.Level = static_cast<uint8_t>(level);
      header.Count = open.count;
      header.TagSerial = settings_.TagSerial;
      header.Self = *self;
      header.Used = static_cast<uint16_t>(open.used);
      std::memset(open.page.data() + kFullTextPageHeaderSize + open.used, 0, payload_ - open.used);
      if (Status status = pages_.Write(open.page.data(), header); !status) return status;
    }
    // The references below may move when a level is added above.
    std::string word = std::move(levels_[level].first_word);
    levels_[level].used = 0;
    levels_[level].count = 0;
    levels_[level].first_word.clear();
    if (levels_[level].written++ == 0) {
      levels_[level].waiting = true;
      levels_[level].waiting_word = std::move(word);
      levels_[level].waiting_page = *self;
      return Status::Ok();
    }
    if (levels_[level].waiting) {
      levels_[level].waiting = false;
      const std::string waiting_word = std::move(levels_[level].waiting_word);
      if (Status status = PassUp(level, waiting_word, levels_[level].waiting_page); !status)
        return status;
    }
    return PassUp(level, word, *self);
  }

  Status PassUp(size_t level, std::string_view word, uint32_t child) {
    uint8_t entry[1 + kMaxFullTextWordLength + 4];
    entry[0] = static_cast<uint8_t>(word.size());
    std::memcpy(entry + 1, word.data(), word.size());
    Store32(entry + 1 + word.size(), child);
    return Add(level + 1, word, entry, word.size() + 5);
  }

  PageWriter& pages_;
  const FullTextPageSettings& settings_;
  uint32_t payload_;
  std::vector<Level> levels_;
};

}  // namespace

Result<FullTextTagData> WriteFullTextPages(WordSource& words, PageSink& sink,
                                           const FullTextPageSettings& settings) {
  if (!IsValidIndexPageSize(settings.PageSize)) {
    return Status(AE_FULLTEXT_BAD_OPTION, "A full-text tag cannot have pages of " +
                                              std::to_string(settings.PageSize) + " bytes");
  }
  PageWriter pages(sink, settings);
  PostingsWriter postings(pages, settings);
  EntryStore entries(std::max<uint64_t>(settings.MemoryBytes / 8, 1 << 20), settings.TempFolder);
  FullTextTagData data;

  // Step 1: the postings stream, and the leaf entries kept aside.
  const ByteSink to_postings = [&postings](const uint8_t* bytes, size_t size) {
    return postings.Append(bytes, size);
  };
  while (words.Next()) {
    const WordHead& head = words.Head();
    uint8_t entry[kMaxLeafEntry];
    size_t n = 0;
    entry[n++] = static_cast<uint8_t>(head.Word.size());
    std::memcpy(entry + n, head.Word.data(), head.Word.size());
    n += head.Word.size();
    n += PutVarint(entry + n, head.Count);
    n += PutVarint(entry + n, postings.Total());
    n += PutVarint(entry + n, head.Bytes);
    if (Status status = entries.Append(entry, n); !status) return status;
    const uint64_t start = postings.Total();
    if (Status status = words.Stream(0, to_postings); !status) return status;
    if (postings.Total() - start != head.Bytes) {
      return Status(AE_INDEX_SORT_IO, "The list of the full-text word \"" + std::string(head.Word) +
                                          "\" came out at a length other than announced");
    }
    ++data.WordCount;
    data.PostingCount += head.Count;
  }
  if (!words.status()) return words.status();
  if (Status status = postings.Finish(); !status) return status;
  data.PostingsBytes = postings.Total();
  data.PostingsPages = pages.PagesUsed();

  // Step 2: the word tree from the kept entries.
  if (Status status = entries.Rewind(); !status) return status;
  TreeWriter tree(pages, settings);
  std::vector<uint8_t> buffer(64 * 1024 + kMaxLeafEntry);
  size_t begin = 0, end = 0;
  bool drained = false;
  while (true) {
    if (!drained && end - begin < kMaxLeafEntry) {
      std::memmove(buffer.data(), buffer.data() + begin, end - begin);
      end -= begin;
      begin = 0;
      size_t got = 0;
      if (Status status = entries.Read(buffer.data() + end, buffer.size() - end, got); !status)
        return status;
      end += got;
      drained = got == 0;
    }
    if (begin == end) break;
    // Entries were written above; only their length is found here.
    const Status damaged(AE_INDEX_SORT_IO, "A temporary full-text word list reads back wrong");
    if (size_t{1} + buffer[begin] > end - begin) return damaged;
    const uint8_t* at = buffer.data() + begin + 1 + buffer[begin];
    const uint8_t* limit = buffer.data() + end;
    uint64_t ignored;
    for (int field = 0; field < 3; ++field) {
      if (!GetVarint(at, limit, ignored)) return damaged;
    }
    const size_t size = static_cast<size_t>(at - (buffer.data() + begin));
    if (Status status = tree.AddLeafEntry(buffer.data() + begin, size); !status) return status;
    begin += size;
  }
  if (Status status = tree.Finish(data.RootPage, data.Height); !status) return status;
  data.PageCount = pages.PagesUsed();
  return data;
}

}  // namespace engine
