// External merge sort of fixed-length records in bounded memory.
//
// The records are index keys followed by their record numbers, encoded so
// that memcmp of two whole records gives their order (see Key.cpp); the
// sorter knows nothing else about them.
//
// 1. Filling. Records are appended to an in-memory buffer of one run's
//    worth: half the memory budget (the other half is the second buffer the
//    sort needs). The buffers are mapped from the system, so a small tag
//    touches, and costs, only the pages its records fill.
// 2. Sorting a run. When the buffer is full, it is sorted with a most-
//    significant-byte radix sort that moves whole records between the two
//    buffers: count the records per value of the current byte, scatter them
//    into the other buffer bucket by bucket, then sort every bucket on the next
//    byte. A byte on which all records of a bucket agree (a NULL flag, blank
//    padding) is skipped without moving anything; buckets of 16 records or
//    fewer are finished by insertion sort. Work waits on an explicit stack, so
//    long keys never deepen the call stack. The sorted run is written with one
//    large write to the spill file, and filling starts again.
//    With more than one thread (ExternalSorterOptions::Threads), a large run
//    is split the same way, in parallel: each thread counts, then scatters,
//    its own slice of the records (a thread's records land after those of the
//    threads before it in every bucket), and the buckets are then sorted by
//    the threads, the largest first, each taking the next one left. The
//    threads share the two buffers, so the memory is the same as with one,
//    and since records are ordered by all their bytes, the sorted run is the
//    same too.
// 3. Spilling. Runs go to one spill file per merge generation, created in the
//    database folder without a name (O_TMPFILE), so it vanishes when it is
//    closed, after an error, in the destructor, or when the process dies.
//    Where the file system cannot do that, the file is named and removed at
//    once, so only the open descriptor keeps it.
// 4. Merging. If everything fitted in one buffer, nothing was spilled and the
//    sorted buffer is read in place. Otherwise the last run is spilled too, the
//    sort buffers are freed, and runs are merged with a loser tree over one
//    read buffer per run, the budget shared between the buffers. Up to
//    `fan-in` runs (budget / 256 KiB, at least 2) merge at a time; while more
//    runs remain, passes merge groups of fan-in runs into a new spill file.
//    The final merge feeds Next() directly, record by record.
//
// Worked example: budget 16 MiB, 21-byte records (a 17-byte key and a record
// number), 5,000,000 records. A run holds 8 MiB / 21 = 399,457 records, so
// filling spills 13 runs (12 full and a last one of 206,516). The fan-in is
// 16 MiB / 256 KiB = 64 >= 13, so no merge pass is needed: the final merge
// reads the 13 runs through 13 buffers of 1.2 MiB each. Peak memory: the two
// 8 MiB buffers while sorting, then 16 MiB of merge buffers.
#include "engine/index/ExternalSorter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>

#include "engine/util/FileIo.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

