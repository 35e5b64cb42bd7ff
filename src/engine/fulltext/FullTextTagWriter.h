// Writing a full-text tag's pages from its words in order (the page layouts
// are described in FullTextTagWriter.cpp).
#pragma once

#include <cstdint>

#include "engine/fulltext/FullTextFormat.h"
#include "engine/fulltext/FullTextSegments.h"
#include "engine/index/BTreeBuilder.h"
#include "engine/util/EngineError.h"

namespace engine {

struct FullTextPageSettings {
  uint32_t PageSize = 0;     // 512..8192
  uint32_t TagSerial = 0;    // carried by every page
  uint32_t FirstPage = 0;    // file page of the tag's page 0
  uint64_t MemoryBytes = 0;  // for the word list kept between the two steps
  std::string TempFolder;    // where that list goes when it is larger
};

// Writes every word of `words` and its list through `sink`. The answer has
// everything of FullTextTagData but the word options and the collation,
// which the caller fills in.
Result<FullTextTagData> WriteFullTextPages(WordSource& words, PageSink& sink,
                                           const FullTextPageSettings& settings);

}  // namespace engine
