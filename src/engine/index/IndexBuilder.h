// Collecting and sorting the keys of one tag.
//
// A builder is fed one record at a time during a single scan of the table:
// either typed field values, which it encodes, or keys already encoded with
// Key(). It sorts them with the external sorter in the index file's folder;
// the index file writer (IndexFileWriter.h) then bulk-loads the tag's B+tree
// from the sorted stream. The same builder, made with ForExpectedKeys, holds
// the keys a stored tag ought to have, for the checker (IndexVerify.h).
//
// Errors are sticky: after the first one, Add does nothing and status() and
// Finish() answer it. A unique tag fails with AE_UNIQUE_EMPTY_KEY (7059) as
// soon as a record's key is empty: every part NULL, or blanks only for a
// character part. A key with at least one filled part is an ordinary key,
// and two keys equal in every part (NULL parts included) are duplicates,
// which the writer reports.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/index/ExternalSorter.h"
#include "engine/index/IndexFile.h"
#include "engine/index/Key.h"
#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

// A tag to build: its name, key expression and options.
struct IndexTagDefinition {
  std::string Name;
  std::string Expression;
  IndexTagOptions Options;
};

struct IndexBuildSettings {
  // The index file the tag is for; its folder takes the sort's temporary files.
  std::string IndexPath;
  // The most memory the sort may use (the engine's sort memory setting).
  uint64_t SortMemoryBytes = 64ull << 20;
  // The character table of the keys; nullptr for DefaultCharTable().
  const CharTable* Table = nullptr;
  // Threads the sort may use (the engine's IndexBuildThreads); the keys come
  // out the same whatever the number.
  uint32_t Threads = 1;
};

class IndexBuilder {
 public:
  // A builder for a new tag over a table with `fields`. Fails on a bad tag
  // name and on the errors of KeyExpression::Parse.
  static Result<std::unique_ptr<IndexBuilder>> Create(const IndexTagDefinition& definition,
                                                      std::span<const KeyField> fields,
                                                      const IndexBuildSettings& settings);

  // A builder for the keys `tag` should hold, for the checker; it makes no
  // uniqueness checks of its own.
  static std::unique_ptr<IndexBuilder> ForExpectedKeys(const IndexTagInfo& tag,
                                                       const IndexBuildSettings& settings);

  ~IndexBuilder();
  IndexBuilder(const IndexBuilder&) = delete;
  IndexBuilder& operator=(const IndexBuilder&) = delete;

  const IndexTagDefinition& Definition() const { return definition_; }
  const KeyExpression& Key() const { return key_; }

  // Adds a record's key: `values[i]` is the value of key part i, whose field
  // is fields[Key().Parts()[i].FieldIndex] of the list given to Create.
  void Add(uint32_t record_number, std::span<const KeyValue> values);

  // Adds a key already encoded by Key() (Key().KeyLength() bytes).
  void AddKey(uint32_t record_number, const uint8_t* key);

  // Sorts the keys. REQUIRES: called once, after the last Add.
  Status Finish();

  // Gives up: frees the sort's memory and removes its temporary files.
  void Abandon();

  Status status() const;
  bool Finished() const { return finished_; }
  uint64_t Count() const { return sorter_.Count(); }

  // The sorted records (key, then the record number big-endian), one per
  // call, nullptr after the last. REQUIRES: Finish() succeeded.
  Status Next(const uint8_t*& record) { return sorter_.Next(record); }

  // Statistics of the sort, for benchmarks and tests.
  const ExternalSorter& Sorter() const { return sorter_; }

 private:
  IndexBuilder(IndexTagDefinition definition, KeyExpression key, const IndexBuildSettings& settings,
               bool checks);
  void CheckKey(uint32_t record_number, const uint8_t* key);

  IndexTagDefinition definition_;
  KeyExpression key_;
  ExternalSorter sorter_;
  bool checks_;  // refuse empty keys in a unique tag
  bool finished_ = false;
  Status status_;
};

}  // namespace engine
