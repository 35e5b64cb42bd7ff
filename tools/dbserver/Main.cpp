// dbserver: serves the engine's tables over TCP to client engines
// (docs/engine-protocol.md). A foreground program for a service manager:
// it logs to standard error and stops on SIGTERM or SIGINT.
//
//   dbserver --init --state-dir DIR
//   dbserver [--config FILE] [--state-dir DIR] [--listen ADDRESS] [--port N]
//            [--share NAME=FOLDER]... [--allow RANGE]... [--max-connections N]
//            [--max-handles N] [--idle-seconds N] [--max-frame-bytes N]
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "Server.h"
#include "ServerConfig.h"
#include "engine/net/Channel.h"

namespace {

const char* kUsage =
    "usage: dbserver --init --state-dir DIR\n"
    "       dbserver [--config FILE] [--state-dir DIR] [--listen ADDRESS] [--port N]\n"
    "                [--share NAME=FOLDER]... [--allow RANGE]... [--max-connections N]\n"
    "                [--max-handles N] [--idle-seconds N] [--max-frame-bytes N]\n"
    "\n"
    "Serves the tables of its shares to client engines over TLS (default port 6262).\n"
    "  --init              make the server's key and self-signed certificate in DIR\n"
    "  --config FILE       read settings from FILE (lines name = value, the option\n"
    "                      names without --); options given after it override it\n"
    "  --state-dir DIR     the folder of the key and certificate\n"
    "  --listen ADDRESS    the IPv4 address to listen on (127.0.0.1)\n"
    "  --port N            the TCP port (6262; 0: any free port, printed at start)\n"
    "  --share NAME=FOLDER a share clients name as \\\\host\\NAME\\...; repeatable\n"
    "  --allow RANGE       clients allowed, A.B.C.D or A.B.C.D/BITS; repeatable;\n"
    "                      loopback only when none is given\n"
    "  --max-connections N connections at once (256)\n"
    "  --max-handles N     open tables per connection (1024)\n"
    "  --idle-seconds N    close a connection idle this long (3600)\n"
    "  --max-frame-bytes N the longest request accepted (16777216)\n";

dbserver::Server* running_server = nullptr;

void OnStopSignal(int) {
  if (running_server) running_server->Stop();
}

void Log(const std::string& line) {
  static std::mutex mutex;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &utc);
  std::lock_guard<std::mutex> guard(mutex);
  std::fprintf(stderr, "%s dbserver: %s\n", stamp, line.c_str());
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  dbserver::ServerConfig config;
  bool init = false;
  std::string error;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--init") {
      init = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0 || i + 1 >= argc) {
      std::fprintf(stderr, "dbserver: %s\n%s", ("unexpected argument \"" + arg + "\"").c_str(),
                   kUsage);
      return 2;
    }
    const std::string value = argv[++i];
    const bool ok = arg == "--config" ? dbserver::LoadConfigFile(config, value, error)
                                      : dbserver::ApplySetting(config, arg.substr(2), value, error);
    if (!ok) {
      std::fprintf(stderr, "dbserver: %s\n", error.c_str());
      return 2;
    }
  }

  if (init) {
    if (config.StateDir.empty()) {
      std::fprintf(stderr, "dbserver: --init needs --state-dir DIR\n");
      return 2;
    }
    char host[256] = "dbserver";
    gethostname(host, sizeof host - 1);
    std::string fingerprint;
    if (!engine::net::MakeServerIdentity(config.StateDir, host, error) ||
        !engine::net::CertificateFileFingerprint(
            config.StateDir + "/" + engine::net::kServerCertificateFileName, fingerprint, error)) {
      std::fprintf(stderr, "dbserver: %s\n", error.c_str());
      return 1;
    }
    std::printf("key and certificate written to %s\ncertificate SHA-256 %s\n",
                config.StateDir.c_str(), fingerprint.c_str());
    return 0;
  }

  if (!dbserver::FinishConfig(config, error)) {
    std::fprintf(stderr, "dbserver: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  dbserver::Server server(config, Log);
  if (!server.Start(error)) {
    Log(error);
    return 1;
  }
  // Tells a starter which port it got when it asked for any (--port 0).
  std::printf("dbserver listening on %s:%u\n", config.Listen.c_str(),
              static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
  running_server = &server;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  server.Run();
  running_server = nullptr;
  Log("stopped");
  return 0;
}
