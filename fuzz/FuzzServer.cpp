// dbserver's frame decoder and request handler: a server of this process
// (one share "data" holding the reference table) and a TLS client that
// sends the input's bytes as they stand, frame by frame as the input's own
// 4-byte headers cut it (the first frame being the hello), waiting for the
// server's answer after each; a header announcing more than is left sends
// the rest and ends the connection. The table is put back before each input.
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "FuzzTables.h"
#include "Server.h"
#include "engine/net/Channel.h"
#include "engine/net/Wire.h"

namespace {

namespace fs = std::filesystem;

struct Served {
  std::unique_ptr<dbserver::Server> Server;
  std::thread Thread;
  std::shared_ptr<SSL_CTX> Client;
  std::string Db;
};

Served& Running() {
  static Served* served = [] {
    signal(SIGPIPE, SIG_IGN);
    auto* made = new Served;
    const std::string share = fuzz::ScratchFolder() + "/share";
    made->Db = share + "/DB";
    fs::create_directories(made->Db);
    std::string error;
    dbserver::ServerConfig config;
    config.StateDir = fuzz::ScratchFolder() + "/state";
    config.Port = 0;
    config.Shares = {{"data", share}};
    config.IdleSeconds = 5;
    config.MaxFrameBytes = 1u << 20;
    if (!engine::net::MakeServerIdentity(config.StateDir, "fuzz", error) ||
        !dbserver::FinishConfig(config, error)) {
      std::fprintf(stderr, "fuzz: %s\n", error.c_str());
      std::abort();
    }
    made->Server = std::make_unique<dbserver::Server>(config, [](const std::string&) {});
    if (!made->Server->Start(error)) {
      std::fprintf(stderr, "fuzz: %s\n", error.c_str());
      std::abort();
    }
    made->Thread = std::thread([server = made->Server.get()] { server->Run(); });
    // Stopped before the process's own objects go, so no session outlives them.
    std::atexit([] {
      Running().Server->Stop();
      Running().Thread.join();
    });
    made->Client = engine::net::MakeClientContext(error);
    return made;
  }();
  return *served;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Served& served = Running();
  const auto copy = fs::copy_options::overwrite_existing;
  std::error_code ignored;
  fs::copy_file(fuzz::ReferenceFolder() + "/Contacts.ADT", served.Db + "/Contacts.ADT", copy,
                ignored);
  fs::copy_file(fuzz::ReferenceFolder() + "/Contacts.Adi", served.Db + "/Contacts.Adi", copy,
                ignored);

  std::string error;
  engine::net::Channel::ConnectError kind;
  auto channel = engine::net::Channel::Connect(served.Client, "127.0.0.1", served.Server->Port(),
                                               5000, kind, error);
  if (!channel) return 0;
  std::span<const uint8_t> rest(data, size);
  std::vector<uint8_t> reply;
  while (!rest.empty()) {
    if (rest.size() < engine::net::kFrameHeaderBytes) {
      channel->SendRaw(rest, error);
      break;
    }
    const uint64_t frame = engine::net::kFrameHeaderBytes + engine::net::FrameSize(rest.data());
    if (frame > rest.size()) {
      channel->SendRaw(rest, error);
      break;
    }
    if (!channel->SendRaw(rest.first(frame), error)) break;
    rest = rest.subspan(frame);
    if (channel->ReceiveFrame(reply, engine::net::kMaxFrameBytes, error) !=
        engine::net::FrameRead::Ok)
      break;
  }
  return 0;
}
