// How a full-text tag is built, with a bounded amount of memory.
//
// Records arrive in increasing order during one scan of the table. Each text
// is split into words (FullTextWords.h), and each word goes into an
// in-memory hash table of words; a word's entry holds its record numbers,
// already encoded as they come (the first number, then differences), and a
// word met twice in one record is noted once. So the table needs a few bytes
// per (word, record) pair and one entry per distinct word.
//
// When the table holds more than the sort memory at the start of a record,
// its words are sorted and written as one sorted run ("segment", format in
// FullTextSegments.h) to a temporary file, and the table starts empty. Runs
// are cut only between records, so each covers a range of records that
// follows the range of the run before it.
//
// At the end, when nothing was spilled, the table's words are sorted and
// written as pages directly. Otherwise the rest of the table becomes the
// last run, and the runs are merged by word: a word's lists from several
// runs are joined in run order, re-encoding only the first number of each
// later list. At most sort memory / 256 KiB runs (at least 2) are merged at
// once, each read through a buffer of its share of the sort memory (at least
// 16 KiB); when there are more, groups of runs are first merged into longer
// runs in a new temporary file. The merged words in order are then written
// as the tag's pages (FullTextTagWriter.cpp).
//
// Example: 1,000,000 records of 25 words drawn from 5,000 words give about
// 20,000,000 pairs; at 1 to 2 bytes a pair the table holds some 40 MB, which
// fits the default 64 MiB, and the tag is written straight from memory.
#include "engine/fulltext/FullTextBuilder.h"

#include <algorithm>

#include "engine/fulltext/FullTextTagWriter.h"
#include "engine/util/FullTextErrors.h"

