// The vocabulary of the index definition files: section names with their
// version tags, and index entries "key=expression*options".
#pragma once

#include <cstdint>
#include <string>

#include "dataset/AdsTable.h"

// The known version tags a table section's name may begin with.
inline constexpr const char* kVersionTagPrefix = "VlxInxVxx!!!###_";
inline constexpr const char* kVersionTags[] = {"VlxInxVxx!!!###_5601_", "VlxInxVxx!!!###_1600_",
                                               "VlxInxVxx!!!###_1800_"};
inline constexpr size_t kVersionTagLength = 21;

// Special section names and markers of the main definition file.
inline constexpr const char* kNot4RmvSection = "*Not4Rmv";
inline constexpr const char* kOptionSectionMarker = "*OP";
inline constexpr const char* kFullTextMarker = "*VlxFts";

// The key standing for the index name "PRIMARY", and the entry the program
// itself uses for the primary index on the record id.
inline constexpr const char* kPrimaryKeyEntryKey = "VLX_PRIMARY_KEY";
inline constexpr const char* kPrimaryKeyEntry = "VLX_PRIMARY_KEY=RECID*ixUnique";

// The index name of an entry key: "PRIMARY" for "VLX_PRIMARY_KEY" (exact
// case), else the key itself.
std::string InxNameOf(const std::string& key);

// The expression of an entry value: the text before the first "*", or all.
std::string InxExpressionOf(const std::string& value);

// The options text of an entry value: the text after the first "*", or empty.
std::string InxOptionsTextOf(const std::string& value);

// The options named in an options text by the words "ixPrimary", "ixUnique",
// "ixCaseInsensitive" and "ixDescending" (exact case, any order, any
// separators).
TIndexOptions InxOptionsOf(const std::string& options_text);

// True for the index "PRIMARY" on the expression "RECID", ignoring case.
bool IsPrimaryOnRecId(const std::string& index_name, const std::string& expression);

// The table name of a section name: a versioned name (one known tag at its
// start and no other known tag anywhere) loses its 21-character tag; a plain
// name (no known tag and no tag prefix anywhere) is the table name itself.
// False for any other name and for an empty table name.
bool SectionTableName(const std::string& section_name, std::string& table_name);
