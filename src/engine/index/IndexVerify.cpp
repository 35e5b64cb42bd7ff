// The checker walks a tag's tree depth-first from the root, keeping one page
// per level, so it reads every page once and holds height pages at a time.
// On the way it keeps, per level, the page it saw last (to check sibling
// links both ways) and, across leaves, the last record (to check the order
// of the whole tag). It stops at the first fault and says where it is.
#include "engine/index/IndexVerify.h"

#include <cstring>

#include "engine/util/IndexFileErrors.h"

namespace engine {

namespace {

class TreeChecker {
 public:
  TreeChecker(const IndexFile& file, const IndexTagInfo& tag)
      : file_(file),
        tag_(tag),
        shape_(file.ShapeOf(tag)),
        record_size_(shape_.KeyLength + kRecordNumberSize),
        visited_(tag.PageCount, false),
        pages_(tag.Height, std::vector<uint8_t>(file.PageSize())),
        last_page_(tag.Height, kNoPage),
        last_next_(tag.Height, kNoPage),
        previous_(record_size_) {}

  std::string Run() {
    const uint8_t* none = nullptr;
    if (std::string problem = Visit(tag_.RootPage, static_cast<int>(tag_.Height) - 1, none, none);
        !problem.empty()) {
      return problem;
    }
    for (uint32_t level = 0; level < tag_.Height; ++level) {
      if (last_next_[level] != kNoPage) {
        return "the last page " + PageName(last_page_[level]) + " of level " +
               std::to_string(level) + " links to a next page";
      }
    }
    for (uint32_t page = 0; page < tag_.PageCount; ++page) {
      if (!visited_[page]) return "page " + PageName(page) + " is not reached from the root";
    }
    if (leaf_entries_ != tag_.KeyCount) {
      return "the tree holds " + std::to_string(leaf_entries_) + " keys, the directory says " +
             std::to_string(tag_.KeyCount);
    }
    return {};
  }

 private:
  std::string PageName(uint32_t page) const {
    return std::to_string(uint64_t{shape_.FirstPage} + page);
  }

  // Checks the subtree at `page` (on `level`), whose records must start with
  // `first` and stay below `limit` (nullptr: no bound).
  std::string Visit(uint32_t page, int level, const uint8_t* first, const uint8_t* limit) {
    if (page >= tag_.PageCount) return "a link points outside the tag";
    if (visited_[page]) return "page " + PageName(page) + " is reached twice";
    visited_[page] = true;
    uint8_t* buffer = pages_[level].data();
    if (Status status = file_.ReadPage(shape_.FirstPage + page, buffer); !status.ok())
      return status.Message();
    if (Status status = CheckNodePage(shape_, buffer, page, level); !status.ok())
      return status.Message();
    const NodeHeader header = ReadNodeHeader(buffer);
    const bool leaf = level == 0;
    const bool root = page == tag_.RootPage;
    const uint32_t capacity = leaf ? LeafCapacity(shape_.PageSize, shape_.KeyLength)
                                   : BranchCapacity(shape_.PageSize, shape_.KeyLength);
    const std::string where = "page " + PageName(page) + ": ";
    if (!root && header.Count < capacity / 2) {
      return where + "holds " + std::to_string(header.Count) + " entries, less than half of " +
             std::to_string(capacity);
    }
    if (root && !leaf && header.Count < 2)
      return where + "the root branch has fewer than two children";
    if (root && leaf && header.Count == 0 && tag_.KeyCount != 0)
      return where + "the root leaf is empty";
    if (header.Previous != last_page_[level]) return where + "its previous-page link is wrong";
    if (last_page_[level] != kNoPage && last_next_[level] != page) {
      return "page " + PageName(last_page_[level]) + ": its next-page link is wrong";
    }
    last_page_[level] = page;
    last_next_[level] = header.Next;

    const uint32_t entry = leaf ? record_size_ : record_size_ + kChildSize;
    const uint8_t* entries = buffer + kNodeHeaderSize;
    if (header.Count > 0) {
      if (first && std::memcmp(entries, first, record_size_) != 0) {
        return where + "its first entry differs from the entry that leads to it";
      }
      if (limit && std::memcmp(entries + (header.Count - 1) * entry, limit, record_size_) >= 0) {
        return where + "its last entry is not below the next branch entry";
      }
    }
    for (uint32_t i = 1; i < header.Count; ++i) {
      if (std::memcmp(entries + (i - 1) * entry, entries + i * entry, record_size_) >= 0) {
        return where + "entries " + std::to_string(i) + " and " + std::to_string(i + 1) +
               " are out of order";
      }
    }
    if (leaf) {
      for (uint32_t i = 0; i < header.Count; ++i) {
        const uint8_t* record = entries + i * entry;
        if (leaf_entries_ > 0) {
          if (std::memcmp(previous_.data(), record, record_size_) >= 0)
            return where + "keys are out of order";
          if (tag_.Options.Unique && std::memcmp(previous_.data(), record, shape_.KeyLength) == 0) {
            return "duplicate key '" + tag_.Key.Format(record) + "' (records " +
                   std::to_string(RecordNumberOf(previous_.data(), shape_.KeyLength)) + " and " +
                   std::to_string(RecordNumberOf(record, shape_.KeyLength)) + ") in a unique index";
          }
        }
        std::memcpy(previous_.data(), record, record_size_);
        ++leaf_entries_;
      }
      return {};
    }
    for (uint32_t i = 0; i < header.Count; ++i) {
      // The children overwrite deeper levels' buffers only, so this page stays.
      const uint8_t* separator = entries + i * entry;
      const uint8_t* next = i + 1 < header.Count ? entries + (i + 1) * entry : limit;
      const uint32_t child = Load32(separator + record_size_);
      if (std::string problem = Visit(child, level - 1, separator, next); !problem.empty())
        return problem;
    }
    return {};
  }

