// dbserver's listener: accepts TCP connections on one address and port,
// refuses clients outside the allowed ranges and connections over the
// limit at once (before any request), and runs each admitted connection as
// a Session on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ServerConfig.h"
#include "Session.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace dbserver {

class Server {
 public:
  Server(ServerConfig config, LogFn log);
  ~Server();
  // Loads the key and certificate and starts listening; false with `error`.
  bool Start(std::string& error);
  // Serves until Stop() (from a signal handler too: it only writes a byte).
  void Run();
  void Stop();
  // The port listened on (the one chosen by the system for port 0).
  uint16_t Port() const { return port_; }

 private:
  struct Running {
    std::unique_ptr<dbserver::Session> Client;
    std::thread Thread;
    std::atomic<bool> Done{false};
  };
  void Admit(int fd);
  void Reap(bool all);

  ServerConfig config_;
  LogFn log_;
  std::shared_ptr<SSL_CTX> context_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  uint64_t next_id_ = 1;
  std::mutex mutex_;
  std::list<std::unique_ptr<Running>> sessions_;
};

}  // namespace dbserver
