// Full-text tag build over one column of a CSV file (the NOTES column of
// ../shared/bench/gen.py data), timed the way fulltext-bench.sh compares it
// with SQLite's FTS5 rebuild:
//
//   fulltext_bench CSV [--column NOTES] [--runs 3] [--memory-mib 64]
//                      [--page-size 4096] [--out FILE]
//
// Each run: read the CSV, feed every row's field to a builder as record
// row-number, write the tag's pages to FILE and sync it (SQLite's rebuild
// commits to disk too). A second figure leaves the reading out (the texts
// already in memory). Prints one "name value" line per figure, times in
// seconds (median of the runs), and checks the tag: its word count, and a
// search against a scan of the texts.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "engine/fulltext/FullTextBuilder.h"
#include "engine/fulltext/FullTextPages.h"
#include "engine/fulltext/FullTextReader.h"
#include "engine/util/CharTable.h"

namespace {

struct Settings {
  std::string csv;
  std::string column = "NOTES";
  int runs = 3;
  uint64_t memory_mib = 64;
  uint32_t page_size = 4096;
  std::string out = "/tmp/ri-fulltext-bench.pages";
};

[[noreturn]] void Die(const std::string& message) {
  std::cerr << "fulltext_bench: " << message << "\n";
  std::exit(2);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Calls `on_field(row, text)` for the column of every data row (fields hold
// no quotes or commas in gen.py data; a quoted file is refused).
template <typename OnField>
size_t ReadColumn(const std::string& path, const std::string& column, OnField&& on_field) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Die("cannot read " + path);
  std::string line;
  if (!std::getline(in, line)) Die(path + " is empty");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  size_t index = 0, at = 0;
  bool found = false;
  while (true) {
    const size_t comma = line.find(',', at);
    const std::string name =
        line.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    if (name == column || name.rfind(column + ":", 0) == 0) {
      found = true;
      break;
    }
    if (comma == std::string::npos) break;
    at = comma + 1;
    ++index;
  }
  if (!found) Die("no column " + column + " in " + path);
  size_t rows = 0;
  while (std::getline(in, line)) {
    if (line.find('"') != std::string::npos) Die("quoted CSV fields are not read here");
    size_t begin = 0;
    for (size_t i = 0; i < index && begin != std::string::npos; ++i) {
      begin = line.find(',', begin);
      if (begin != std::string::npos) ++begin;
    }
    if (begin == std::string::npos) Die("row " + std::to_string(rows + 2) + " is short");
    size_t end = line.find(',', begin);
    if (end == std::string::npos) end = line.size();
    if (end > begin && line[end - 1] == '\r') --end;
    ++rows;
    on_field(static_cast<uint32_t>(rows), std::string_view(line).substr(begin, end - begin));
  }
  return rows;
}

engine::FullTextBuildOptions BuildOptions(const Settings& settings) {
  engine::FullTextBuildOptions options;
  options.PageSize = settings.page_size;
  options.MemoryBytes = settings.memory_mib << 20;
  options.TagSerial = 1;
  options.TempFolder = "/tmp";
  return options;
}

engine::FullTextTagData Finish(engine::FullTextBuilder& builder, const Settings& settings) {
  engine::FilePageStore pages;
  if (engine::Status s = pages.Create(settings.out, settings.page_size); !s) Die(s.Message());
  auto data = builder.Finish(pages, 0);
  if (!data) Die(data.status().Message());
  if (engine::Status s = pages.Sync(); !s) Die(s.Message());
  return *data;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Die(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--column") {
      settings.column = value();
    } else if (arg == "--runs") {
      settings.runs = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--memory-mib") {
      settings.memory_mib = std::strtoull(value().c_str(), nullptr, 10);
    } else if (arg == "--page-size") {
      settings.page_size = static_cast<uint32_t>(std::strtoul(value().c_str(), nullptr, 10));
    } else if (arg == "--out") {
      settings.out = value();
    } else if (settings.csv.empty() && arg[0] != '-') {
      settings.csv = arg;
    } else {
      Die("unknown argument " + arg);
    }
  }
  if (settings.csv.empty()) Die("usage: fulltext_bench CSV [options]");
  const engine::CharTable& chars = engine::DefaultCharTable();

  // From the file: read, split, index, write, sync.
  std::vector<double> from_csv;
  engine::FullTextTagData data;
  size_t rows = 0;
  uint32_t spilled = 0;
  for (int run = 0; run < settings.runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    auto builder = engine::FullTextBuilder::Create({}, chars, BuildOptions(settings));
    if (!builder) Die(builder.status().Message());
    rows = ReadColumn(settings.csv, settings.column, [&](uint32_t row, std::string_view text) {
      if (engine::Status s = (*builder)->Add(row, text); !s) Die(s.Message());
    });
    spilled = (*builder)->SpilledRuns();
    data = Finish(**builder, settings);
    from_csv.push_back(Seconds(start));
  }

  rusage usage{};  // the peak of the builds from the file, before the texts are held
  getrusage(RUSAGE_SELF, &usage);

  // From memory: the texts read once beforehand.
  std::vector<std::string> texts;
  ReadColumn(settings.csv, settings.column,
             [&](uint32_t, std::string_view text) { texts.emplace_back(text); });
  std::vector<double> in_memory;
  for (int run = 0; run < settings.runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    auto builder = engine::FullTextBuilder::Create({}, chars, BuildOptions(settings));
    if (!builder) Die(builder.status().Message());
    for (size_t row = 0; row < texts.size(); ++row) {
      if (engine::Status s = (*builder)->Add(static_cast<uint32_t>(row + 1), texts[row]); !s)
        Die(s.Message());
    }
    Finish(**builder, settings);
    in_memory.push_back(Seconds(start));
  }

  // A check of the result: one search against a scan of the texts.
  engine::FilePageStore pages;
  if (engine::Status s = pages.Open(settings.out, settings.page_size); !s) Die(s.Message());
  engine::FullTextShape shape{settings.out, "NOTES", settings.page_size, 1, 0, data};
  auto reader = engine::FullTextReader::Open(pages, shape, chars);
  if (!reader) Die(reader.status().Message());
  std::string first_word, second_word;
  {
    std::string_view first = texts.front();
    first_word = std::string(first.substr(0, first.find(' ')));
    const std::string_view rest = first.substr(first.find(' ') + 1);
    second_word = std::string(rest.substr(0, rest.find(' ')));
  }
  auto found = reader->Search(first_word + " " + second_word);
  if (!found) Die(found.status().Message());
  size_t scanned = 0;
  auto holds = [&](const std::string& text, const std::string& word) {
    return (" " + text + " ").find(" " + word + " ") != std::string::npos;
  };
  for (const std::string& text : texts) {
    if (holds(text, first_word) && holds(text, second_word)) ++scanned;
  }
  if (scanned != found->size()) {
    Die("the search for \"" + first_word + " " + second_word + "\" found " +
        std::to_string(found->size()) + " records, a scan " + std::to_string(scanned));
  }

  std::printf("rows %zu\n", rows);
  std::printf("words %llu\n", static_cast<unsigned long long>(data.WordCount));
  std::printf("postings %llu\n", static_cast<unsigned long long>(data.PostingCount));
  std::printf("tag_bytes %llu\n",
              static_cast<unsigned long long>(uint64_t{data.PageCount} * settings.page_size));
  std::printf("spilled_runs %u\n", spilled);
  std::printf("check_search_hits %zu\n", found->size());
  std::printf("build_from_csv_s %.3f\n", Median(from_csv));
  std::printf("build_in_memory_s %.3f\n", Median(in_memory));
  std::printf("peak_rss_from_csv_mib %.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