  const IndexFile& file_;
  const IndexTagInfo& tag_;
  TreeShape shape_;
  uint32_t record_size_;
  std::vector<bool> visited_;
  std::vector<std::vector<uint8_t>> pages_;  // one page buffer per level
  std::vector<uint32_t> last_page_;          // per level: the page seen last
  std::vector<uint32_t> last_next_;          // per level: its next-page link
  std::vector<uint8_t> previous_;            // the last leaf record seen
  uint64_t leaf_entries_ = 0;
};

std::string Describe(const IndexTagInfo& tag, const uint8_t* record) {
  return "record " + std::to_string(RecordNumberOf(record, tag.Key.KeyLength())) + " key '" +
         tag.Key.Format(record) + "'";
}

// Compares the tag's entries with the expected ones, both in order.
std::string CompareKeys(const IndexFile& file, const IndexTagInfo& tag, IndexBuilder& expected) {
  if (expected.Key().KeyLength() != tag.Key.KeyLength())
    return "the expected keys do not have the tag's key length";
  if (!expected.Finished()) {
    if (Status status = expected.Finish(); !status.ok())
      return "the expected keys could not be sorted: " + status.Message();
  }
  const uint32_t record_size = tag.Key.KeyLength() + kRecordNumberSize;
  TagCursor cursor(file, tag);
  if (Status status = cursor.First(); !status.ok()) return status.Message();
  const uint8_t* want = nullptr;
  if (Status status = expected.Next(want); !status.ok()) return status.Message();
  uint64_t missing = 0, extra = 0;
  std::string first_missing, first_extra;
  while (!cursor.Eof() || want) {
    int order;
    if (cursor.Eof()) {
      order = 1;
    } else if (!want) {
      order = -1;
    } else {
      order = std::memcmp(cursor.Key(), want, record_size);
    }
    if (order < 0) {
      if (extra++ == 0) first_extra = Describe(tag, cursor.Key());
    } else if (order > 0) {
      if (missing++ == 0) first_missing = Describe(tag, want);
    }
    if (order <= 0) {
      if (Status status = cursor.Next(); !status.ok()) return status.Message();
    }
    if (order >= 0) {
      if (Status status = expected.Next(want); !status.ok()) return status.Message();
    }
  }
  std::string problem;
  if (missing > 0)
    problem =
        std::to_string(missing) + " keys of the table are missing (first: " + first_missing + ")";
  if (extra > 0) {
    if (!problem.empty()) problem += "; ";
    problem += std::to_string(extra) + " keys are not in the table (first: " + first_extra + ")";
  }
  return problem;
}

}  // namespace

IndexTagCheck VerifyIndexTag(const IndexFile& file, const IndexTagInfo& tag,
                             IndexBuilder* expected) {
  IndexTagCheck check;
  check.Tag = tag.Name;
  if (tag.Kind != IndexTagKind::BTree) {
    check.Problem = "a tag of this kind cannot be checked by this engine";
    return check;
  }
  if (tag.CollationChecksum != tag.Key.CollationChecksum()) {
    check.Problem = "the keys were built with another character table";
    return check;
  }
  check.Problem = TreeChecker(file, tag).Run();
  if (check.Ok() && expected) check.Problem = CompareKeys(file, tag, *expected);
  return check;
}

}  // namespace engine
