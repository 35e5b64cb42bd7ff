#include "engine/fulltext/FullTextSegments.h"

#include <algorithm>
#include <cstring>
#include <queue>

#include "engine/fulltext/FullTextFormat.h"
#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

namespace {

constexpr size_t kInlineCapacity = 15;  // bytes a std::string holds without the heap
constexpr size_t kMaxEntryHead = 1 + kMaxFullTextWordLength + 4 * 10;

// A hash of a word, eight bytes at a time (words are short).
uint32_t HashWord(std::string_view word) {
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ word.size();
  const char* at = word.data();
  size_t left = word.size();
  while (left > 0) {
    uint64_t chunk = 0;
    if (left >= 8) {
      std::memcpy(&chunk, at, 8);
      at += 8;
      left -= 8;
    } else {
      // Byte by byte into a register: a short copy through memory would
      // stall the wide load that follows it.
      for (size_t i = 0; i < left; ++i) chunk |= uint64_t{static_cast<uint8_t>(at[i])} << (8 * i);
      left = 0;
    }
    hash = (hash ^ chunk) * 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 29;
  }
  hash *= 0x94D049BB133111EBull;
  return static_cast<uint32_t>(hash >> 32);
}

// Whether two words of `size` bytes are equal; words are short, and a call
// of memcmp costs more than the comparison.
bool SameWord(const char* a, const char* b, size_t size) {
  while (size >= 8) {
    uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return false;
    a += 8;
    b += 8;
    size -= 8;
  }
  while (size > 0) {
    if (*a++ != *b++) return false;
    --size;
  }
  return true;
}

size_t VarintLength(uint64_t value) {
  size_t n = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++n;
  }
  return n;
}

Status SegmentDamaged(const std::string& what) {
  return Status(AE_INDEX_SORT_IO, "A temporary full-text file reads back wrong: " + what);
}

}  // namespace

// ---------------------------------------------------------------------------
// WordTable

WordTable::WordTable() {
  slots_.assign(1024, 0);
}

uint64_t WordTable::MemoryBytes() const {
  return entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(uint64_t) +
         words_.capacity() + postings_heap_;
}

void WordTable::Clear() {
  // Give the memory back, so that the next run starts small again.
  entries_ = {};
  words_ = {};
  slots_.assign(1024, 0);
  slots_.shrink_to_fit();
  postings_heap_ = 0;
}

void WordTable::Grow() {
  std::vector<uint64_t> slots(slots_.size() * 2, 0u);
  const size_t mask = slots.size() - 1;
  for (size_t index = 0; index < entries_.size(); ++index) {
    const uint32_t hash = entries_[index].hash;
    size_t at = hash & mask;
    while (slots[at] != 0) at = (at + 1) & mask;
    slots[at] = (uint64_t{hash} << 32) | (index + 1);
  }
  slots_.swap(slots);
}

void WordTable::Add(std::string_view word, uint32_t record_number) {
  const uint32_t hash = HashWord(word);
  size_t mask = slots_.size() - 1;
  size_t at = hash & mask;
  while (const uint64_t slot = slots_[at]) {
    // The slot holds the hash too, so that other words are passed over
    // without a look at their entries.
    if (static_cast<uint32_t>(slot >> 32) == hash) {
      Entry& entry = entries_[static_cast<uint32_t>(slot) - 1];
      if (entry.length == word.size() &&
          SameWord(words_.data() + entry.word_at, word.data(), word.size())) {
        if (entry.last == record_number) return;  // the word again in the same record
        const size_t before = entry.postings.capacity();
        const uint32_t gap = record_number - entry.last;
        if (gap < 0x80) {
          entry.postings.push_back(static_cast<char>(gap));
        } else {
          AppendVarint(entry.postings, gap);
        }
        const size_t after = entry.postings.capacity();
        if (after != before) {
          postings_heap_ += (after > kInlineCapacity ? after : 0);
          postings_heap_ -= (before > kInlineCapacity ? before : 0);
        }
        entry.last = record_number;
        ++entry.count;
        return;
      }
    }
    at = (at + 1) & mask;
  }
  if ((entries_.size() + 1) * 2 > slots_.size()) {
    Grow();
    mask = slots_.size() - 1;
    at = hash & mask;
    while (slots_[at] != 0) at = (at + 1) & mask;
  }
  Entry entry;
  entry.word_at = static_cast<uint32_t>(words_.size());
  entry.length = static_cast<uint8_t>(word.size());
  entry.hash = hash;
  entry.count = 1;
  entry.first = entry.last = record_number;
  AppendVarint(entry.postings, record_number);
  words_.append(word);
  entries_.push_back(std::move(entry));
  slots_[at] = (uint64_t{hash} << 32) | entries_.size();
}

class WordTable::SortedSource : public WordSource {
 public:
  explicit SortedSource(const WordTable& table) : table_(table) {
    order_.resize(table.entries_.size());
    for (uint32_t i = 0; i < order_.size(); ++i) order_[i] = i;
    std::sort(order_.begin(), order_.end(),
              [&](uint32_t a, uint32_t b) { return WordOf(a) < WordOf(b); });
  }

