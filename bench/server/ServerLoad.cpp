// A load on dbserver: CLIENTS clients at once, each opening a table through
// the server, reading every record of it and closing it, again and again,
// for SECONDS seconds (and at most MAX_CYCLES cycles each). Reports the
// cycles, records and failed requests, and checks that the server's memory
// stays flat.
//
// Memory: the server's resident set (VmRSS of /proc/PID/status) is sampled
// every second. The first third of the run is the warm-up: every client's
// session, thread and TLS state exists, the allocator's arenas have grown
// to what 64 threads need, the table's pages are cached. From the end of
// the warm-up to the end of the run the set may grow by at most
// kMaxGrowthPercent; more is a failure (exit 1), as a failed request is.
// Each cycle makes a new connection (a session thread, a TLS session of
// some 50 KiB, an open table with its read buffers): a server that kept any
// of that per cycle would grow by several hundred KiB a second under this
// load, tens of MiB over the run, far past the bound.
//
//   server_load FOLDER TABLE CLIENTS SECONDS SERVER_PID [MAX_CYCLES]
//
// FOLDER is a server path (\\127.0.0.1:PORT\SHARE\...): loopback only.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/env/Connection.h"
#include "engine/sql/RemoteTable.h"

namespace {

constexpr double kMaxGrowthPercent = 5.0;

long ResidentKiB(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: server_load FOLDER TABLE CLIENTS SECONDS SERVER_PID [MAX_CYCLES]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string table_name = argv[2];
  const int clients = std::atoi(argv[3]);
  const int seconds = std::atoi(argv[4]);
  const int server_pid = std::atoi(argv[5]);
  const long max_cycles = argc > 6 ? std::atol(argv[6]) : 1000000;
  if (folder.rfind("\\\\127.", 0) != 0) {
    std::fprintf(stderr, "server_load: only a loopback server (\\\\127.x.x.x...) is loaded\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  std::atomic<long> cycles{0}, records{0}, failures{0};
  std::mutex mutex;
  std::string first_failure;
  const auto fail = [&](const engine::Status& status) {
    ++failures;
    std::lock_guard<std::mutex> guard(mutex);
    if (first_failure.empty())
      first_failure = std::to_string(status.Code()) + " " + status.Message();
  };
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&] {
      for (long n = 0; n < max_cycles && std::chrono::steady_clock::now() < end; ++n) {
        auto connection = engine::Connection::Connect(folder);
        if (!connection) {
          fail(connection.status());
          continue;
        }
        auto table = engine::RemoteTable::Open(**connection, table_name, engine::OpenMode::Shared);
        if (!table) {
          fail(table.status());
          continue;
        }
        long read = 0;
        engine::Status s = (*table)->First();
        while (s.ok() && (*table)->RecNo() > 0) {
          ++read;
          s = (*table)->Next();
          if ((*table)->Eof()) break;
        }
        if (!s.ok()) fail(s);
        records += read;
        ++cycles;
      }
    });
  }
  // The server's memory every second; the warm-up's last sample and the
  // largest and last after it.
  const auto warm_end = start + std::chrono::seconds(std::max(1, seconds / 3));
  long warm = -1, peak = -1, late = -1;
  long cycles_at_warm = 0;
  for (auto next = start + std::chrono::seconds(1); next <= end; next += std::chrono::seconds(1)) {
    std::this_thread::sleep_until(next);
    const long rss = ResidentKiB(server_pid);
    if (next <= warm_end) {
      warm = rss;
      cycles_at_warm = cycles.load();
    } else {
      peak = std::max(peak, rss);
    }
  }
  for (std::thread& t : threads) t.join();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  late = ResidentKiB(server_pid);
  peak = std::max(peak, late);
  std::printf(
      "clients %d, %.1f s: %ld open-scan-close cycles (%.0f/s), %ld records (%.0f/s), "
      "%ld failed requests\n",
      clients, elapsed, cycles.load(), cycles.load() / elapsed, records.load(),
      records.load() / elapsed, failures.load());
  const double growth = warm > 0 ? 100.0 * static_cast<double>(late - warm) / warm : 0;
  const long later_cycles = cycles.load() - cycles_at_warm;
  const bool flat = warm > 0 && late > 0 && growth <= kMaxGrowthPercent;
  std::printf(
      "server resident memory: %ld KiB after the warm-up (%d s), at most %ld KiB after it, "
      "%ld KiB at the end: %+.1f%% over %ld cycles (%+.0f bytes a cycle); bound %.0f%%: %s\n",
      warm, std::max(1, seconds / 3), peak, late, growth, later_cycles,
      later_cycles ? 1024.0 * static_cast<double>(late - warm) / later_cycles : 0.0,
      kMaxGrowthPercent, flat ? "flat" : "GREW");
  if (!first_failure.empty()) std::printf("first failure: %s\n", first_failure.c_str());
  return failures.load() == 0 && flat ? 0 : 1;
}
