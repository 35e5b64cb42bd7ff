// axcws32.dll: the network client module (entry points in ModuleAbi.h).
//
// A server is probed with one non-blocking TCP connect per address the name
// resolves to, all within the one timeout. Sessions run over TLS
// (engine/net/Channel.h) and carry one request at a time.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/env/ModuleAbi.h"
#include "engine/net/Channel.h"
#include "engine/net/NetErrors.h"
#include "engine/net/Wire.h"
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

// ---- sessions with dbserver

namespace {

struct Session {
  std::unique_ptr<engine::net::Channel> Channel;
  std::mutex Mutex;  // one request at a time on the connection
  uint32_t NextId = 1;
  std::string Where;
  bool Lost = false;
};

std::shared_ptr<SSL_CTX> ClientContext(std::string& error) {
  static std::mutex mutex;
  static std::shared_ptr<SSL_CTX> context;
  std::lock_guard<std::mutex> guard(mutex);
  if (!context) context = engine::net::MakeClientContext(error);
  return context;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int EngineNetOpenSession(
    const char* host, unsigned port, unsigned timeout_ms, const char* pin_file,
    unsigned engine_major, unsigned engine_minor, void** session, char* message,
    size_t message_size) {
  using engine::net::Channel;
  const std::string where = std::string(host ? host : "") + ":" + std::to_string(port);
  std::string error;
  auto context = ClientContext(error);
  if (!context) return Answer(engine::AE_SERVER_TLS, message, message_size, error);
  Channel::ConnectError kind = Channel::ConnectError::None;
  auto channel = Channel::Connect(context, host ? host : "", static_cast<uint16_t>(port),
                                  static_cast<int>(timeout_ms), kind, error);
  if (!channel) {
    if (kind == Channel::ConnectError::NoServer) {
      return Answer(engine::AE_SERVER_NOT_FOUND, message, message_size,
                    "No server answered at " + where + " (" + error + ")");
    }
    return Answer(engine::AE_SERVER_TLS, message, message_size,
                  "No secure session with the server " + where + ": " + error);
  }

  const std::string fingerprint = channel->PeerFingerprint();
  std::string pinned;
  switch (engine::net::CheckPinnedCertificate(pin_file ? pin_file : "", where, fingerprint, pinned,
                                              error)) {
    case engine::net::PinCheck::FirstUse:
    case engine::net::PinCheck::Matches:
      break;
    case engine::net::PinCheck::Changed:
      return Answer(engine::AE_SERVER_CERTIFICATE_CHANGED, message, message_size,
                    "The server " + where + " presented a certificate (SHA-256 " + fingerprint +
                        ") other than the one pinned for it in \"" + std::string(pin_file) +
                        "\" (SHA-256 " + pinned +
                        "); the connection was refused. If the server's certificate was "
                        "renewed on purpose, remove its line from that file");
    case engine::net::PinCheck::Failed:
      return Answer(engine::AE_SERVER_TLS, message, message_size, error);
  }

  engine::net::Hello hello;
  hello.EngineMajor = engine_major;
  hello.EngineMinor = engine_minor;
  std::vector<uint8_t> payload;
  engine::net::HelloAnswer answer;
  if (!channel->SendFrame(engine::net::EncodeHello(hello), error)) {
    return Answer(engine::AE_SERVER_CONNECTION_LOST, message, message_size,
                  "The server " + where + " went during the handshake: " + error);
  }
  const auto read = channel->ReceiveFrame(payload, engine::net::kMaxFrameBytes, error);
  if (read != engine::net::FrameRead::Ok) {
    return Answer(engine::AE_SERVER_CONNECTION_LOST, message, message_size,
                  "The server " + where + " did not answer the handshake: " + error);
  }
  if (!engine::net::DecodeHelloAnswer(payload, answer)) {
    return Answer(engine::AE_SERVER_PROTOCOL, message, message_size,
                  "The server " + where + " answered the handshake outside the protocol");
  }
  if (answer.Server.Protocol < engine::net::kOldestProtocolVersion) {
    return Answer(engine::AE_OLD_SERVER, message, message_size,
                  "The server " + where + " speaks protocol " +
                      std::to_string(answer.Server.Protocol) + "; this engine needs " +
                      std::to_string(engine::net::kOldestProtocolVersion) + " or later");
  }
  if (answer.Code != 0) return Answer(answer.Code, message, message_size, answer.Message);
  if (answer.Server.EngineMajor < engine::kOldestServerEngineMajor ||
      (answer.Server.EngineMajor == engine::kOldestServerEngineMajor &&
       answer.Server.EngineMinor < engine::kOldestServerEngineMinor)) {
    return Answer(engine::AE_OLD_SERVER_2, message, message_size,
                  "The server " + where + " runs engine " +
                      std::to_string(answer.Server.EngineMajor) + "." +
                      std::to_string(answer.Server.EngineMinor) + "; this engine needs " +
                      std::to_string(engine::kOldestServerEngineMajor) + "." +
                      std::to_string(engine::kOldestServerEngineMinor) + " or later");
  }
  // Requests may run long (an index build): no timeout from here on; a
  // server that goes closes the connection.
  channel->SetTimeout(0);
  auto opened = std::make_unique<Session>();
  opened->Channel = std::move(channel);
  opened->Where = where;
  *session = opened.release();
  return Answer(0, message, message_size, "Connected to " + where);
}

extern "C" __attribute__((visibility("default"))) int EngineNetCall(
    void* handle, unsigned op, const uint8_t* body, size_t body_size, uint8_t** reply,
    size_t* reply_size, char* message, size_t message_size) {
  auto* session = static_cast<Session*>(handle);
  std::lock_guard<std::mutex> guard(session->Mutex);
  if (session->Lost) {
    return Answer(engine::AE_SERVER_CONNECTION_LOST, message, message_size,
                  "The connection to the server " + session->Where + " was lost earlier");
  }
  const uint32_t id = session->NextId++;
  std::string error;
  const auto request = engine::net::EncodeRequest(id, static_cast<engine::net::Op>(op),
                                                  std::span<const uint8_t>(body, body_size));
  // The reply is read into the buffer handed to the caller: no copy.
  uint8_t* payload = nullptr;
  uint32_t size = 0;
  const auto allocate = [&payload](uint32_t bytes) {
    payload = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
    return payload;
  };
  engine::net::FrameRead read = engine::net::FrameRead::Failed;
  if (session->Channel->SendFrame(request, error))
    read = session->Channel->ReceiveFrame(allocate, engine::net::kMaxFrameBytes, size, error);
  if (read != engine::net::FrameRead::Ok) {
    std::free(payload);
    session->Lost = true;
    if (read == engine::net::FrameRead::Closed) error = "the server closed the connection";
    return Answer(
        engine::AE_SERVER_CONNECTION_LOST, message, message_size,
        "The connection to the server " + session->Where + " was lost during a request: " + error);
  }
  engine::net::WireReader r(std::span<const uint8_t>(payload, size));
  if (r.U32() != id || !r.Ok()) {
    std::free(payload);
    session->Lost = true;
    return Answer(engine::AE_SERVER_PROTOCOL, message, message_size,
                  "The server " + session->Where + " answered another request than the one sent");
  }
  *reply = payload;
  *reply_size = size;
  return 0;
}

extern "C" __attribute__((visibility("default"))) void EngineNetFreeReply(uint8_t* reply) {
  std::free(reply);
}

extern "C" __attribute__((visibility("default"))) void EngineNetCloseSession(void* handle) {
  delete static_cast<Session*>(handle);
}