  bool Next() override {
    if (started_) ++at_;
    started_ = true;
    if (at_ >= order_.size()) return false;
    const Entry& entry = table_.entries_[order_[at_]];
    head_.Word = WordOf(order_[at_]);
    head_.Count = entry.count;
    head_.First = entry.first;
    head_.Last = entry.last;
    head_.Bytes = entry.postings.size();
    return true;
  }

  const WordHead& Head() const override { return head_; }

  Status Stream(uint64_t skip, const ByteSink& out) override {
    const std::string& postings = table_.entries_[order_[at_]].postings;
    if (skip >= postings.size()) return Status::Ok();
    return out(reinterpret_cast<const uint8_t*>(postings.data()) + skip, postings.size() - skip);
  }

  Status status() const override { return Status::Ok(); }

 private:
  std::string_view WordOf(uint32_t index) const {
    const Entry& entry = table_.entries_[index];
    return std::string_view(table_.words_).substr(entry.word_at, entry.length);
  }

  const WordTable& table_;
  std::vector<uint32_t> order_;
  size_t at_ = 0;
  bool started_ = false;
  WordHead head_;
};

std::unique_ptr<WordSource> WordTable::Sorted() const {
  return std::make_unique<SortedSource>(*this);
}

// ---------------------------------------------------------------------------
// Segments

Result<SegmentExtent> WriteSegment(WordSource& source, SpillFile& file) {
  SegmentExtent extent;
  extent.Offset = file.Size();
  const ByteSink append = [&file](const uint8_t* data, size_t size) {
    return file.Append(data, size);
  };
  while (source.Next()) {
    const WordHead& head = source.Head();
    uint8_t bytes[kMaxEntryHead];
    size_t n = 0;
    bytes[n++] = static_cast<uint8_t>(head.Word.size());
    std::memcpy(bytes + n, head.Word.data(), head.Word.size());
    n += head.Word.size();
    n += PutVarint(bytes + n, head.Count);
    n += PutVarint(bytes + n, head.First);
    n += PutVarint(bytes + n, head.Last);
    n += PutVarint(bytes + n, head.Bytes);
    if (Status status = file.Append(bytes, n); !status) return status;
    if (Status status = source.Stream(0, append); !status) return status;
  }
  if (!source.status()) return source.status();
  if (Status status = file.Flush(); !status) return status;
  extent.Size = file.Size() - extent.Offset;
  return extent;
}

namespace {

class SegmentReader : public WordSource {
 public:
  SegmentReader(const SpillFile& file, SegmentExtent extent, size_t buffer_bytes)
      : file_(file),
        next_read_(extent.Offset),
        unread_(extent.Size),
        buffer_(std::max(buffer_bytes, 2 * kMaxEntryHead)) {}

  bool Next() override {
    if (!status_) return false;
    // Pass over what is left of the current list when nobody read it.
    if (pending_ > 0) {
      if (Status skipped = Stream(0, [](const uint8_t*, size_t) { return Status::Ok(); });
          !skipped) {
        status_ = skipped;
        return false;
      }
    }
    if (!Fill(kMaxEntryHead)) return false;
    if (begin_ == end_) return false;  // the end of the segment
    const uint8_t* at = buffer_.data() + begin_;
    const uint8_t* end = buffer_.data() + end_;
    const size_t length = *at++;
    if (length == 0 || length > kMaxFullTextWordLength || static_cast<size_t>(end - at) < length) {
      status_ = SegmentDamaged("a word of " + std::to_string(length) + " bytes");
      return false;
    }
    word_.assign(reinterpret_cast<const char*>(at), length);
    at += length;
    uint64_t first = 0, last = 0;
    if (!GetVarint(at, end, head_.Count) || !GetVarint(at, end, first) ||
        !GetVarint(at, end, last) || !GetVarint(at, end, head_.Bytes) || head_.Count == 0 ||
        first > last || last > UINT32_MAX) {
      status_ = SegmentDamaged("the entry of \"" + word_ + "\"");
      return false;
    }
    head_.Word = word_;
    head_.First = static_cast<uint32_t>(first);
    head_.Last = static_cast<uint32_t>(last);
    begin_ = static_cast<size_t>(at - buffer_.data());
    pending_ = head_.Bytes;
    return true;
  }

  const WordHead& Head() const override { return head_; }

  Status Stream(uint64_t skip, const ByteSink& out) override {
    while (pending_ > 0) {
      if (begin_ == end_) {
        if (!Fill(1)) return status_;
        if (begin_ == end_) {
          status_ = SegmentDamaged("a list is cut short");
          return status_;
        }
      }
      const size_t take = static_cast<size_t>(std::min<uint64_t>(pending_, end_ - begin_));
      const uint64_t done = head_.Bytes - pending_;
      if (done + take > skip) {
        const size_t from = done >= skip ? 0 : static_cast<size_t>(skip - done);
        if (Status status = out(buffer_.data() + begin_ + from, take - from); !status) {
          status_ = status;
          return status;
        }
      }
      begin_ += take;
      pending_ -= take;
    }
    return Status::Ok();
  }