namespace {

constexpr uint64_t kMinMergeBuffer = 256 * 1024;  // smallest read buffer worth a merge way
constexpr uint64_t kHugePageWorthy = 4 << 20;     // buffers this large ask for huge pages
constexpr size_t kInsertionSortBelow = 16;        // buckets this small are insertion sorted
constexpr size_t kParallelSortFrom = 1 << 14;     // runs this large are sorted by all threads

std::string ErrnoText(int error) {
  return std::strerror(error);
}

// Insertion sort of `count` records of `size` bytes at `base`, comparing from
// byte `depth` on (the bytes before it are equal).
void InsertionSort(uint8_t* base, size_t count, size_t size, size_t depth, uint8_t* hold) {
  for (size_t i = 1; i < count; ++i) {
    uint8_t* current = base + i * size;
    size_t j = i;
    while (j > 0 && std::memcmp(base + (j - 1) * size + depth, current + depth, size - depth) > 0)
      --j;
    if (j == i) continue;
    std::memcpy(hold, current, size);
    std::memmove(base + (j + 1) * size, base + j * size, (i - j) * size);
    std::memcpy(base + j * size, hold, size);
  }
}

// A range of records to sort from byte `depth` on.
struct SortTask {
  uint8_t* from;    // where the records are now
  uint8_t* other;   // the same range in the other buffer
  size_t count;     // records
  size_t depth;     // first byte not known to be equal
  bool in_records;  // whether `from` lies in the buffer the result must end in
};

// Most-significant-byte radix sort of the records of `first`, whose result
// ends in the buffer the task calls the records'.
void RadixSortTask(const SortTask& first, size_t size) {
  using Task = SortTask;
  std::vector<Task> stack;
  stack.push_back(first);
  std::vector<uint8_t> hold(size);
  size_t counts[256];
  size_t starts[256];
  while (!stack.empty()) {
    Task task = stack.back();
    stack.pop_back();
    while (true) {
      if (task.count <= kInsertionSortBelow || task.depth >= size) {
        if (task.depth < size) InsertionSort(task.from, task.count, size, task.depth, hold.data());
        if (!task.in_records) std::memcpy(task.other, task.from, task.count * size);
        break;
      }
      std::memset(counts, 0, sizeof counts);
      const uint8_t* byte = task.from + task.depth;
      for (size_t i = 0; i < task.count; ++i, byte += size) ++counts[*byte];
      if (counts[task.from[task.depth]] == task.count) {
        ++task.depth;  // every record has this byte: nothing to move
        continue;
      }
      size_t position = 0;
      for (int b = 0; b < 256; ++b) {
        starts[b] = position;
        position += counts[b];
      }
      const uint8_t* source = task.from;
      for (size_t i = 0; i < task.count; ++i, source += size) {
        std::memcpy(task.other + starts[source[task.depth]]++ * size, source, size);
      }
      // The buckets now lie in `other`; sort each on the next byte.
      position = 0;
      for (int b = 0; b < 256; ++b) {
        if (counts[b] == 0) continue;
        stack.push_back({task.other + position * size, task.from + position * size, counts[b],
                         task.depth + 1, !task.in_records});
        position += counts[b];
      }
      break;
    }
  }
}

// Radix sort of `count` records at `records`, using `scratch` (as large) as
// the second buffer. The result ends in `records`.
void RadixSort(uint8_t* records, uint8_t* scratch, size_t count, size_t size) {
  RadixSortTask({records, scratch, count, 0, true}, size);
}

// Runs work(0) .. work(threads - 1), each on a thread of its own, the last on
// the calling one. A thread the system refuses runs its share here instead.
void RunOnThreads(uint32_t threads, const std::function<void(uint32_t)>& work) {
  std::vector<std::thread> started;
  std::vector<uint32_t> refused;
  for (uint32_t t = 0; t + 1 < threads; ++t) {
    try {
      started.emplace_back(work, t);
    } catch (const std::system_error&) {
      refused.push_back(t);
    }
  }
  work(threads - 1);
  for (uint32_t t : refused) work(t);
  for (std::thread& thread : started) thread.join();
}

// RadixSort on `threads` threads (see the note at the top of the file).
void ParallelRadixSort(uint8_t* records, uint8_t* scratch, size_t count, size_t size,
                       uint32_t threads) {
  if (threads <= 1 || count < kParallelSortFrom) return RadixSort(records, scratch, count, size);
  using Counts = std::array<size_t, 256>;
  const size_t slice = (count + threads - 1) / threads;
  auto first_of = [&](uint32_t t) { return std::min(count, size_t{t} * slice); };
  std::vector<Counts> counts(threads);
  Counts total{};
  size_t depth = 0;
  for (;; ++depth) {
    if (depth == size) return;  // every record is the same
    RunOnThreads(threads, [&](uint32_t t) {
      Counts& mine = counts[t];
      mine.fill(0);
      const uint8_t* byte = records + first_of(t) * size + depth;
      for (size_t i = first_of(t); i < first_of(t + 1); ++i, byte += size) ++mine[*byte];
    });
    total.fill(0);
    for (const Counts& mine : counts)
      for (int b = 0; b < 256; ++b) total[b] += mine[b];
    if (total[records[depth]] != count) break;  // the records differ in this byte
  }
  // Where each thread's records of each bucket go in `scratch`.
  std::vector<Counts> starts(threads);
  size_t position = 0;
  for (int b = 0; b < 256; ++b) {
    for (uint32_t t = 0; t < threads; ++t) {
      starts[t][b] = position;
      position += counts[t][b];
    }
  }
  RunOnThreads(threads, [&](uint32_t t) {
    Counts& next = starts[t];
    const uint8_t* source = records + first_of(t) * size;
    for (size_t i = first_of(t); i < first_of(t + 1); ++i, source += size) {
      std::memcpy(scratch + next[source[depth]]++ * size, source, size);
    }
  });
  std::vector<SortTask> buckets;
  position = 0;
  for (int b = 0; b < 256; ++b) {
    if (total[b] == 0) continue;
    buckets.push_back(
        {scratch + position * size, records + position * size, total[b], depth + 1, false});
    position += total[b];
  }
  std::stable_sort(buckets.begin(), buckets.end(),
                   [](const SortTask& a, const SortTask& b) { return a.count > b.count; });
  std::atomic<size_t> next_bucket{0};
  RunOnThreads(threads, [&](uint32_t) {
    for (size_t i = next_bucket.fetch_add(1); i < buckets.size(); i = next_bucket.fetch_add(1)) {
      RadixSortTask(buckets[i], size);
    }
  });
}

Status WriteAll(int fd, const uint8_t* data, uint64_t size, uint64_t offset) {
  const FileIoResult written = WriteFully(fd, data, size, offset);
  if (written.Errno != 0) {
    return Status(AE_INDEX_SORT_IO,
                  "Cannot write a temporary sort file: " + ErrnoText(written.Errno));
  }
  return Status::Ok();
}

Status ReadAll(int fd, uint8_t* data, uint64_t size, uint64_t offset) {
  const FileIoResult read = ReadFully(fd, data, size, offset);
  if (read.Errno != 0) {
    return Status(AE_INDEX_SORT_IO, "Cannot read a temporary sort file: " + ErrnoText(read.Errno));
  }
  if (read.Ended) return Status(AE_INDEX_SORT_IO, "A temporary sort file ended early");
  return Status::Ok();
}

}  // namespace

