// The floor of an index build on this machine: the least its parts could
// cost, each timed on its own, for the benchmark to set our build against.
//
//   index_floor TABLE.ADT KEY INDEX_BYTES THREADS
//
// KEY is the key's fields ("RECID", "LASTNAME;FIRSTNAME", ...) or
// "words:FIELD" for the words of a full-text tag. The parts:
//   read     the table's records, read from the page cache in 1 MiB reads
//            (the benchmark has just read the file, so it is cached)
//   extract  every live record's key: the fields' bytes as they are stored,
//            copied side by side with the record number behind them; for
//            words, each blank-separated word of the field looked up in a
//            hash table of the words seen (its number, in the order the words
//            sort) and paired with the record number
//   sort     the keys sorted in memory with the engine's sort (the external
//            sorter with memory for all of them, on THREADS threads)
//   write    INDEX_BYTES (the size of our index file) written in 1 MiB
//            writes to a new file beside the table, synced and removed
// Prints one line: "read extract sort write total" in seconds.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/env/Connection.h"
#include "engine/index/ExternalSorter.h"
#include "engine/record/Record.h"
#include "engine/table/Table.h"

namespace {

constexpr size_t kChunk = 1 << 20;

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "index_floor: %s\n", message.c_str());
  return 1;
}

void PutBigEndian(uint8_t* at, uint32_t value) {
  for (int k = 0; k < 4; ++k) at[k] = static_cast<uint8_t>(value >> (24 - 8 * k));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: index_floor TABLE.ADT KEY INDEX_BYTES THREADS\n");
    return 2;
  }
  const std::string path = argv[1];
  std::string key = argv[2];
  const uint64_t index_bytes = std::stoull(argv[3]);
  const uint32_t threads = static_cast<uint32_t>(std::stoul(argv[4]));
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

  // The layout of the records, from the table's header.
  auto connection = engine::Connection::Connect(folder);
  if (!connection.ok()) return Fail(connection.status().Message());
  auto table = engine::Table::Open(**connection, name, engine::OpenMode::Shared);
  if (!table.ok()) return Fail(table.status().Message());
  const engine::TableSchema& schema = (*table)->Schema();
  const uint32_t length = schema.RecordLength();
  const uint32_t count = (*table)->RecordCount();
  const uint64_t first = (*table)->Header().HeaderSize;
  const bool words = key.rfind("words:", 0) == 0;
  if (words) key.erase(0, 6);
  std::vector<engine::FieldInfo> parts;
  for (size_t start = 0; start <= key.size();) {
    const size_t end = std::min(key.find(';', start), key.size());
    const auto field = schema.FindField(key.substr(start, end - start));
    if (!field) return Fail("no field " + key.substr(start, end - start));
    parts.push_back(schema.Field(*field));
    start = end + 1;
  }
  uint32_t key_bytes = 4;
  for (const auto& part : parts) key_bytes += part.Length;
  if (words) key_bytes = 8;

  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return Fail("cannot open " + path);
  engine::ExternalSorterOptions options;
  options.RecordSize = key_bytes;
  options.MemoryBytes = std::max<uint64_t>(64ull << 20, uint64_t{count} * key_bytes * 64);
  options.TempFolder = folder;
  options.Threads = threads;
  engine::ExternalSorter sorter(options);

  // Read and extract, chunk by chunk, timed apart.
  const size_t per_chunk = std::max<size_t>(1, kChunk / length);
  std::vector<uint8_t> buffer(per_chunk * length);
  std::unordered_map<std::string_view, uint32_t> word_numbers;
  std::deque<std::string> word_texts;  // the map's keys point into these
  double read = 0;
  double extract = 0;
  for (uint32_t recno = 1; recno <= count;) {
    const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(per_chunk, count - recno + 1));
    auto t0 = std::chrono::steady_clock::now();
    const ssize_t got =
        pread(fd, buffer.data(), size_t{take} * length, first + uint64_t{recno - 1} * length);
    if (got != static_cast<ssize_t>(size_t{take} * length)) return Fail("short read");
    read += Seconds(t0);
    t0 = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < take; ++i, ++recno) {
      const uint8_t* record = buffer.data() + size_t{i} * length;
      if (record[0] != engine::kRecordLive) continue;  // deleted
      if (!words) {
        uint8_t* slot = sorter.Append();
        for (const auto& part : parts) {
          std::memcpy(slot, record + part.Offset, part.Length);
          slot += part.Length;
        }
        PutBigEndian(slot, recno);
        continue;
      }
      const char* text = reinterpret_cast<const char*>(record + parts[0].Offset);
      std::string_view rest(text, parts[0].Length);
      while (!rest.empty()) {
        const size_t blank = rest.find(' ');
        const std::string_view word = rest.substr(0, blank);
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        if (word.empty()) continue;
        auto found = word_numbers.find(word);
        if (found == word_numbers.end()) {
          word_texts.emplace_back(word);
          found = word_numbers
                      .emplace(std::string_view(word_texts.back()),
                               static_cast<uint32_t>(word_texts.size() - 1))
                      .first;
        }
        uint8_t* slot = sorter.Append();
        PutBigEndian(slot, found->second);
        PutBigEndian(slot + 4, recno);
      }
    }
    extract += Seconds(t0);
  }
  close(fd);
  if (words) {
    // Word numbers in the order the words sort, as a full-text tag lists them.
    auto t0 = std::chrono::steady_clock::now();
    std::vector<uint32_t> order(word_texts.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return word_texts[a] < word_texts[b]; });
    extract += Seconds(t0);
  }

  auto t0 = std::chrono::steady_clock::now();
  if (engine::Status status = sorter.Finish(); !status.ok()) return Fail(status.Message());
  const double sort = Seconds(t0);

  // Write the sorted keys, as many times over as the index file's size takes.
  const std::string out_path = folder + "/index_floor.tmp";
  t0 = std::chrono::steady_clock::now();
  const int out = open(out_path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (out < 0) return Fail("cannot create " + out_path);
  std::vector<uint8_t> page(kChunk);
  size_t filled = 0;
  uint64_t written = 0;
  const uint8_t* record = nullptr;
  while (written < index_bytes) {
    if (!sorter.Next(record).ok()) return Fail("sort failed");
    if (!record) {  // start over: the file is larger than the keys
      sorter.Abandon();
      break;
    }
    const size_t take = std::min<size_t>(key_bytes, page.size() - filled);
    std::memcpy(page.data() + filled, record, take);
    filled += take;
    if (filled == page.size()) {
      const size_t bytes =
          static_cast<size_t>(std::min<uint64_t>(page.size(), index_bytes - written));
      if (write(out, page.data(), bytes) != static_cast<ssize_t>(bytes))
        return Fail("write failed");
      written += bytes;
      filled = 0;
    }
  }
  while (written < index_bytes) {
    const size_t bytes =
        static_cast<size_t>(std::min<uint64_t>(page.size(), index_bytes - written));
    if (write(out, page.data(), bytes) != static_cast<ssize_t>(bytes)) return Fail("write failed");
    written += bytes;
  }
  if (fsync(out) != 0) return Fail("fsync failed");
  close(out);
  const double write_time = Seconds(t0);
  unlink(out_path.c_str());

  std::printf("%.3f %.3f %.3f %.3f %.3f\n", read, extract, sort, write_time,
              read + extract + sort + write_time);
  return 0;
}
