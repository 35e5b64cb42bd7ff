// Error codes of the index side of the engine: key expressions, sorting,
// index files and their B+trees. docs/engine-errors.md describes each one.
#pragma once

namespace engine {

inline constexpr int AE_INDEX_UNKNOWN_FIELD =
    8200;  // a key expression names a field the table lacks
inline constexpr int AE_INDEX_BAD_EXPRESSION = 8201;  // empty key expression or an empty name in it
inline constexpr int AE_INDEX_KEY_TOO_LONG = 8202;    // the key does not fit the page size
inline constexpr int AE_INDEX_BAD_PAGE_SIZE =
    8203;  // a page size other than 512..8192 (powers of two)
inline constexpr int AE_INDEX_DUPLICATE_KEY = 8204;  // a unique tag met a second equal key
inline constexpr int AE_INDEX_CORRUPT = 8205;   // an index file value out of range or inconsistent
inline constexpr int AE_INDEX_CHECKSUM = 8206;  // a page whose checksum does not match
inline constexpr int AE_INDEX_IO = 8207;        // reading, writing, syncing or renaming failed
inline constexpr int AE_INDEX_TAG_NOT_FOUND = 8208;  // no tag of that name or order
inline constexpr int AE_INDEX_SORT_IO = 8209;        // a temporary file of the sort failed
inline constexpr int AE_INDEX_BAD_TAG_NAME = 8210;   // an empty or too long tag name
inline constexpr int AE_INDEX_BAD_KEY_VALUE = 8211;  // a value that does not suit its key part
inline constexpr int AE_INDEX_BAD_FIELD = 8212;      // a field descriptor that cannot be indexed
inline constexpr int AE_INDEX_TAG_KIND = 8213;       // a tag kind this engine cannot handle here
inline constexpr int AE_INDEX_BUILDER_STATE =
    8214;  // a builder used out of turn (Add after Finish)
inline constexpr int AE_INDEX_DIRECTORY_LOST =
    8215;  // a damaged index file whose tag directory cannot be read either

}  // namespace engine