// Merges sorted runs of one spill file with a loser tree.
class ExternalSorter::Merger {
 public:
  // `buffer_bytes` is the memory for all read buffers together.
  Merger(int fd, std::vector<Run> runs, uint32_t record_size, uint64_t buffer_bytes)
      : fd_(fd), size_(record_size), ways_(runs.size()) {
    const uint64_t per_way = std::max<uint64_t>(1, buffer_bytes / ways_ / size_);
    for (const Run& run : runs) {
      Way way;
      way.offset = run.Offset;
      way.left = run.Count;
      way.capacity =
          static_cast<size_t>(std::min<uint64_t>(per_way, std::max<uint64_t>(run.Count, 1)));
      way.buffer.reset(new uint8_t[way.capacity * size_]);
      ways_list_.push_back(std::move(way));
    }
  }

  Status Start() {
    for (size_t w = 0; w < ways_; ++w) {
      if (Status status = Refill(ways_list_[w]); !status.ok()) return status;
    }
    // Build the tree: winners of each subtree bottom-up, losers kept.
    losers_.assign(ways_, 0);
    std::vector<size_t> winners(2 * ways_);
    for (size_t w = 0; w < ways_; ++w) winners[ways_ + w] = w;
    for (size_t node = ways_ - 1; node >= 1; --node) {
      const size_t left = winners[2 * node];
      const size_t right = winners[2 * node + 1];
      if (Less(right, left)) {
        winners[node] = right;
        losers_[node] = left;
      } else {
        winners[node] = left;
        losers_[node] = right;
      }
    }
    winner_ = ways_ == 1 ? 0 : winners[1];
    return Status::Ok();
  }

  // The smallest record, or nullptr when every run is exhausted.
  Status Next(const uint8_t*& record) {
    if (advance_) {
      if (Status status = Advance(ways_list_[winner_]); !status.ok()) return status;
      size_t current = winner_;
      for (size_t node = (ways_ + winner_) / 2; node >= 1; node /= 2) {
        if (Less(losers_[node], current)) std::swap(losers_[node], current);
      }
      winner_ = current;
    }
    const Way& way = ways_list_[winner_];
    if (way.at == way.filled) {
      record = nullptr;
      advance_ = false;
      return Status::Ok();
    }
    record = way.buffer.get() + way.at * size_;
    advance_ = true;
    return Status::Ok();
  }

 private:
  struct Way {
    uint64_t offset = 0;  // next byte to read from the file
    uint64_t left = 0;    // records not yet read into the buffer
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;  // records the buffer holds
    size_t filled = 0;    // records in the buffer
    size_t at = 0;        // current record in the buffer
  };

  Status Refill(Way& way) {
    way.at = 0;
    way.filled = static_cast<size_t>(std::min<uint64_t>(way.left, way.capacity));
    if (way.filled == 0) return Status::Ok();
    const uint64_t bytes = uint64_t{way.filled} * size_;
    if (Status status = ReadAll(fd_, way.buffer.get(), bytes, way.offset); !status.ok())
      return status;
    way.offset += bytes;
    way.left -= way.filled;
    return Status::Ok();
  }

  Status Advance(Way& way) {
    if (way.at < way.filled) ++way.at;
    if (way.at == way.filled && way.left > 0) return Refill(way);
    return Status::Ok();
  }

