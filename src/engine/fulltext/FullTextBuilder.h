// Building a full-text tag: the words of every record, and per word the
// record numbers that hold it, written as checksummed pages (the algorithm
// and the page layouts are described in FullTextBuilder.cpp).
//
// Use: Add() once per indexed field of each record, in increasing record
// order (one table scan), then Finish() with the place of the tag's pages.
// Errors are sticky: after the first one Add does nothing and Finish answers
// it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fulltext/FullTextFormat.h"
#include "engine/fulltext/FullTextSegments.h"
#include "engine/fulltext/FullTextSpill.h"
#include "engine/fulltext/FullTextWords.h"
#include "engine/index/BTreeBuilder.h"
#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

struct FullTextBuildOptions {
  uint32_t PageSize = kDefaultIndexPageSize;  // 512, 1024, 2048, 4096 or 8192
  uint32_t TagSerial = 0;                     // carried by every page of the tag
  uint64_t MemoryBytes = 64ull << 20;         // the engine's sort memory
  std::string TempFolder;                     // for spilled runs ("" = current folder)
};

class FullTextBuilder {
 public:
  // Fails with AE_FULLTEXT_BAD_OPTION on bad word lengths or page size.
  // `chars` must outlive the builder.
  static Result<std::unique_ptr<FullTextBuilder>> Create(const FullTextWordOptions& words,
                                                         const CharTable& chars,
                                                         const FullTextBuildOptions& options);
  ~FullTextBuilder();
  FullTextBuilder(const FullTextBuilder&) = delete;
  FullTextBuilder& operator=(const FullTextBuilder&) = delete;

  // Indexes the words of `text` for record `record_number` (1 or more).
  // REQUIRES: record_number is not below the one of the call before; the
  // fields of one record may come in several calls.
  Status Add(uint32_t record_number, std::string_view text);

  // Writes the tag's pages through `sink` at file pages `first_page` on
  // (numbered within the tag from 0) and answers what the tag directory
  // keeps of it.
  Result<FullTextTagData> Finish(PageSink& sink, uint32_t first_page);
  // The same in pages of `page_size` carrying `tag_serial`, for a writer
  // that settles them only when it lays the index file out.
  Result<FullTextTagData> Finish(PageSink& sink, uint32_t first_page, uint32_t page_size,
                                 uint32_t tag_serial);

  // Instead of pages: the words in order with their encoded lists (for the
  // checker). The builder must outlive the source.
  Result<std::unique_ptr<WordSource>> FinishWords();

  // Gives up: frees memory and temporary files. Later calls fail.
  void Abandon();

  Status status() const { return status_; }
  const WordSplitter& Splitter() const { return splitter_; }
  // Runs spilled to disk so far (0 when everything fitted in memory).
  uint32_t SpilledRuns() const { return spilled_runs_; }

 private:
  FullTextBuilder(const FullTextWordOptions& words, const CharTable& chars,
                  const FullTextBuildOptions& options);

  Status Spill();
  Status Fail(Status status);
  void Release();  // frees memory and temporary files

  FullTextBuildOptions options_;
  WordSplitter splitter_;
  Status status_;
  bool finished_ = false;
  uint32_t last_record_ = 0;
  WordTable table_;
  // Spilled runs: all in one temporary file per merge generation.
  std::unique_ptr<SpillFile> spill_;
  std::vector<SegmentExtent> segments_;
  std::vector<std::unique_ptr<SpillFile>> merged_files_;  // generations after the first
  uint32_t spilled_runs_ = 0;
};

}  // namespace engine
