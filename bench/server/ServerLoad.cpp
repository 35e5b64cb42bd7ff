// A load on dbserver: CLIENTS clients at once, each opening a table through
// the server, reading every record of it and closing it, again and again,
// for SECONDS seconds (and at most MAX_CYCLES cycles each). Reports the
// cycles, records and failed requests, and the server's resident memory
// (from /proc/PID/status) after the first seconds and at the end.
//
//   server_load FOLDER TABLE CLIENTS SECONDS SERVER_PID [MAX_CYCLES]
//
// FOLDER is a server path (\\127.0.0.1:PORT\SHARE\...): loopback only.
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
  // The server's memory once every client is under way, then at the end.
  long early = -1;
  while (std::chrono::steady_clock::now() < start + std::chrono::seconds(std::min(5, seconds))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  early = ResidentKiB(server_pid);
  for (std::thread& t : threads) t.join();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long late = ResidentKiB(server_pid);
  std::printf(
      "clients %d, %.1f s: %ld open-scan-close cycles (%.0f/s), %ld records (%.0f/s), "
      "%ld failed requests\n",
      clients, elapsed, cycles.load(), cycles.load() / elapsed, records.load(),
      records.load() / elapsed, failures.load());
  std::printf("server resident memory: %ld KiB after 5 s, %ld KiB at the end\n", early, late);
  if (!first_failure.empty()) std::printf("first failure: %s\n", first_failure.c_str());
  return failures.load() == 0 ? 0 : 1;
}