namespace engine {

namespace {

constexpr uint64_t kMergeShare = 256 * 1024;  // sort memory per run merged at once
constexpr uint64_t kMinRunBuffer = 16 * 1024;
constexpr uint64_t kMaxRunBuffer = 4 * 1024 * 1024;

}  // namespace

Result<std::unique_ptr<FullTextBuilder>> FullTextBuilder::Create(
    const FullTextWordOptions& words, const CharTable& chars, const FullTextBuildOptions& options) {
  if (Status checked = CheckWordOptions(words); !checked) return checked;
  if (!IsValidIndexPageSize(options.PageSize)) {
    return Status(AE_FULLTEXT_BAD_OPTION, "A full-text tag cannot have pages of " +
                                              std::to_string(options.PageSize) + " bytes");
  }
  return std::unique_ptr<FullTextBuilder>(new FullTextBuilder(words, chars, options));
}

FullTextBuilder::FullTextBuilder(const FullTextWordOptions& words, const CharTable& chars,
                                 const FullTextBuildOptions& options)
    : options_(options), splitter_(words, chars) {
  // The word table addresses its words with 32-bit offsets: 2 GiB keeps it
  // far from that, and below 64 KiB every record would be a run of its own.
  options_.MemoryBytes = std::clamp<uint64_t>(options_.MemoryBytes, 64 * 1024, 2ull << 30);
}

FullTextBuilder::~FullTextBuilder() = default;

Status FullTextBuilder::Fail(Status status) {
  if (status_) status_ = std::move(status);
  return status_;
}

Status FullTextBuilder::Add(uint32_t record_number, std::string_view text) {
  if (!status_) return status_;
  if (finished_) {
    return Fail(Status(AE_FULLTEXT_BUILDER_STATE, "A full-text build got a record after its end"));
  }
  if (record_number == 0 || record_number < last_record_) {
    return Fail(Status(AE_FULLTEXT_RECORD_ORDER,
                       "A full-text build got record " + std::to_string(record_number) +
                           " after record " + std::to_string(last_record_)));
  }
  if (record_number != last_record_) {
    if (table_.MemoryBytes() >= options_.MemoryBytes && !table_.Empty()) {
      if (Status spilled = Spill(); !spilled) return spilled;
    }
    last_record_ = record_number;
  }
  splitter_.ForEachWord(text, [&](std::string_view word) { table_.Add(word, record_number); });
  return Status::Ok();
}

Status FullTextBuilder::Spill() {
  if (!spill_) {
    spill_ = std::make_unique<SpillFile>();
    if (Status created = spill_->Create(options_.TempFolder); !created) return Fail(created);
  }
  std::unique_ptr<WordSource> sorted = table_.Sorted();
  Result<SegmentExtent> extent = WriteSegment(*sorted, *spill_);
  if (!extent) return Fail(extent.status());
  segments_.push_back(*extent);
  ++spilled_runs_;
  table_.Clear();
  return Status::Ok();
}

Result<std::unique_ptr<WordSource>> FullTextBuilder::FinishWords() {
  if (!status_) return status_;
  if (finished_) {
    return Fail(Status(AE_FULLTEXT_BUILDER_STATE, "A full-text build was finished twice"));
  }
  finished_ = true;
  if (segments_.empty()) return table_.Sorted();
  if (!table_.Empty()) {
    if (Status spilled = Spill(); !spilled) return spilled;
  }
  const uint64_t fan_in = std::max<uint64_t>(2, options_.MemoryBytes / kMergeShare);
  auto buffer_for = [&](size_t runs) {
    return static_cast<size_t>(
        std::clamp<uint64_t>(options_.MemoryBytes / runs, kMinRunBuffer, kMaxRunBuffer));
  };
  // Merge groups of runs into longer ones until one merge can take them all.
  const SpillFile* runs_file = spill_.get();
  while (segments_.size() > fan_in) {
    auto next = std::make_unique<SpillFile>();
    if (Status created = next->Create(options_.TempFolder); !created) return Fail(created);
    std::vector<SegmentExtent> merged;
    for (size_t group = 0; group < segments_.size(); group += fan_in) {
      const size_t end = std::min<size_t>(segments_.size(), group + fan_in);
      std::vector<std::unique_ptr<WordSource>> sources;
      for (size_t i = group; i < end; ++i) {
        sources.push_back(ReadSegment(*runs_file, segments_[i], buffer_for(end - group)));
      }
      std::unique_ptr<WordSource> source = MergeWordSources(std::move(sources));
      Result<SegmentExtent> extent = WriteSegment(*source, *next);
      if (!extent) return Fail(extent.status());
      merged.push_back(*extent);
    }
    segments_ = std::move(merged);
    // The runs just merged are no longer needed: close their file.
    if (runs_file == spill_.get()) {
      spill_->Close();
    } else {
      merged_files_.back()->Close();
    }
    merged_files_.push_back(std::move(next));
    runs_file = merged_files_.back().get();
  }
  std::vector<std::unique_ptr<WordSource>> sources;
  for (const SegmentExtent& extent : segments_) {
    sources.push_back(ReadSegment(*runs_file, extent, buffer_for(segments_.size())));
  }
  return MergeWordSources(std::move(sources));
}

Result<FullTextTagData> FullTextBuilder::Finish(PageSink& sink, uint32_t first_page) {
  Result<std::unique_ptr<WordSource>> words = FinishWords();
  if (!words) return words.status();
  FullTextPageSettings settings;
  settings.PageSize = options_.PageSize;
  settings.TagSerial = options_.TagSerial;
  settings.FirstPage = first_page;
  settings.MemoryBytes = options_.MemoryBytes;
  settings.TempFolder = options_.TempFolder;
  Result<FullTextTagData> data = WriteFullTextPages(**words, sink, settings);
  if (!data) return Fail(data.status());
  data->Words.MinWordLength = splitter_.Options().MinWordLength;
  data->Words.MaxWordLength = splitter_.Options().MaxWordLength;
  data->Words.NoiseWords = splitter_.FoldedNoiseWords();
  data->CollationChecksum = UpperMapChecksum(splitter_.Chars());
  Release();
  return data;
}

Result<FullTextTagData> FullTextBuilder::Finish(PageSink& sink, uint32_t first_page,
                                                uint32_t page_size, uint32_t tag_serial) {
  if (!IsValidIndexPageSize(page_size)) {
    return Fail(Status(AE_FULLTEXT_BAD_OPTION, "A full-text tag cannot have pages of " +
                                                   std::to_string(page_size) + " bytes"));
  }
  options_.PageSize = page_size;
  options_.TagSerial = tag_serial;
  return Finish(sink, first_page);
}

void FullTextBuilder::Abandon() {
  finished_ = true;
  Fail(Status(AE_FULLTEXT_BUILDER_STATE, "The full-text build was given up"))
      .PermitUncheckedError();  // the builder keeps it for later calls
  Release();
}

void FullTextBuilder::Release() {
  table_.Clear();
  segments_.clear();
  spill_.reset();
  merged_files_.clear();
}

}  // namespace engine
