// Checking a full-text tag: its pages and word tree, and its words and
// records against the records the table says it should hold.
#pragma once

#include <string>

#include "engine/fulltext/FullTextBuilder.h"
#include "engine/fulltext/FullTextFormat.h"
#include "engine/util/CharTable.h"

namespace engine {

// The verdict on a full-text tag.
struct FullTextCheck {
  std::string Problem;  // empty when the tag is sound
  bool Ok() const { return Problem.empty(); }
};

// Checks every page of the tag (checksum, type, tag, number, level), the
// word tree (words in strictly increasing order within and across pages,
// each branch entry equal to the first word below it, every tree page
// reached exactly once), that each word is folded and indexable under the
// tag's settings, that the lists tile the postings stream in word order
// and each holds its count of increasing record numbers, and the tag's
// totals. When `expected` is given (a builder made with the tag's word
// options and fed with the table's live records, not finished), also that
// the tag holds exactly its words with exactly their records; the first
// difference is named.
FullTextCheck VerifyFullTextTag(FullTextPageSource& source, const FullTextShape& shape,
                                const CharTable& chars, FullTextBuilder* expected = nullptr);

}  // namespace engine