  // Whether way `a`'s record comes before way `b`'s; an exhausted way comes last.
  bool Less(size_t a, size_t b) const {
    const Way& x = ways_list_[a];
    const Way& y = ways_list_[b];
    if (x.at == x.filled) return false;
    if (y.at == y.filled) return true;
    const int order =
        std::memcmp(x.buffer.get() + x.at * size_, y.buffer.get() + y.at * size_, size_);
    return order < 0 || (order == 0 && a < b);
  }

  int fd_;
  uint32_t size_;
  size_t ways_;
  std::vector<Way> ways_list_;
  std::vector<size_t> losers_;  // losers_[node] for nodes 1..ways-1
  size_t winner_ = 0;
  bool advance_ = false;  // the winner's record was handed out and must be passed
};

ExternalSorter::ExternalSorter(ExternalSorterOptions options)
    : record_size_(options.RecordSize),
      memory_bytes_(options.MemoryBytes),
      threads_(std::max<uint32_t>(1, options.Threads)),
      temp_folder_(std::move(options.TempFolder)),
      temp_prefix_(std::move(options.TempNamePrefix)) {
  if (record_size_ == 0) {
    record_size_ = 1;
    Fail(Status(AE_INDEX_BUILDER_STATE, "The sort was given a record size of 0"));
  }
  // Half the budget holds the records of one run, the other half is the
  // second buffer of the radix sort; a run holds at least 16 records.
  run_records_ = std::max<uint64_t>(16, memory_bytes_ / 2 / record_size_);
}

ExternalSorter::~ExternalSorter() {
  Abandon();
}

void ExternalSorter::Fail(Status status) {
  if (status_.ok()) status_ = std::move(status);
}

void ExternalSorter::FreeBuffers() {
  records_.Free();
  scratch_.Free();
  capacity_ = 0;
  filled_ = 0;
}

void ExternalSorter::Abandon() {
  merger_.reset();
  FreeBuffers();
  if (spill_fd_ >= 0) {
    close(spill_fd_);  // unnamed: closing removes it
    spill_fd_ = -1;
  }
  runs_.clear();
  if (!abandoned_ && status_.ok()) {
    Fail(Status(AE_INDEX_BUILDER_STATE, "The sort was abandoned"));
  }
  abandoned_ = true;
}

bool ExternalSorter::PageBuffer::Allocate(uint64_t bytes) {
  Free();
  void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return false;
  // Fewer page faults while filling; only a hint, so its answer does not matter.
  if (bytes >= kHugePageWorthy) madvise(data, bytes, MADV_HUGEPAGE);
  data_ = static_cast<uint8_t*>(data);
  size_ = bytes;
  return true;
}

void ExternalSorter::PageBuffer::Free() {
  if (data_) munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

uint8_t* ExternalSorter::Append() {
  if (status_.ok() && (finished_ || abandoned_))
    Fail(Status(AE_INDEX_BUILDER_STATE, "A record was added after the sort finished"));
  if (status_.ok() && !records_) {
    if (records_.Allocate(run_records_ * record_size_)) {
      capacity_ = run_records_;
    } else {
      Fail(Status(AE_INDEX_SORT_IO, "Cannot get " +
                                        std::to_string(run_records_ * record_size_ >> 20) +
                                        " MiB of memory for sorting"));
    }
  }
  if (status_.ok() && filled_ == capacity_) SpillRun();
  if (!status_.ok()) {
    if (!dummy_) dummy_.reset(new uint8_t[record_size_]);
    return dummy_.get();
  }
  ++count_;
  return records_.get() + filled_++ * record_size_;
}

void ExternalSorter::Add(const uint8_t* record) {
  std::memcpy(Append(), record, record_size_);
}

Result<int> ExternalSorter::CreateSpillFile() {
  const std::string folder = temp_folder_.empty() ? "." : temp_folder_;
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return Status(AE_INDEX_SORT_IO,
                  "Cannot create a temporary sort file in " + folder + ": " + ErrnoText(errno));
  }
  // No unnamed files here: name one and remove the name at once.
  static std::atomic<uint32_t> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "/" + temp_prefix_ + ".~sort-" + std::to_string(getpid()) +
                             "-" + std::to_string(serial.fetch_add(1)) + ".tmp";
    fd = open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      unlink(name.c_str());
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return Status(AE_INDEX_SORT_IO,
                "Cannot create a temporary sort file in " + folder + ": " + ErrnoText(errno));
}

