// Time to load an index definition file and read one key of every section,
// for files of 10,000, 40,000 and 160,000 sections (one tag each). The
// reader is linear when the time per section (items per second) stays the
// same as the file grows; the fitted complexity is printed as the last rows.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "common/DatGenIniFile.h"

namespace {

std::string g_folder;
std::map<long, std::string> g_files;  // sections -> file

const std::string& FileOf(long sections) {
  std::string& path = g_files[sections];
  if (path.empty()) {
    path = g_folder + "/defs" + std::to_string(sections) + ".ini";
    std::ofstream out(path, std::ios::binary);
    for (long i = 0; i < sections; ++i) {
      out << "[Table" << i << ".ADT]\r\nTag" << i << "=Field" << i << "*ixCaseInsensitive\r\n";
    }
  }
  return path;
}

void LoadAndReadEverySection(benchmark::State& state) {
  const long sections = state.range(0);
  const std::string& path = FileOf(sections);
  for (auto _ : state) {
    const TIniFile ini(path);
    for (long i = 0; i < sections; ++i) {
      const std::string n = std::to_string(i);
      benchmark::DoNotOptimize(ini.ReadString("Table" + n + ".ADT", "Tag" + n, ""));
    }
  }
  state.SetItemsProcessed(state.iterations() * sections);
  state.SetComplexityN(sections);
}

BENCHMARK(LoadAndReadEverySection)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(160000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

int main(int argc, char** argv) {
  std::string pattern = (std::filesystem::temp_directory_path() / "ri-ini-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  g_folder = pattern;

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::error_code ignored;  // a temporary folder left behind is harmless
  std::filesystem::remove_all(g_folder, ignored);
  return 0;
}
