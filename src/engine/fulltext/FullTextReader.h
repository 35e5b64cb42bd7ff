// Reading a full-text tag: the records that hold a word, and the records
// that hold all of several words.
//
// Every page is checked as it is read (FullTextFormat.h), and every value
// taken from a page is range-checked before it is followed, so a damaged tag
// answers an engine error naming the file, the tag and the page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fulltext/FullTextFormat.h"
#include "engine/fulltext/FullTextWords.h"
#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

// Where a word's list lies in the postings stream.
struct WordListRef {
  uint64_t Count = 0;  // records
  uint64_t Start = 0;  // byte offset in the stream
  uint64_t Bytes = 0;
};

// The record numbers of one list, one at a time, read from the postings
// pages as needed. Checks that they increase, fit 32 bits, and that the
// list holds exactly its count in exactly its bytes.
class PostingsCursor {
 public:
  PostingsCursor(FullTextPageSource& source, const FullTextShape& shape, const WordListRef& list,
                 std::string_view word);

  // Sets `record` to the next number; false after the last one or on an
  // error (see status()).
  bool Next(uint32_t& record);
  const Status& status() const { return status_; }

 private:
  bool NextByte(uint8_t& byte);
  bool Fail(const std::string& what);

  FullTextPageSource& source_;
  const FullTextShape& shape_;
  WordListRef list_;
  std::string word_;
  std::vector<uint8_t> page_;
  uint32_t page_number_ = kNoPage;  // the postings page in page_
  uint64_t read_ = 0;               // bytes of the list consumed
  uint64_t given_ = 0;              // numbers given
  uint32_t last_ = 0;
  Status status_;
};

class FullTextReader {
 public:
  // Checks the tag's data against the page size, and that its words were
  // folded with `chars` (AE_FULLTEXT_COLLATION otherwise). `source` and
  // `chars` must outlive the reader.
  static Result<FullTextReader> Open(FullTextPageSource& source, FullTextShape shape,
                                     const CharTable& chars);

  // Where the list of a folded word lies, or nothing when the tag lacks it.
  Result<std::optional<WordListRef>> Find(std::string_view folded);

  // The records holding a folded word, in increasing order.
  Result<std::vector<uint32_t>> RecordsOf(std::string_view folded);

  // The records holding every word of `words` (split and folded like the
  // indexed texts; words the tag does not index are left out), in
  // increasing order. AE_FULLTEXT_NO_WORDS when no word is left.
  Result<std::vector<uint32_t>> Search(std::string_view words);

  const FullTextShape& Shape() const { return shape_; }
  const WordSplitter& Splitter() const { return splitter_; }
  FullTextPageSource& Source() const { return *source_; }

 private:
  FullTextReader(FullTextPageSource& source, FullTextShape shape, const CharTable& chars);

  FullTextPageSource* source_;
  FullTextShape shape_;
  WordSplitter splitter_;
  std::vector<uint8_t> page_;
};

// One entry of a word tree page, as read from the page.
struct WordTreeEntry {
  std::string_view Word;
  uint32_t Child = 0;  // branch entries
  WordListRef List;    // leaf entries
};

// Reads the entries of a checked leaf or branch page, checking that they
// fill exactly the bytes in use, that their words are 1..120 bytes in
// strictly increasing order, that children are tree pages other than
// `tag_page` and lists lie inside the stream. The words point into `page`.
Status ReadWordTreeEntries(const FullTextShape& shape, uint32_t tag_page, const uint8_t* page,
                           std::vector<WordTreeEntry>& entries);

}  // namespace engine
