// A TLS connection carrying frames (Wire.h), for both ends: dbserver
// accepts them, the network module (axcws32.dll) makes them.
//
// The socket is blocking with a send and receive timeout, so no call waits
// longer than the timeout set; TLS comes from OpenSSL. The server's identity
// is a key and a self-signed certificate in its state folder; a client
// trusts a server by the certificate's SHA-256 fingerprint, which it pins on
// first use (PinnedCertificates).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace engine::net {

inline constexpr const char* kServerKeyFileName = "server.key";
inline constexpr const char* kServerCertificateFileName = "server.crt";

// Makes a new key (EC P-256) and a self-signed certificate for `common_name`
// in `state_dir` (created when missing), replacing what was there; the key
// file is readable by its owner only.
bool MakeServerIdentity(const std::string& state_dir, const std::string& common_name,
                        std::string& error);

// TLS contexts (TLS 1.2 and later); nullptr with `error` on failure. The
// server's holds the key and certificate of `state_dir`. The client's checks
// no certificate chain: the client pins the server's certificate instead.
std::shared_ptr<SSL_CTX> MakeServerContext(const std::string& state_dir, std::string& error);
std::shared_ptr<SSL_CTX> MakeClientContext(std::string& error);

// The SHA-256 fingerprint of a PEM certificate file, as lowercase hex.
bool CertificateFileFingerprint(const std::string& path, std::string& fingerprint,
                                std::string& error);

enum class FrameRead {
  Ok,
  Closed,     // the peer closed the connection between frames
  TooLong,    // the header announced more than the limit
  Truncated,  // the connection ended inside a frame
  TimedOut,   // nothing arrived within the timeout
  Failed,     // any other error of the socket or of TLS
};

class Channel {
 public:
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // The server's side of an accepted socket `fd` (taken over in every case).
  static std::unique_ptr<Channel> Accept(const std::shared_ptr<SSL_CTX>& context, int fd,
                                         int timeout_ms, std::string& error);

  enum class ConnectError { None, NoServer, Tls };
  // Connects to `host`:`port` within `timeout_ms` and shakes hands.
  static std::unique_ptr<Channel> Connect(const std::shared_ptr<SSL_CTX>& context,
                                          const std::string& host, uint16_t port, int timeout_ms,
                                          ConnectError& kind, std::string& error);

  // The peer's certificate fingerprint (SHA-256, lowercase hex), or empty.
  std::string PeerFingerprint() const;
  // The peer's address as dotted decimal text.
  const std::string& PeerAddress() const { return peer_; }

  void SetTimeout(int timeout_ms);
  bool SendFrame(std::span<const uint8_t> payload, std::string& error);
  // One frame whose payload is `head` then `body`; `body` is not copied.
  bool SendFrame(std::span<const uint8_t> head, std::span<const uint8_t> body, std::string& error);
  // Bytes as they are, for tests that send damaged frames.
  bool SendRaw(std::span<const uint8_t> bytes, std::string& error);
  FrameRead ReceiveFrame(std::vector<uint8_t>& payload, uint32_t limit, std::string& error);
  // The same into `allocate(size)`, called once the frame's size is known
  // (and within the limit), so that a big payload is read where it stays.
  FrameRead ReceiveFrame(const std::function<uint8_t*(uint32_t size)>& allocate, uint32_t limit,
                         uint32_t& size, std::string& error);
  // Stops the connection from another thread: pending and later reads fail.
  void Interrupt();

 private:
  Channel(int fd, SSL* ssl, std::shared_ptr<SSL_CTX> context);
  // The socket `fd` under a new TLS session of `context`, before its
  // handshake (the socket is closed when that fails).
  static std::unique_ptr<Channel> Wrap(const std::shared_ptr<SSL_CTX>& context, int fd,
                                       int timeout_ms, std::string& error);
  // Reads exactly `size` bytes: 1 done, 0 closed before any byte, -1 timed
  // out, -2 failed or closed midway.
  int ReadExactly(uint8_t* data, size_t size, std::string& error);

  int fd_;
  SSL* ssl_;
  std::shared_ptr<SSL_CTX> context_;
  std::string peer_;
};

// The certificates a client has pinned, one line per server:
// "HOST:PORT SHA256-HEX". A file beside the program by default.
enum class PinCheck { FirstUse, Matches, Changed, Failed };
PinCheck CheckPinnedCertificate(const std::string& file, const std::string& server,
                                const std::string& fingerprint, std::string& pinned,
                                std::string& error);

}  // namespace engine::net