  Status status() const override { return status_; }

 private:
  // Makes at least `wanted` bytes (or all that is left) available from begin_.
  bool Fill(size_t wanted) {
    if (end_ - begin_ >= wanted || unread_ == 0) return true;
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(unread_, buffer_.size() - end_));
    if (Status read = file_.ReadAt(next_read_, buffer_.data() + end_, take); !read) {
      status_ = read;
      return false;
    }
    end_ += take;
    next_read_ += take;
    unread_ -= take;
    return true;
  }

  const SpillFile& file_;
  uint64_t next_read_;  // file offset of the next read
  uint64_t unread_;     // bytes of the segment not yet read
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;  // unconsumed bytes are buffer_[begin_, end_)
  size_t end_ = 0;
  uint64_t pending_ = 0;  // bytes of the current list not yet consumed
  std::string word_;
  WordHead head_;
  Status status_;
};

class MergedSource : public WordSource {
 public:
  explicit MergedSource(std::vector<std::unique_ptr<WordSource>> sources)
      : sources_(std::move(sources)) {}

  bool Next() override {
    if (!status_) return false;
    // Move on every source that gave the word before; the first call
    // starts them all.
    if (!started_) {
      started_ = true;
      for (size_t i = 0; i < sources_.size(); ++i) Advance(i);
    } else {
      for (const size_t i : current_) Advance(i);
    }
    if (!status_) return false;
    current_.clear();
    if (heap_.empty()) return false;
    // Every source at the smallest word, in source order.
    word_ = std::string(sources_[heap_.top()]->Head().Word);
    while (!heap_.empty() && sources_[heap_.top()]->Head().Word == word_) {
      current_.push_back(heap_.top());
      heap_.pop();
    }
    std::sort(current_.begin(), current_.end());
    head_ = WordHead{};
    head_.Word = word_;
    for (size_t k = 0; k < current_.size(); ++k) {
      const WordHead& part = sources_[current_[k]]->Head();
      if (k == 0) {
        head_.First = part.First;
        head_.Bytes = part.Bytes;
      } else {
        if (part.First <= head_.Last) {
          status_ = Status(AE_FULLTEXT_RECORD_ORDER,
                           "Full-text runs overlap at the word \"" + word_ + "\"");
          return false;
        }
        head_.Bytes +=
            VarintLength(part.First - head_.Last) + part.Bytes - VarintLength(part.First);
      }
      head_.Count += part.Count;
      head_.Last = part.Last;
    }
    return true;
  }

  const WordHead& Head() const override { return head_; }

  Status Stream(uint64_t skip, const ByteSink& out) override {
    if (skip != 0)
      return Status(AE_FULLTEXT_BUILDER_STATE, "A merged word list is read from its start only");
    uint32_t last = 0;
    for (size_t k = 0; k < current_.size(); ++k) {
      WordSource& part = *sources_[current_[k]];
      const WordHead head = part.Head();
      uint64_t part_skip = 0;
      if (k > 0) {
        uint8_t gap[10];
        const size_t n = PutVarint(gap, head.First - last);
        if (Status status = out(gap, n); !status) return status;
        part_skip = VarintLength(head.First);
      }
      if (Status status = part.Stream(part_skip, out); !status) return status;
      last = head.Last;
    }
    return Status::Ok();
  }

  Status status() const override { return status_; }

 private:
  // The heap holds the sources by their current word, then their order.
  struct Later {
    const MergedSource* self;
    bool operator()(size_t a, size_t b) const {
      const std::string_view wa = self->sources_[a]->Head().Word;
      const std::string_view wb = self->sources_[b]->Head().Word;
      return wa != wb ? wa > wb : a > b;
    }
  };

  void Advance(size_t i) {
    if (sources_[i]->Next()) {
      heap_.push(i);
    } else if (!sources_[i]->status()) {
      status_ = sources_[i]->status();
    }
  }

  std::vector<std::unique_ptr<WordSource>> sources_;
  std::priority_queue<size_t, std::vector<size_t>, Later> heap_{Later{this}};
  std::vector<size_t> current_;  // sources at the current word, in order
  std::string word_;
  WordHead head_;
  bool started_ = false;
  Status status_;
};

}  // namespace

std::unique_ptr<WordSource> ReadSegment(const SpillFile& file, SegmentExtent extent,
                                        size_t buffer_bytes) {
  return std::make_unique<SegmentReader>(file, extent, buffer_bytes);
}

std::unique_ptr<WordSource> MergeWordSources(std::vector<std::unique_ptr<WordSource>> sources) {
  if (sources.size() == 1) return std::move(sources.front());
  return std::make_unique<MergedSource>(std::move(sources));
}

}  // namespace engine
