// How dbtool shows index tags and reads the numbers its index commands take.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/index/IndexFile.h"

namespace dbtool {

// "unique, descending, case-insensitive, primary", or "none".
std::string TagOptionsText(const engine::IndexTagOptions& options);

// One line about a tag: "NAME: EXPRESSION, options OPTIONS, page size P, K keys"; for a
// full-text tag "NAME: FIELDS, full text, words of MIN..MAX characters[, noise words 'A B'],
// page size P, W words, N (word, record) pairs".
std::string TagLine(const engine::IndexTagInfo& tag, uint32_t page_size);

// A whole number from 0 to `most`; false with the reason in `error`.
bool ParseCount(std::string_view text, const char* what, uint64_t most, uint64_t& value,
                std::string& error);

}  // namespace dbtool
