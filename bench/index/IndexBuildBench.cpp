// Index builds: the keys of N rows encoded, sorted and bulk-loaded into an
// index file (synced and renamed into place), against the floor of a plain
// std::sort of N 24-byte keys in the same run.
//
//   index_bench [benchmark flags]
//       Rows from the gen.py CSV named by RI_BENCH_CSV (for example
//       /tmp/crm_1000000.csv), else RI_BENCH_ROWS synthetic rows (default
//       1,000,000). Index files go to RI_BENCH_DIR (default /tmp).
//   index_bench --peak EXPRESSION ROWS SORT_MIB
//       One build of a tag over synthetic rows made on the fly (nothing held
//       in memory but the build's own), printing the build's peak resident
//       memory above the resident memory before it.
#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/index/IndexBuilder.h"
#include "engine/indexfile/IndexFileWriter.h"

namespace {

using engine::KeyField;
using engine::KeyPartType;
using engine::KeyValue;

// The fields of the benchmark table, with the lengths dbtool import gives them.
const std::vector<KeyField> kFields = {
    {"RECID", KeyPartType::Character, 16},     {"LASTNAME", KeyPartType::Character, 16},
    {"FIRSTNAME", KeyPartType::Character, 16}, {"ZIP", KeyPartType::Character, 5},
    {"SCORE", KeyPartType::Integer, 0},
};

// Rows held as the table holds them: blank-padded fixed-length texts.
struct Rows {
  std::vector<std::array<char, 16>> recid, lastname, firstname;
  std::vector<std::array<char, 5>> zip;
  std::vector<int32_t> score;
  size_t Count() const { return score.size(); }
};

template <size_t N>
std::array<char, N> Padded(std::string_view text) {
  std::array<char, N> out;
  out.fill(' ');
  std::memcpy(out.data(), text.data(), std::min(N, text.size()));
  return out;
}

uint64_t Mix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Synthetic rows shaped like gen.py's: unique 16-hex record ids, names from
// pools of 30000 and 3000 with skewed frequencies, uniform zip and score.
class SyntheticRows {
 public:
  SyntheticRows() : random_(42) {
    for (int i = 0; i < 30000; ++i)
      last_.push_back(Word(5 + static_cast<int>(random_() % 7), true));
    for (int i = 0; i < 3000; ++i)
      first_.push_back(Word(3 + static_cast<int>(random_() % 6), true));
  }
  void Row(uint64_t i, std::array<char, 16>& recid, std::array<char, 16>& last,
           std::array<char, 16>& first, std::array<char, 5>& zip, int32_t& score) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Mix64(i)));
    recid = Padded<16>(hex);
    const uint64_t r = Mix64(i ^ 0xABCDEF);
    last = Padded<16>(last_[Skewed(r, last_.size())]);
    first = Padded<16>(first_[Skewed(r >> 20, first_.size())]);
    char digits[6];
    std::snprintf(digits, sizeof digits, "%05u", static_cast<unsigned>((r >> 40) % 100000));
    zip = Padded<5>(digits);
    score = static_cast<int32_t>((r >> 8) % 1000000);
  }

 private:
  std::string Word(int length, bool capital) {
    std::string word;
    for (int i = 0; i < length; ++i) word += static_cast<char>('a' + random_() % 26);
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    return word;
  }
  static size_t Skewed(uint64_t r, size_t size) {
    const double u = static_cast<double>(r & 0xFFFFF) / 0x100000;
    return std::min(size - 1, static_cast<size_t>(u * u * u * static_cast<double>(size)));
  }
  std::mt19937_64 random_;
  std::vector<std::string> last_, first_;
};

