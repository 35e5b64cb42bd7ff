// A client engine's session with dbserver: the network module's TLS
// session (axcws32.dll) under one engine connection, and the one call every
// remote operation goes through.
//
// A failure the server answers comes back with the engine's code and
// message exactly as the server's engine gave them; a failure of the
// connection itself is 8140 (the server went), 8142 (a reply outside the
// protocol) or one of the handshake's codes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/env/EngineEnvironment.h"
#include "engine/net/Wire.h"
#include "engine/util/EngineError.h"

namespace engine {

struct ServerPath;

// Where a client pins the certificates of the servers it has met: the file
// named by ENGINE_PINNED_CERTIFICATES when that is set, else
// "axcws32.pin" beside the program.
std::string PinnedCertificatesFile();
inline constexpr const char* kPinnedCertificatesFileName = "axcws32.pin";
inline constexpr unsigned kServerConnectTimeoutMs = 5000;

// The body of a reply, in the buffer the network module read it into.
class RemoteReply {
 public:
  RemoteReply(EngineNetFreeReplyFn free, uint8_t* buffer, size_t size)
      : free_(free), buffer_(buffer), size_(size) {}
  RemoteReply(RemoteReply&& other) noexcept
      : free_(other.free_), buffer_(other.buffer_), offset_(other.offset_), size_(other.size_) {
    other.buffer_ = nullptr;
  }
  RemoteReply(const RemoteReply&) = delete;
  RemoteReply& operator=(const RemoteReply&) = delete;
  RemoteReply& operator=(RemoteReply&&) = delete;
  ~RemoteReply() {
    if (buffer_) free_(buffer_);
  }
  // The body starts `offset` bytes into the buffer.
  void SkipTo(size_t offset) { offset_ = offset; }
  operator std::span<const uint8_t>() const {  // NOLINT: read like bytes
    return std::span<const uint8_t>(buffer_ + offset_, size_ - offset_);
  }

 private:
  EngineNetFreeReplyFn free_;
  uint8_t* buffer_;
  size_t offset_ = 0;
  size_t size_;
};

class RemoteSession {
 public:
  ~RemoteSession();
  RemoteSession(const RemoteSession&) = delete;
  RemoteSession& operator=(const RemoteSession&) = delete;

  // Opens a session with the server of `server` (the handshake included).
  static Result<std::shared_ptr<RemoteSession>> Open(const EngineEnvironment& environment,
                                                     const ServerPath& server);

  // Runs `op` on the server: the reply's body, or the failure.
  Result<RemoteReply> Call(net::Op op, const net::WireWriter& body);

  // "host:port".
  const std::string& Where() const { return where_; }

 private:
  RemoteSession() = default;
  NetworkModule module_;
  void* session_ = nullptr;
  std::string where_;
};

// The failure for a reply body that does not read as the protocol says.
Status MalformedReply(const RemoteSession& session, net::Op op);

}  // namespace engine
