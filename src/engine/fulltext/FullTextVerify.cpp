#include "engine/fulltext/FullTextVerify.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "engine/fulltext/FullTextReader.h"

namespace engine {

namespace {

// The leaf entries of a word tree in order, read depth-first with one page
// per level, checking the tree's shape on the way.
class WordTreeWalker {
 public:
  WordTreeWalker(FullTextPageSource& source, const FullTextShape& shape)
      : source_(source),
        shape_(shape),
        visited_(shape.Data.PageCount - shape.Data.PostingsPages, false) {}

  // Sets `entry` to the next leaf entry; false at the end or on an error.
  bool Next(WordTreeEntry& entry) {
    if (!status_) return false;
    if (!started_) {
      started_ = true;
      if (!Descend(shape_.Data.RootPage, shape_.Data.Height - 1, std::nullopt)) return false;
    }
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      if (top.at == top.entries.size()) {
        stack_.pop_back();
        continue;
      }
      const WordTreeEntry current = top.entries[top.at++];
      if (top.level == 0) {
        entry = current;
        return true;
      }
      if (!Descend(current.Child, top.level - 1, current.Word)) return false;
    }
    return false;
  }

  uint64_t PagesVisited() const { return pages_visited_; }
  const Status& status() const { return status_; }

 private:
  struct Frame {
    std::vector<uint8_t> page;
    std::vector<WordTreeEntry> entries;  // point into `page`
    size_t at = 0;
    uint32_t level = 0;
  };

  bool Fail(Status status) {
    if (status_) status_ = std::move(status);
    return false;
  }

  // Reads `page` as a page of `level` whose first word must be `first`.
  bool Descend(uint32_t page, uint32_t level, std::optional<std::string_view> first) {
    const uint8_t type = level == 0 ? kWordLeafPage : kWordBranchPage;
    if (page < shape_.Data.PostingsPages || page >= shape_.Data.PageCount) {
      return Fail(FullTextCorrupt(shape_, page, "a word tree page outside the tree"));
    }
    if (visited_[page - shape_.Data.PostingsPages]) {
      return Fail(FullTextCorrupt(shape_, page, "the page is reached twice in the word tree"));
    }
    visited_[page - shape_.Data.PostingsPages] = true;
    ++pages_visited_;
    Frame frame;
    frame.page.resize(shape_.PageSize);
    frame.level = level;
    if (Status read = ReadFullTextPage(source_, shape_, page, type, frame.page.data()); !read)
      return Fail(read);
    if (ReadFullTextPageHeader(frame.page.data()).Level != level) {
      return Fail(FullTextCorrupt(shape_, page, "the page is on the wrong level of the word tree"));
    }
    if (Status read = ReadWordTreeEntries(shape_, page, frame.page.data(), frame.entries); !read)
      return Fail(read);
    const bool empty_tag_root =
        level == 0 && page == shape_.Data.RootPage && shape_.Data.WordCount == 0;
    if (frame.entries.empty() && !empty_tag_root) {
      return Fail(FullTextCorrupt(shape_, page, "a word tree page without words"));
    }
    if (level > 0 && page == shape_.Data.RootPage && frame.entries.size() < 2) {
      return Fail(FullTextCorrupt(shape_, page, "the root of the word tree has a single child"));
    }
    if (first && (frame.entries.empty() || frame.entries.front().Word != *first)) {
      return Fail(
          FullTextCorrupt(shape_, page, "the page does not begin with the word its parent names"));
    }
    stack_.push_back(std::move(frame));
    return true;
  }

  FullTextPageSource& source_;
  const FullTextShape& shape_;
  std::vector<bool> visited_;  // tree pages, from page PostingsPages on
  uint64_t pages_visited_ = 0;
  std::vector<Frame> stack_;
  bool started_ = false;
  Status status_;
};

// Decodes an encoded list given in pieces.
class ListDecoder {
 public:
  // Calls `on_record` for each number; false when it answers false.
  template <typename OnRecord>
  bool Feed(const uint8_t* data, size_t size, OnRecord&& on_record) {
    for (size_t i = 0; i < size; ++i) {
      value_ |= uint64_t{data[i] & 0x7Fu} << shift_;
      shift_ += 7;
      if (data[i] & 0x80) continue;
      last_ = first_ ? value_ : last_ + value_;
      first_ = false;
      value_ = 0;
      shift_ = 0;
      if (!on_record(static_cast<uint32_t>(last_))) return false;
    }
    return true;
  }

 private:
  uint64_t value_ = 0;
  int shift_ = 0;
  uint64_t last_ = 0;
  bool first_ = true;
};

std::string Quoted(std::string_view word) {
  std::string quoted(1, '"');
  quoted.append(word);
  quoted += '"';
  return quoted;
}

}  // namespace