Rows LoadRows() {
  Rows rows;
  if (const char* csv = std::getenv("RI_BENCH_CSV")) {
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);  // header
    std::vector<std::string_view> cells;
    while (std::getline(in, line)) {
      cells.clear();
      size_t start = 0;
      while (true) {
        const size_t comma = line.find(',', start);
        cells.emplace_back(line.data() + start,
                           (comma == std::string::npos ? line.size() : comma) - start);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      if (cells.size() < 7) continue;
      rows.recid.push_back(Padded<16>(cells[0]));
      rows.lastname.push_back(Padded<16>(cells[1]));
      rows.firstname.push_back(Padded<16>(cells[2]));
      rows.zip.push_back(Padded<5>(cells[4]));
      rows.score.push_back(
          static_cast<int32_t>(std::strtol(std::string(cells[6]).c_str(), nullptr, 10)));
    }
    return rows;
  }
  const char* count_text = std::getenv("RI_BENCH_ROWS");
  const size_t count = count_text ? std::strtoull(count_text, nullptr, 10) : 1000000;
  SyntheticRows synthetic;
  rows.recid.resize(count);
  rows.lastname.resize(count);
  rows.firstname.resize(count);
  rows.zip.resize(count);
  rows.score.resize(count);
  for (size_t i = 0; i < count; ++i) {
    synthetic.Row(i, rows.recid[i], rows.lastname[i], rows.firstname[i], rows.zip[i],
                  rows.score[i]);
  }
  return rows;
}

const Rows& TheRows() {
  static const Rows rows = LoadRows();
  return rows;
}

std::string BenchFolder() {
  const char* folder = std::getenv("RI_BENCH_DIR");
  return folder ? folder : "/tmp";
}

KeyValue ValueOf(const Rows& rows, size_t row, uint32_t field) {
  switch (field) {
    case 0:
      return KeyValue::Char({rows.recid[row].data(), 16});
    case 1:
      return KeyValue::Char({rows.lastname[row].data(), 16});
    case 2:
      return KeyValue::Char({rows.firstname[row].data(), 16});
    case 3:
      return KeyValue::Char({rows.zip[row].data(), 5});
    default:
      return KeyValue::Integer(rows.score[row]);
  }
}

struct TagCase {
  const char* name;
  const char* expression;
  bool unique;
};
const TagCase kRecid{"PRIMARY", "RECID", true};
const TagCase kName{"NAME", "LASTNAME;FIRSTNAME", false};
const TagCase kZip{"ZIP", "ZIP;SCORE", false};

// Scans the rows into a builder and adds the tag to the index file.
void BuildTag(const Rows& rows, const std::string& path, const TagCase& tag, uint64_t sort_memory,
              benchmark::State* state) {
  engine::IndexTagDefinition definition;
  definition.Name = tag.name;
  definition.Expression = tag.expression;
  definition.Options.Unique = tag.unique;
  engine::IndexBuildSettings settings;
  settings.IndexPath = path;
  settings.SortMemoryBytes = sort_memory;
  auto builder = engine::IndexBuilder::Create(definition, kFields, settings);
  if (!builder.ok()) {
    if (state) state->SkipWithError(builder.status().Message().c_str());
    return;
  }
  const auto& parts = (*builder)->Key().Parts();
  std::vector<KeyValue> values(parts.size());
  for (size_t r = 0; r < rows.Count(); ++r) {
    for (size_t p = 0; p < parts.size(); ++p) values[p] = ValueOf(rows, r, parts[p].FieldIndex);
    (*builder)->Add(static_cast<uint32_t>(r + 1), values);
  }
  if (engine::Status status = engine::AddIndexTag(path, **builder); !status.ok() && state) {
    state->SkipWithError(status.Message().c_str());
  }
}

void BM_StdSortFloor(benchmark::State& state) {
  const size_t count = TheRows().Count();
  std::vector<std::array<uint8_t, 24>> keys(count);
  std::mt19937_64 random(7);
  for (auto& key : keys) {
    for (auto& b : key) b = static_cast<uint8_t>(random());
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto copy = keys;
    state.ResumeTiming();
    std::sort(copy.begin(), copy.end());
    benchmark::DoNotOptimize(copy.data());
  }
  state.counters["rows"] = static_cast<double>(count);
}

void BM_SortOnly(benchmark::State& state) {
  const Rows& rows = TheRows();
  const uint64_t memory = static_cast<uint64_t>(state.range(0)) << 20;
  uint64_t runs = 0;
  for (auto _ : state) {
    engine::ExternalSorter sorter({17 + 4, memory, BenchFolder(), "bench"});
    for (size_t r = 0; r < rows.Count(); ++r) {
      uint8_t* slot = sorter.Append();
      slot[0] = 1;
      std::memcpy(slot + 1, rows.recid[r].data(), 16);
      std::memcpy(slot + 17, &r, 4);
    }
    if (!sorter.Finish().ok()) state.SkipWithError("sort failed");
    const uint8_t* record = nullptr;
    uint64_t seen = 0;
    while (sorter.Next(record).ok() && record) ++seen;
    benchmark::DoNotOptimize(seen);
    runs = sorter.RunCount();
  }
  state.counters["runs"] = static_cast<double>(runs);
}

