// Records per second read from a 100,000-record table through the table
// component (First, Next until Eof, one field's text per record), and as
// the reference the same walk with the engine's own cursor on the same
// table. The ratio of the two is the component's cost per record: the
// handle look-ups of its engine calls and the dataset's ends kept over the
// engine's cursor.
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "dataset/AdsConnection.h"
#include "dataset/AdsTable.h"
#include "engine/env/Connection.h"
#include "engine/record/Record.h"
#include "engine/table/Table.h"
#include "engine/table/TableCursor.h"

namespace {

constexpr uint32_t kRecords = 100000;
const char* const kTableName = "Contacts.ADT";

std::string g_folder;

bool MakeContacts() {
  auto connection = engine::Connection::Connect(g_folder);
  if (!connection) return false;
  const std::vector<engine::FieldDef> fields = {{"RECID", engine::FieldType::Character, 10},
                                                {"LASTNAME", engine::FieldType::Character, 30},
                                                {"SCORE", engine::FieldType::Integer, 0}};
  auto load = engine::TableLoad::Begin(**connection, kTableName, fields, false);
  if (!load) return false;
  engine::RecordBuilder record(load->Schema());
  for (uint32_t i = 1; i <= kRecords; ++i) {
    record.Clear();
    if (!record.SetChars(0, std::to_string(i)).ok()) return false;
    if (!record.SetChars(1, "Name" + std::to_string(i % 977)).ok()) return false;
    record.SetInteger(2, static_cast<int32_t>(i % 100));
    if (!load->Append(record).ok()) return false;
  }
  return load->Finish().ok();
}

void EngineCursor(benchmark::State& state) {
  auto connection = engine::Connection::Connect(g_folder);
  auto table = engine::Table::Open(**connection, kTableName, engine::OpenMode::Shared);
  if (!table) {
    state.SkipWithError(table.status().Message().c_str());
    return;
  }
  engine::TableCursor cursor(**table);
  size_t bytes = 0;
  for (auto _ : state) {
    if (!cursor.First().ok()) state.SkipWithError("First failed");
    while (!cursor.Eof()) {
      bytes += cursor.FieldText("LASTNAME").value().size();
      if (!cursor.Next().ok()) state.SkipWithError("Next failed");
    }
  }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void TableComponent(benchmark::State& state) {
  TAdsConnection connection;
  connection.SetName("BenchConnection");
  connection.ConnectPath = g_folder;
  TAdsTable table;
  table.SetDatabaseName("BenchConnection");
  table.SetTableName(kTableName);
  table.Open();
  size_t bytes = 0;
  for (auto _ : state) {
    for (table.First(); !table.Eof(); table.Next()) bytes += table.FieldText("LASTNAME").size();
  }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * kRecords);
}

BENCHMARK(EngineCursor)->Unit(benchmark::kMillisecond);
BENCHMARK(TableComponent)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "ri-dataset-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  g_folder = pattern;
  if (!MakeContacts()) return 1;

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::error_code ignored;  // a temporary folder left behind is harmless
  std::filesystem::remove_all(g_folder, ignored);
  return 0;
}
