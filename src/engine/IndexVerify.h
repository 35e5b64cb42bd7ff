// Checking the tags of an index file: the B+tree's structure, and its keys
// against the keys the table says it should hold.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "engine/IndexBuilder.h"
#include "engine/IndexFile.h"

namespace engine {

class FullTextTagBuild;

// The verdict on one tag.
struct IndexTagCheck {
  std::string Tag;
  std::string Problem;  // empty when the tag is sound
  bool Ok() const { return Problem.empty(); }
  // "TAG: OK" or "TAG: what is wrong".
  std::string Line() const { return Tag + ": " + (Ok() ? std::string("OK") : Problem); }
};

// Checks `tag` of `file`: every page read and its checksum, page types and
// levels, the entries in strictly increasing order within and across pages,
// each branch entry equal to the first entry below it, sibling links, every
// page but the root at least half full, every page of the tag reached once,
// the key count, uniqueness for a unique tag, and the character table. When
// `expected` is given (a builder from IndexBuilder::ForExpectedKeys fed with
// the table's live records), also that the tag holds exactly its
// (key, record number) pairs.
IndexTagCheck VerifyIndexTag(const IndexFile& file, const IndexTagInfo& tag,
                             IndexBuilder* expected = nullptr);

// The verdict on a whole index file: a problem of the file itself (it cannot
// be opened), or one verdict per tag.
struct IndexFileCheck {
  std::string FileProblem;
  std::vector<IndexTagCheck> Tags;
  bool Ok() const;
  // One line per tag; a single line naming the file when it cannot be opened.
  std::vector<std::string> Lines() const;
};

// Supplies the expected keys of a tag: a builder fed with the table's live
// records, nullptr to check the structure only, or the error that stopped it.
using ExpectedKeysFor =
    std::function<Result<std::unique_ptr<IndexBuilder>>(const IndexTagInfo& tag)>;

// Supplies the words a full-text tag of the file should hold: a build fed
// with the table's live records (FullTextTag.h), nullptr to check the
// structure only, or the error that stopped it.
using ExpectedWordsFor = std::function<Result<std::unique_ptr<FullTextTagBuild>>(
    const IndexFile& file, const IndexTagInfo& tag)>;

// Checks every tag of the file; full-text tags are checked as
// VerifyFullTextIndexTag (FullTextTag.h) checks them, with `words_for`.
// `key` is the key of an encrypted table (IndexFile::Open).
IndexFileCheck VerifyIndexFile(const std::string& path, const ExpectedKeysFor& expected_for = {},
                               const CharTable& table = DefaultCharTable(),
                               const ExpectedWordsFor& words_for = {},
                               const TableCipher* key = nullptr);

}  // namespace engine
