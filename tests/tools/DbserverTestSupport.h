// What the server tests share: a server over one share with a table in it,
// a raw TLS client for frames the engine would never send, and a bounded
// wait for something the server does on its own threads.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/net/Channel.h"
#include "engine/net/Wire.h"
#include "support/EngineTables.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

namespace dbserver_test {

// Waits for `done` at most `seconds`, without sleeping; answers `done()`.
inline bool WaitFor(const std::function<bool()>& done, double seconds = 5) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// A TLS connection to a server, handshake done, for sending frames by hand.
inline std::unique_ptr<engine::net::Channel> RawClient(uint16_t port,
                                                       engine::net::Hello hello = {}) {
  std::string error;
  auto context = engine::net::MakeClientContext(error);
  engine::net::Channel::ConnectError kind;
  auto channel = engine::net::Channel::Connect(context, "127.0.0.1", port, 5000, kind, error);
  if (!channel) return nullptr;
  hello.EngineMajor = 11;
  hello.EngineMinor = 10;
  std::vector<uint8_t> payload;
  if (!channel->SendFrame(engine::net::EncodeHello(hello), error) ||
      channel->ReceiveFrame(payload, engine::net::kMaxFrameBytes, error) !=
          engine::net::FrameRead::Ok)
    return nullptr;
  return channel;
}

// A share "data" with DB/T.ADT (ID, NAME, N; `rows` records) and a server on it.
struct ServedTable {
  explicit ServedTable(int rows = 3, std::vector<std::string> extra = {}) {
    std::filesystem::create_directories(share / "DB");
    std::vector<EngineRow> records;
    for (int i = 1; i <= rows; ++i)
      records.push_back(
          {std::to_string(i), "name" + std::to_string(i % 97), std::to_string(i % 10)});
    const engine::Status made =
        MakeEngineTable(share / "DB", "T.ADT", {"ID:C:8", "NAME:C:20", "N:I"}, records);
    if (!made.ok()) throw std::runtime_error(made.Message());
    ServerProcess::Options options;
    options.Shares = {{"data", share.Path()}};
    options.Extra = std::move(extra);
    server = std::make_unique<ServerProcess>(options);
  }
  std::string Folder() const { return server->Path("data", "DB"); }
  std::string LocalFolder() const { return share / "DB"; }

  TempDir share;
  std::unique_ptr<ServerProcess> server;
};

}  // namespace dbserver_test
