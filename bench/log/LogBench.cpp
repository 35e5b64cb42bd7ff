// Entries per second of the activity log, written into a temporary
// installation tree: full entries, plain lines and timed plain lines, and as
// the reference the bare cost the log cannot avoid (one open, one append and
// one close of the same bytes per entry). The ratio of an entry kind to the
// reference is the log's own overhead.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"

namespace {

const std::string kTag = "AddIndexes-2.1-Bof";
const std::string kText = "Contacts.ADT Name=Last_Name;First_Name*ixCaseInsensitive";
const std::string kLine = "Table Contacts.ADT 12 indexes";

std::string g_root;

void FullEntry(benchmark::State& state) {
  WriteLog(kTag, kText);  // the environment block is written once, outside the timing
  for (auto _ : state) WriteLog(kTag, kText);
  state.SetItemsProcessed(state.iterations());
}

void PlainLine(benchmark::State& state) {
  for (auto _ : state) WriteLogLine(kLine);
  state.SetItemsProcessed(state.iterations());
}

void TimedLine(benchmark::State& state) {
  for (auto _ : state) WriteLogTimedLine(kLine);
  state.SetItemsProcessed(state.iterations());
}

// What a full entry puts into the file after the first one, appended with
// nothing else around it.
void BareAppend(benchmark::State& state) {
  const std::string path = g_root + "/Logs/bare.TXT";
  const std::string entry =
      "\r\n[03/04/2020 14:05:09:007 v1.0.0.1  ** 03042020_140509_1234_567890  ]\r\nProc_Name=" +
      kTag + "\r\n" + kText + "\r\n";
  for (auto _ : state) platform::WriteToFile(path, entry, platform::WriteMode::Append);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BareAppend);
BENCHMARK(FullEntry);
BENCHMARK(PlainLine);
BENCHMARK(TimedLine);

}  // namespace

int main(int argc, char** argv) {
  std::string pattern = (std::filesystem::temp_directory_path() / "ri-log-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  g_root = pattern;
  for (const char* folder : {"/App", "/DB", "/Logs"}) ForceFolder(g_root + folder);
  OverrideModuleName(g_root + "/App/RebuildTool");
  LoadInstallationDefaults();
  InitLog();

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  FreeLogHandler();
  std::error_code ignored;  // a temporary folder left behind is harmless
  std::filesystem::remove_all(g_root, ignored);
  return 0;
}