void BM_BuildTag(benchmark::State& state, const TagCase* tag) {
  const Rows& rows = TheRows();
  const std::string path = BenchFolder() + "/ri_index_bench.Adi";
  const uint64_t memory = static_cast<uint64_t>(state.range(0)) << 20;
  for (auto _ : state) {
    state.PauseTiming();
    unlink(path.c_str());
    state.ResumeTiming();
    BuildTag(rows, path, *tag, memory, &state);
  }
  unlink(path.c_str());
}

void BM_BuildAllThree(benchmark::State& state) {
  const Rows& rows = TheRows();
  const std::string path = BenchFolder() + "/ri_index_bench.Adi";
  const uint64_t memory = static_cast<uint64_t>(state.range(0)) << 20;
  for (auto _ : state) {
    state.PauseTiming();
    unlink(path.c_str());
    state.ResumeTiming();
    for (const TagCase* tag : {&kRecid, &kName, &kZip}) BuildTag(rows, path, *tag, memory, &state);
  }
  unlink(path.c_str());
}

BENCHMARK(BM_StdSortFloor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortOnly)->Arg(64)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_BuildTag, recid, &kRecid)
    ->Arg(64)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_BuildTag, name, &kName)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_BuildTag, zip_score, &kZip)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_BuildAllThree)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(3);

uint64_t ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

// One streamed build; prints its peak resident memory above the start.
int PeakMode(const std::string& expression, uint64_t count, uint64_t sort_mib) {
  TagCase tag{"T", nullptr, expression == "RECID"};
  tag.expression = expression.c_str();
  SyntheticRows synthetic;
  const std::string path = BenchFolder() + "/ri_index_peak.Adi";
  unlink(path.c_str());
  const uint64_t before = ResidentKiB();
  engine::IndexTagDefinition definition{tag.name, tag.expression, {}};
  definition.Options.Unique = tag.unique;
  engine::IndexBuildSettings settings{path, sort_mib << 20, nullptr};
  auto builder = engine::IndexBuilder::Create(definition, kFields, settings);
  if (!builder.ok()) {
    std::fprintf(stderr, "%s\n", builder.status().Message().c_str());
    return 2;
  }
  Rows one;
  one.recid.resize(1);
  one.lastname.resize(1);
  one.firstname.resize(1);
  one.zip.resize(1);
  one.score.resize(1);
  const auto& parts = (*builder)->Key().Parts();
  std::vector<KeyValue> values(parts.size());
  for (uint64_t i = 0; i < count; ++i) {
    synthetic.Row(i, one.recid[0], one.lastname[0], one.firstname[0], one.zip[0], one.score[0]);
    for (size_t p = 0; p < parts.size(); ++p) values[p] = ValueOf(one, 0, parts[p].FieldIndex);
    (*builder)->Add(static_cast<uint32_t>(i + 1), values);
  }
  const engine::Status status = engine::AddIndexTag(path, **builder);
  const uint32_t runs = (*builder)->Sorter().RunCount();
  builder->reset();
  unlink(path.c_str());
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  const double peak_mib =
      static_cast<double>(static_cast<uint64_t>(usage.ru_maxrss) - before) / 1024.0;
  std::printf(
      "expression=%s rows=%llu sort_memory_mib=%llu runs=%u build_peak_mib=%.1f bound_mib=%llu "
      "%s\n",
      expression.c_str(), static_cast<unsigned long long>(count),
      static_cast<unsigned long long>(sort_mib), runs, peak_mib,
      static_cast<unsigned long long>(sort_mib + 32),
      status.ok() ? "ok" : status.Message().c_str());
  return status.ok() && peak_mib <= static_cast<double>(sort_mib + 32) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--peak") == 0) {
    return PeakMode(argv[2], std::strtoull(argv[3], nullptr, 10),
                    std::strtoull(argv[4], nullptr, 10));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
