// Checking a whole index file: each B+tree tag as VerifyIndexTag
// (IndexVerify.h) checks it, each full-text tag as VerifyFullTextIndexTag
// (FullTextTag.h) checks it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/fulltext/FullTextTag.h"
#include "engine/index/IndexBuilder.h"
#include "engine/index/IndexFile.h"
#include "engine/index/IndexVerify.h"
#include "engine/util/EngineError.h"

namespace engine {

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
