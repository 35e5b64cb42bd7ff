// axcws32.dll: the network client module (entry points in ModuleAbi.h).
//
// A server is probed with one non-blocking TCP connect per address the name
// resolves to, all within the one timeout.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/env/ModuleAbi.h"
#include "engine/util/EngineError.h"

namespace {

int Answer(int code, char* message, size_t message_size, const std::string& text) {
  if (message && message_size > 0) std::snprintf(message, message_size, "%s", text.c_str());
  return code;
}

// Connects `fd` to `address` within `remaining_ms`; 0 on success, else an errno value.
int ConnectWithin(int fd, const addrinfo* address, int remaining_ms) {
  if (connect(fd, address->ai_addr, address->ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  pollfd p{fd, POLLOUT, 0};
  int rc;
  do {
    rc = poll(&p, 1, remaining_ms);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) return ETIMEDOUT;
  if (rc < 0) return errno;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int EngineNetAbi(void) {
  return ENGINE_MODULE_ABI;
}

extern "C" __attribute__((visibility("default"))) int EngineNetProbeServer(
    const char* host, unsigned port, unsigned timeout_ms, char* message, size_t message_size) {
  const std::string where = std::string(host ? host : "") + ":" + std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  const std::string service = std::to_string(port);
  const int lookup = getaddrinfo(host, service.c_str(), &hints, &addresses);
  if (lookup != 0) {
    return Answer(engine::AE_SERVER_NOT_FOUND, message, message_size,
                  "The server " + where + " was not found: " + gai_strerror(lookup));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string last_error = "no address";
  for (const addrinfo* a = addresses; a; a = a->ai_next) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      last_error = std::strerror(ETIMEDOUT);
      break;
    }
    const int fd =
        socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      last_error = std::strerror(errno);
      continue;
    }
    const int error = ConnectWithin(fd, a, static_cast<int>(left.count()));
    close(fd);
    if (error == 0) {
      freeaddrinfo(addresses);
      return Answer(0, message, message_size, "The server " + where + " answered");
    }
    last_error = std::strerror(error);
  }
  freeaddrinfo(addresses);
  return Answer(engine::AE_SERVER_NOT_FOUND, message, message_size,
                "No server answered at " + where + " (" + last_error + ")");
}
