// dbserver run by a test as a user runs it: its own state folder (made by
// dbserver --init), a free loopback port the system picks (--port 0, read
// back from the line the server prints), its log in a file. The server is
// stopped with SIGTERM when the object goes, or killed on request. Clients
// of the test pin certificates in a file of the object's own
// (ENGINE_PINNED_CERTIFICATES), never beside the test program.
//
// Header-only; the test binary defines DBSERVER_PATH.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

class ServerProcess {
 public:
  struct Options {
    std::vector<std::pair<std::string, std::string>> Shares;  // name, folder
    std::vector<std::string> Extra;                           // more arguments
    std::string StateDir;  // empty: a new one of the object's own
    uint16_t Port = 0;     // 0: any free port
  };

  explicit ServerProcess(const Options& options) {
    state_dir_ = options.StateDir.empty() ? std::string(dir_ / "state") : options.StateDir;
    if (options.StateDir.empty()) Init(state_dir_);
    setenv("ENGINE_PINNED_CERTIFICATES", (dir_ / "pins.txt").c_str(), 1);
    std::vector<std::string> args = {DBSERVER_PATH,
                                     "--state-dir",
                                     state_dir_,
                                     "--listen",
                                     "127.0.0.1",
                                     "--port",
                                     std::to_string(options.Port)};
    for (const auto& [name, folder] : options.Shares) {
      args.push_back("--share");
      args.push_back(name + "=" + folder);
    }
    args.insert(args.end(), options.Extra.begin(), options.Extra.end());
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("no pipe");
    const std::string log = dir_ / "server.log";
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(err, STDERR_FILENO);
      close(out[0]);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(DBSERVER_PATH, argv.data());
      _exit(121);
    }
    close(out[1]);
    // The server prints "dbserver listening on 127.0.0.1:PORT" once it listens.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 15000) == 1) {
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    const size_t colon = line.rfind(':');
    if (line.find("listening") == std::string::npos || colon == std::string::npos) {
      Kill();
      throw std::runtime_error("dbserver did not start: " + line + Log());
    }
    port_ = static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
  }

  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // dbserver --init in `state_dir`.
  static void Init(const std::string& state_dir) {
    const std::string command =
        std::string(DBSERVER_PATH) + " --init --state-dir '" + state_dir + "' > /dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("dbserver --init failed");
  }

  uint16_t Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  const std::string& StateDir() const { return state_dir_; }
  std::string Log() const { return TempDir::ReadFile(dir_ / "server.log"); }
  // \\127.0.0.1:PORT\SHARE\REST (REST with backslashes, may be empty).
  std::string Path(const std::string& share, const std::string& rest = "") const {
    return "\\\\127.0.0.1:" + std::to_string(port_) + "\\" + share + (rest.empty() ? "" : "\\") +
           rest;
  }

  // Stops the server the way a service manager does, and waits for it.
  void Stop() { End(SIGTERM); }
  // Kills it at once: no clean-up of its own.
  void Kill() { End(SIGKILL); }

 private:
  void End(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  TempDir dir_;
  std::string state_dir_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};