FullTextCheck VerifyFullTextTag(FullTextPageSource& source, const FullTextShape& shape,
                                const CharTable& chars, FullTextBuilder* expected) {
  FullTextCheck check;
  Result<FullTextReader> reader = FullTextReader::Open(source, shape, chars);
  if (!reader) {
    check.Problem = reader.status().Message();
    return check;
  }
  const WordSplitter& splitter = reader->Splitter();
  std::unique_ptr<WordSource> wanted;
  bool wanted_more = false;
  if (expected) {
    Result<std::unique_ptr<WordSource>> words = expected->FinishWords();
    if (!words) {
      check.Problem = "the expected words cannot be collected: " + words.status().Message();
      return check;
    }
    wanted = std::move(words.value());
    wanted_more = wanted->Next();
  }

  std::vector<std::string> differences;
  uint64_t difference_count = 0;
  auto differ = [&](std::string text) {
    if (++difference_count <= 3) differences.push_back(std::move(text));
  };

  // The tag's last page must exist before the walk keeps a mark per page.
  {
    std::vector<uint8_t> last(shape.PageSize);
    if (Status read =
            ReadFullTextPage(source, reader->Shape(), shape.Data.PageCount - 1, 0, last.data());
        !read) {
      check.Problem = read.Message();
      return check;
    }
  }
  WordTreeWalker walker(source, reader->Shape());
  WordTreeEntry entry;
  uint64_t words = 0, postings = 0, offset = 0;
  std::string previous;
  while (walker.Next(entry)) {
    ++words;
    if (words > 1 && entry.Word <= previous) {
      check.Problem = "the words " + Quoted(previous) + " and " + Quoted(entry.Word) +
                      " are out of order across leaves";
      return check;
    }
    previous.assign(entry.Word);
    if (splitter.Fold(entry.Word) != entry.Word || !splitter.IsIndexed(entry.Word) ||
        std::any_of(entry.Word.begin(), entry.Word.end(),
                    [](char c) { return !IsWordByte(static_cast<uint8_t>(c)); })) {
      check.Problem = "the tag holds " + Quoted(entry.Word) + ", which it does not index";
      return check;
    }
    if (entry.List.Start != offset) {
      check.Problem = "the list of " + Quoted(entry.Word) + " does not follow the one before it";
      return check;
    }
    offset += entry.List.Bytes;
    postings += entry.List.Count;

    // Words only the table has, before this one.
    while (wanted_more && wanted->Head().Word < entry.Word) {
      differ("the word " + Quoted(wanted->Head().Word) + " of record " +
             std::to_string(wanted->Head().First) + " is missing");
      wanted_more = wanted->Next();
    }
    const bool compare = wanted_more && wanted->Head().Word == entry.Word;
    if (wanted && !compare) {
      differ("the word " + Quoted(entry.Word) + " is in no record");
    }
    PostingsCursor cursor(source, reader->Shape(), entry.List, entry.Word);
    uint32_t stored = 0;
    bool have_stored = cursor.Next(stored);
    if (compare) {
      std::string difference;
      ListDecoder decoder;
      const Status streamed = wanted->Stream(0, [&](const uint8_t* data, size_t size) {
        decoder.Feed(data, size, [&](uint32_t record) {
          if (!difference.empty()) return false;
          if (have_stored && stored == record) {
            have_stored = cursor.Next(stored);
            return true;
          }
          difference = have_stored && stored < record
                           ? "the tag lists record " + std::to_string(stored) + " for " +
                                 Quoted(entry.Word) + ", which does not hold it"
                           : "record " + std::to_string(record) + " holds " + Quoted(entry.Word) +
                                 ", which the tag misses";
          return false;
        });
        return Status::Ok();
      });
      if (!streamed) {
        check.Problem = "the expected words cannot be read: " + streamed.Message();
        return check;
      }
      if (difference.empty() && have_stored) {
        difference = "the tag lists record " + std::to_string(stored) + " for " +
                     Quoted(entry.Word) + ", which does not hold it";
      }
      if (!difference.empty()) differ(difference);
      wanted_more = wanted->Next();
    }
    // The rest of the stored list, for its own soundness.
    while (have_stored) have_stored = cursor.Next(stored);
    if (!cursor.status()) {
      check.Problem = cursor.status().Message();
      return check;
    }
  }
  if (!walker.status()) {
    check.Problem = walker.status().Message();
    return check;
  }
  while (wanted_more) {
    differ("the word " + Quoted(wanted->Head().Word) + " of record " +
           std::to_string(wanted->Head().First) + " is missing");
    wanted_more = wanted->Next();
  }
  if (wanted && !wanted->status()) {
    check.Problem = "the expected words cannot be read: " + wanted->status().Message();
    return check;
  }

  const FullTextTagData& data = reader->Shape().Data;
  if (words != data.WordCount || postings != data.PostingCount || offset != data.PostingsBytes ||
      walker.PagesVisited() != uint64_t{data.PageCount} - data.PostingsPages) {
    check.Problem = "the tag counts " + std::to_string(data.WordCount) + " words, " +
                    std::to_string(data.PostingCount) + " records and " +
                    std::to_string(data.PageCount - data.PostingsPages) +
                    " word tree pages; its pages hold " + std::to_string(words) + ", " +
                    std::to_string(postings) + " and " + std::to_string(walker.PagesVisited());
    return check;
  }
  if (difference_count > 0) {
    for (size_t i = 0; i < differences.size(); ++i) {
      check.Problem += (i == 0 ? "" : "; ") + differences[i];
    }
    if (difference_count > differences.size()) {
      check.Problem += " (" + std::to_string(difference_count) + " differences in all)";
    }
  }
  return check;
}

}  // namespace engine