void ExternalSorter::SpillRun() {
  if (filled_ == 0) return;
  if (spill_fd_ < 0) {
    Result<int> fd = CreateSpillFile();
    if (!fd.ok()) return Fail(fd.status());
    spill_fd_ = *fd;
    spill_size_ = 0;
  }
  if (!scratch_ && !scratch_.Allocate(capacity_ * record_size_)) {
    return Fail(Status(AE_INDEX_SORT_IO, "Cannot get memory for sorting"));
  }
  ParallelRadixSort(records_.get(), scratch_.get(), filled_, record_size_, threads_);
  const uint64_t bytes = filled_ * record_size_;
  if (Status status = WriteAll(spill_fd_, records_.get(), bytes, spill_size_); !status.ok())
    return Fail(status);
  runs_.push_back(Run{spill_size_, filled_});
  spill_size_ += bytes;
  ++run_count_;
  filled_ = 0;
}

Status ExternalSorter::MergePass() {
  Result<int> created = CreateSpillFile();
  if (!created.ok()) return created.status();
  const int out_fd = *created;
  const uint64_t fan_in = std::max<uint64_t>(2, memory_bytes_ / kMinMergeBuffer);
  // Each group shares the budget between its read buffers and one write buffer.
  std::vector<Run> merged;
  uint64_t out_size = 0;
  Status status;
  for (size_t first = 0; first < runs_.size() && status.ok(); first += fan_in) {
    const size_t last = std::min<size_t>(runs_.size(), first + fan_in);
    std::vector<Run> group(runs_.begin() + static_cast<ptrdiff_t>(first),
                           runs_.begin() + static_cast<ptrdiff_t>(last));
    const uint64_t share = memory_bytes_ / (group.size() + 1);
    const uint64_t out_records = std::max<uint64_t>(1, share / record_size_);
    std::unique_ptr<uint8_t[]> out(new uint8_t[out_records * record_size_]);
    Merger merger(spill_fd_, group, record_size_, share * group.size());
    status = merger.Start();
    Run run{out_size, 0};
    uint64_t held = 0;
    while (status.ok()) {
      const uint8_t* record = nullptr;
      status = merger.Next(record);
      if (!status.ok() || record == nullptr) break;
      std::memcpy(out.get() + held * record_size_, record, record_size_);
      if (++held == out_records) {
        status = WriteAll(out_fd, out.get(), held * record_size_, out_size);
        out_size += held * record_size_;
        run.Count += held;
        held = 0;
      }
    }
    if (status.ok() && held > 0) {
      status = WriteAll(out_fd, out.get(), held * record_size_, out_size);
      out_size += held * record_size_;
      run.Count += held;
    }
    merged.push_back(run);
  }
  close(spill_fd_);  // the previous generation is merged: closing removes it
  spill_fd_ = out_fd;
  spill_size_ = out_size;
  runs_ = std::move(merged);
  ++merge_passes_;
  return status;
}

Status ExternalSorter::Finish() {
  if (status_.ok() && (finished_ || abandoned_))
    Fail(Status(AE_INDEX_BUILDER_STATE, "The sort was finished twice"));
  if (!status_.ok()) return status_;
  finished_ = true;
  if (runs_.empty()) {
    // Everything fitted in memory: sort in place and read from the buffer.
    if (filled_ > 1) {
      if (!scratch_.Allocate(filled_ * record_size_)) {
        Fail(Status(AE_INDEX_SORT_IO, "Cannot get memory for sorting"));
        return status_;
      }
      ParallelRadixSort(records_.get(), scratch_.get(), filled_, record_size_, threads_);
      scratch_.Free();
    }
    next_in_memory_ = 0;
    return status_;
  }
  SpillRun();
  FreeBuffers();
  if (!status_.ok()) return status_;
  const uint64_t fan_in = std::max<uint64_t>(2, memory_bytes_ / kMinMergeBuffer);
  while (runs_.size() > fan_in) {
    if (Status status = MergePass(); !status.ok()) {
      Fail(status);
      return status_;
    }
  }
  merger_ = std::make_unique<Merger>(spill_fd_, runs_, record_size_, memory_bytes_);
  if (Status status = merger_->Start(); !status.ok()) Fail(status);
  return status_;
}

Status ExternalSorter::Next(const uint8_t*& record) {
  record = nullptr;
  if (status_.ok() && !finished_)
    Fail(Status(AE_INDEX_BUILDER_STATE, "The sort was read before it finished"));
  if (!status_.ok()) return status_;
  if (merger_) {
    if (Status status = merger_->Next(record); !status.ok()) {
      Fail(status);
      record = nullptr;
    }
    return status_;
  }
  if (next_in_memory_ < filled_) record = records_.get() + next_in_memory_++ * record_size_;
  return status_;
}

}  // namespace engine
