// Sorting fixed-length records (index keys with their record numbers) in a
// bounded amount of memory. The algorithm is described in ExternalSorter.cpp.
//
// Use: Append() or Add() once per record, Finish(), then Next() until it
// gives nullptr. Errors are sticky: after the first one every call does
// nothing and status(), Finish() and Next() answer it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/util/EngineError.h"

namespace engine {

struct ExternalSorterOptions {
  uint32_t RecordSize = 0;  // bytes per record, compared with memcmp
  uint64_t MemoryBytes =
      64ull << 20;         // the most memory the sort may hold for its records and buffers
  std::string TempFolder;  // where runs are spilled
  std::string TempNamePrefix =
      "sort";  // names of spill files, for file systems without unnamed files
  // Threads that sort a run together (1: the calling thread alone). The
  // records come out the same whatever the number; the memory bound holds
  // for all of them together.
  uint32_t Threads = 1;
};

class ExternalSorter {
 public:
  explicit ExternalSorter(ExternalSorterOptions options);
  ~ExternalSorter();  // closes the spill files, which removes them
  ExternalSorter(const ExternalSorter&) = delete;
  ExternalSorter& operator=(const ExternalSorter&) = delete;

  // A place for the next record: write RecordSize bytes into it before the
  // next call. REQUIRES: Finish() not called.
  uint8_t* Append();
  void Add(const uint8_t* record);

  // Sorts what is left in memory and merges the spilled runs down to one
  // merge that Next() performs.
  Status Finish();

  // Sets `record` to the next record in order, or nullptr after the last. The
  // bytes stay valid until the next call. REQUIRES: Finish() succeeded.
  Status Next(const uint8_t*& record);

  // Gives up: frees memory and removes spill files. Later calls fail.
  void Abandon();

  Status status() const { return status_; }
  uint64_t Count() const { return count_; }
  uint32_t RecordSize() const { return record_size_; }
  // Runs spilled to disk (0 when everything fitted in memory) and merge
  // passes made before the final merge.
  uint32_t RunCount() const { return run_count_; }
  uint32_t MergePasses() const { return merge_passes_; }

 private:
  struct Run {
    uint64_t Offset = 0;  // byte offset in its spill file
    uint64_t Count = 0;   // records
  };
  class Merger;

  void Fail(Status status);
  void SpillRun();
  Result<int> CreateSpillFile();
  Status MergePass();
  void FreeBuffers();

  uint32_t record_size_;
  uint64_t memory_bytes_;
  uint32_t threads_;
  std::string temp_folder_;
  std::string temp_prefix_;
  Status status_;
  bool finished_ = false;
  bool abandoned_ = false;
  uint64_t count_ = 0;

  // Memory mapped from the system: its pages are touched only as records
  // arrive, and it goes back to the system when freed.
  class PageBuffer {
   public:
    PageBuffer() = default;
    ~PageBuffer() { Free(); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    bool Allocate(uint64_t bytes);  // false when the system refuses
    void Free();
    uint8_t* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

   private:
    uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
  };

  // Filling: records in `records_`, sorted with `scratch_` as the second buffer.
  PageBuffer records_;
  PageBuffer scratch_;
  uint64_t capacity_ = 0;             // records that fit in `records_`
  uint64_t run_records_ = 0;          // records one run holds at most
  uint64_t filled_ = 0;               // records in `records_`
  std::unique_ptr<uint8_t[]> dummy_;  // the slot Append gives after an error

  // Spilled runs, all in one unnamed file per merge generation.
  int spill_fd_ = -1;
  uint64_t spill_size_ = 0;
  std::vector<Run> runs_;
  uint32_t run_count_ = 0;
  uint32_t merge_passes_ = 0;

  // Reading: from memory, or from the final merge.
  uint64_t next_in_memory_ = 0;
  std::unique_ptr<Merger> merger_;
};

}  // namespace engine
