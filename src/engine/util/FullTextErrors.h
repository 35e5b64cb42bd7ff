// Error codes of full-text tags (8310..8329). A damaged full-text page
// answers the index file codes AE_INDEX_CHECKSUM and AE_INDEX_CORRUPT, and a
// failing temporary file AE_INDEX_SORT_IO, like every other index page.
#pragma once

namespace engine {

inline constexpr int AE_FULLTEXT_BAD_OPTION = 8310;     // word lengths or page size out of range
inline constexpr int AE_FULLTEXT_NO_WORDS = 8311;       // a search with no word the tag indexes
inline constexpr int AE_FULLTEXT_RECORD_ORDER = 8312;   // record numbers fed out of order, or 0
inline constexpr int AE_FULLTEXT_BUILDER_STATE = 8313;  // a builder used after Finish or Abandon
inline constexpr int AE_FULLTEXT_COLLATION =
    8314;  // the tag was built with another character table

}  // namespace engine
