// The inside of a full-text build: words collected in memory, sorted runs of
// words ("segments") spilled to a temporary file, and the merge of sorted
// sources into one stream of words in byte order.
//
// A word's record numbers are kept encoded from the start: the first record
// number as a varint, then the difference to the one before, each a varint
// of at least 1 (records only grow during a build). Segments cover
// consecutive ranges of records, so merging a word's lists from several
// segments only re-encodes the first number of each later list as the
// difference to the last number of the list before it.
//
// A segment is a sequence of entries, one per word, in byte order of the
// words:
//
//   SIZE    DESCRIPTION
//      1    length W of the word (1..120)
//      W    the word, folded
//   varint  number of records n (1 or more)
//   varint  first record number
//   varint  last record number
//   varint  length B of the encoded list
//      B    the encoded list (first number, then n - 1 differences)
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fulltext/FullTextSpill.h"
#include "engine/util/EngineError.h"

namespace engine {

// The current word of a sorted source.
struct WordHead {
  std::string_view Word;  // valid until the source moves on
  uint64_t Count = 0;     // records holding the word
  uint32_t First = 0;     // lowest record number
  uint32_t Last = 0;      // highest record number
  uint64_t Bytes = 0;     // length of the encoded list
};

// Receives encoded bytes in pieces.
using ByteSink = std::function<Status(const uint8_t* data, size_t size)>;

// Words in strictly increasing byte order, each with its encoded list.
class WordSource {
 public:
  virtual ~WordSource() = default;
  // Moves to the next word (the first one on the first call); false at the
  // end or after an error (see status()).
  virtual bool Next() = 0;
  virtual const WordHead& Head() const = 0;
  // Gives the current word's encoded list from byte `skip` on, at most once
  // per word. REQUIRES: Next() answered true.
  virtual Status Stream(uint64_t skip, const ByteSink& out) = 0;
  virtual Status status() const = 0;
};

// Words and their encoded lists, collected in memory.
class WordTable {
 public:
  WordTable();

  // Notes that record `record_number` holds `word`. REQUIRES: record_number
  // is not below any number added before (since the last Clear).
  void Add(std::string_view word, uint32_t record_number);

  bool Empty() const { return entries_.empty(); }
  size_t WordCount() const { return entries_.size(); }
  // The memory the table holds, near enough to enforce a bound.
  uint64_t MemoryBytes() const;
  void Clear();

  // The words in byte order; valid until the table changes.
  std::unique_ptr<WordSource> Sorted() const;

 private:
  struct Entry {
    std::string postings;  // encoded list
    uint32_t word_at = 0;  // in words_
    uint32_t hash = 0;
    uint32_t count = 0;
    uint32_t first = 0;
    uint32_t last = 0;
    uint8_t length = 0;
  };
  class SortedSource;

  void Grow();

  std::vector<Entry> entries_;
  std::vector<uint64_t> slots_;  // the word's hash << 32 | entry index + 1; 0 when free
  std::string words_;            // the words, one after the other
  uint64_t postings_heap_ = 0;   // bytes of encoded lists held outside the entries
};

// Where a segment lies in its spill file.
struct SegmentExtent {
  uint64_t Offset = 0;
  uint64_t Size = 0;
};

// Writes every word of `source` as a segment at the end of `file` and gives
// its extent.
Result<SegmentExtent> WriteSegment(WordSource& source, SpillFile& file);

// Reads a segment back with a buffer of `buffer_bytes`. `file` must outlive
// the reader and be flushed.
std::unique_ptr<WordSource> ReadSegment(const SpillFile& file, SegmentExtent extent,
                                        size_t buffer_bytes);

// Merges sources whose record ranges follow each other in the order given
// (every record of sources[i] is below every record of sources[i + 1]). A
// word found in several sources gets their lists joined.
std::unique_ptr<WordSource> MergeWordSources(std::vector<std::unique_ptr<WordSource>> sources);

}  // namespace engine
