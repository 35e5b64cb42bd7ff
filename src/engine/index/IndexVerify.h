// Checking one B+tree tag of an index file: its structure, and its keys
// against the keys the table says it should hold. Whole files, with their
// full-text tags, are checked by VerifyIndexFile (IndexFileVerify.h).
#pragma once

#include <memory>
#include <string>

#include "engine/index/IndexBuilder.h"
#include "engine/index/IndexFile.h"
#include "engine/util/EngineError.h"

namespace engine {

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
// A tag of another kind is reported as one this check cannot handle.
IndexTagCheck VerifyIndexTag(const IndexFile& file, const IndexTagInfo& tag,
                             IndexBuilder* expected = nullptr);

}  // namespace engine
