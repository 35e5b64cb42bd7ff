#include "engine/net/Channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "engine/net/Wire.h"

namespace engine::net {

namespace {

std::string SslErrors() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text.empty() ? std::string("no further detail") : text;
}

std::string Hex(const unsigned char* data, unsigned size) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < size; ++i) {
    text += digits[data[i] >> 4];
    text += digits[data[i] & 15];
  }
  return text;
}

std::string FingerprintOf(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &size) != 1) return {};
  return Hex(digest, size);
}

// Room for a whole batch of records in the socket on either side, so that
// the server hands a batch to the system in one go and the client reads it
// without waiting for the server to be scheduled again.
void SetSocketBuffers(int fd) {
  const int size = 4 << 20;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void SetSocketTimeout(int fd, int timeout_ms) {
  timeval tv{};
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {0};
  if (address.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
              sizeof text);
  }
  return text;
}

// Connects `fd` within `timeout_ms`; 0 or an errno value.
int ConnectWithin(int fd, const addrinfo* address, int timeout_ms) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int error = 0;
  if (connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) return errno;
    pollfd p{fd, POLLOUT, 0};
    int rc;
    do {
      rc = poll(&p, 1, timeout_ms);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) return ETIMEDOUT;
    if (rc < 0) return errno;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  }
  fcntl(fd, F_SETFL, flags);
  return error;
}

// A peer that went makes a write raise SIGPIPE, which would end the whole
// program: while this lives, the signal is blocked on this thread, and one
// that arrived meanwhile is taken off again, so that the failed write is an
// answer like any other.
class NoPipeSignal {
 public:
  NoPipeSignal() {
    sigemptyset(&pipe_only_);
    sigaddset(&pipe_only_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_only_, &before_);
  }
  ~NoPipeSignal() {
    if (!was_pending_) {
      const timespec zero{0, 0};
      while (sigtimedwait(&pipe_only_, nullptr, &zero) > 0) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }

 private:
  sigset_t pipe_only_;
  sigset_t before_;
  bool was_pending_ = false;
};

}  // namespace

bool MakeServerIdentity(const std::string& state_dir, const std::string& common_name,
                        std::string& error) {
  if (mkdir(state_dir.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create the state folder \"" + state_dir + "\": " + std::strerror(errno);
    return false;
  }
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) {
    error = "cannot make a key: " + SslErrors();
    return false;
  }
  X509* certificate = X509_new();
  bool ok = certificate != nullptr;
  if (ok) {
    X509_set_version(certificate, 2);
    unsigned char serial[16];
    FILE* random = std::fopen("/dev/urandom", "rb");
    const bool got = random && std::fread(serial, 1, sizeof serial, random) == sizeof serial;
    if (random) std::fclose(random);
    serial[0] &= 0x7f;
    BIGNUM* number = got ? BN_bin2bn(serial, sizeof serial, nullptr) : nullptr;
    ok = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
    BN_free(number);
  }
  if (ok) {
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 3650L * 24 * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(certificate, name);
    ok = X509_sign(certificate, key, EVP_sha256()) > 0;
  }
  if (!ok) error = "cannot make the certificate: " + SslErrors();
  const std::string key_path = state_dir + "/" + kServerKeyFileName;
  const std::string cert_path = state_dir + "/" + kServerCertificateFileName;
  if (ok) {
    unlink(key_path.c_str());
    const int fd = open(key_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    FILE* out = fd >= 0 ? fdopen(fd, "w") : nullptr;
    ok = out && PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (out) ok = std::fclose(out) == 0 && ok;
    if (!ok) error = "cannot write \"" + key_path + "\": " + std::strerror(errno);
  }
  if (ok) {
    FILE* out = std::fopen(cert_path.c_str(), "w");
    ok = out && PEM_write_X509(out, certificate) == 1;
    if (out) ok = std::fclose(out) == 0 && ok;
    if (!ok) error = "cannot write \"" + cert_path + "\": " + std::strerror(errno);
  }
  X509_free(certificate);
  EVP_PKEY_free(key);
  return ok;
}

std::shared_ptr<SSL_CTX> MakeServerContext(const std::string& state_dir, std::string& error) {
  std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  if (!context) {
    error = "cannot set up TLS: " + SslErrors();
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  // AES-128-GCM first: as safe for this use and cheaper per byte of records.
  SSL_CTX_set_ciphersuites(context.get(),
                           "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:"
                           "TLS_CHACHA20_POLY1305_SHA256");
  SSL_CTX_set_options(context.get(), SSL_OP_CIPHER_SERVER_PREFERENCE);
  const std::string key_path = state_dir + "/" + kServerKeyFileName;
  const std::string cert_path = state_dir + "/" + kServerCertificateFileName;
  if (SSL_CTX_use_certificate_file(context.get(), cert_path.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_use_PrivateKey_file(context.get(), key_path.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(context.get()) != 1) {
    error = "cannot use the key and certificate of \"" + state_dir +
            "\" (made by dbserver --init): " + SslErrors();
    return nullptr;
  }
  return context;
}

std::shared_ptr<SSL_CTX> MakeClientContext(std::string& error) {
  std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  if (!context) {
    error = "cannot set up TLS: " + SslErrors();
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
  return context;
}

bool CertificateFileFingerprint(const std::string& path, std::string& fingerprint,
                                std::string& error) {
  FILE* in = std::fopen(path.c_str(), "r");
  if (!in) {
    error = "cannot read \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  X509* certificate = PEM_read_X509(in, nullptr, nullptr, nullptr);
  std::fclose(in);
  if (!certificate) {
    error = "\"" + path + "\" holds no certificate";
    return false;
  }
  fingerprint = FingerprintOf(certificate);
  X509_free(certificate);
  return !fingerprint.empty();
}

Channel::Channel(int fd, SSL* ssl, std::shared_ptr<SSL_CTX> context)
    : fd_(fd), ssl_(ssl), context_(std::move(context)) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    peer_ = AddressText(address);
}

Channel::~Channel() {
  NoPipeSignal guard;
  if (ssl_) {
    SSL_shutdown(ssl_);
    SSL_free(ssl_);
  }
  if (fd_ >= 0) close(fd_);
}

std::unique_ptr<Channel> Channel::Wrap(const std::shared_ptr<SSL_CTX>& context, int fd,
                                       int timeout_ms, std::string& error) {
  SetSocketTimeout(fd, timeout_ms);
  SetSocketBuffers(fd);
  SSL* ssl = SSL_new(context.get());
  if (!ssl) {
    close(fd);
    error = "cannot set up TLS: " + SslErrors();
    return nullptr;
  }
  SSL_set_fd(ssl, fd);
  return std::unique_ptr<Channel>(new Channel(fd, ssl, context));
}

std::unique_ptr<Channel> Channel::Accept(const std::shared_ptr<SSL_CTX>& context, int fd,
                                         int timeout_ms, std::string& error) {
  std::unique_ptr<Channel> channel = Wrap(context, fd, timeout_ms, error);
  if (!channel) return nullptr;
  NoPipeSignal guard;
  if (SSL_accept(channel->ssl_) != 1) {
    error = "TLS handshake failed: " + SslErrors();
    SSL_free(channel->ssl_);
    channel->ssl_ = nullptr;
    return nullptr;
  }
  return channel;
}

std::unique_ptr<Channel> Channel::Connect(const std::shared_ptr<SSL_CTX>& context,
                                          const std::string& host, uint16_t port, int timeout_ms,
                                          ConnectError& kind, std::string& error) {
  kind = ConnectError::NoServer;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  const std::string service = std::to_string(port);
  if (const int lookup = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
      lookup != 0) {
    error = std::string("the server was not found: ") + gai_strerror(lookup);
    return nullptr;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int fd = -1;
  error = "no address";
  for (const addrinfo* a = addresses; a && fd < 0; a = a->ai_next) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      error = std::strerror(ETIMEDOUT);
      break;
    }
    const int candidate = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (candidate < 0) {
      error = std::strerror(errno);
      continue;
    }
    if (const int failed = ConnectWithin(candidate, a, static_cast<int>(left.count()));
        failed != 0) {
      error = std::strerror(failed);
      close(candidate);
      continue;
    }
    fd = candidate;
  }
  freeaddrinfo(addresses);
  if (fd < 0) return nullptr;

  kind = ConnectError::Tls;
  std::unique_ptr<Channel> channel = Wrap(context, fd, timeout_ms, error);
  if (!channel) return nullptr;
  ERR_clear_error();
  NoPipeSignal guard;
  if (SSL_connect(channel->ssl_) != 1) {
    error = "the TLS handshake failed (" + SslErrors() +
            "): the server closed the connection, or this computer is not among its allowed "
            "clients, or it is no engine server";
    SSL_free(channel->ssl_);
    channel->ssl_ = nullptr;
    return nullptr;
  }
  kind = ConnectError::None;
  return channel;
}

std::string Channel::PeerFingerprint() const {
  X509* certificate = ssl_ ? SSL_get1_peer_certificate(ssl_) : nullptr;
  if (!certificate) return {};
  std::string fingerprint = FingerprintOf(certificate);
  X509_free(certificate);
  return fingerprint;
}

void Channel::SetTimeout(int timeout_ms) {
  SetSocketTimeout(fd_, timeout_ms);
}

bool Channel::SendRaw(std::span<const uint8_t> bytes, std::string& error) {
  NoPipeSignal guard;
  size_t sent = 0;
  while (sent < bytes.size()) {
    size_t written = 0;
    if (SSL_write_ex(ssl_, bytes.data() + sent, bytes.size() - sent, &written) != 1) {
      error = "the connection failed while sending (" + SslErrors() + ")";
      return false;
    }
    sent += written;
  }
  return true;
}

bool Channel::SendFrame(std::span<const uint8_t> payload, std::string& error) {
  // One write for header and payload: one TLS record for small frames.
  std::vector<uint8_t> frame(kFrameHeaderBytes + payload.size());
  PutFrameHeader(frame.data(), static_cast<uint32_t>(payload.size()));
  std::memcpy(frame.data() + kFrameHeaderBytes, payload.data(), payload.size());
  return SendRaw(frame, error);
}

bool Channel::SendFrame(std::span<const uint8_t> head, std::span<const uint8_t> body,
                        std::string& error) {
  if (body.size() < 64 * 1024) {
    std::vector<uint8_t> payload(head.begin(), head.end());
    payload.insert(payload.end(), body.begin(), body.end());
    return SendFrame(payload, error);
  }
  std::vector<uint8_t> start(kFrameHeaderBytes + head.size());
  PutFrameHeader(start.data(), static_cast<uint32_t>(head.size() + body.size()));
  std::memcpy(start.data() + kFrameHeaderBytes, head.data(), head.size());
  return SendRaw(start, error) && SendRaw(body, error);
}

int Channel::ReadExactly(uint8_t* data, size_t size, std::string& error) {
  size_t got = 0;
  while (got < size) {
    size_t read = 0;
    ERR_clear_error();
    errno = 0;
    if (SSL_read_ex(ssl_, data + got, size - got, &read) == 1) {
      got += read;
      continue;
    }
    const int reason = SSL_get_error(ssl_, 0);
    // The socket's receive timeout: OpenSSL tells it as a read to retry.
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE ||
        (reason == SSL_ERROR_SYSCALL && (errno == EAGAIN || errno == EWOULDBLOCK))) {
      if (got == 0) return -1;
      error = "the connection stalled inside a frame";
      return -2;
    }
    if (got == 0 &&
        (reason == SSL_ERROR_ZERO_RETURN || reason == SSL_ERROR_SYSCALL || reason == SSL_ERROR_SSL))
      return 0;
    error = "the connection ended inside a frame";
    return -2;
  }
  return 1;
}

FrameRead Channel::ReceiveFrame(std::vector<uint8_t>& payload, uint32_t limit, std::string& error) {
  uint32_t size = 0;
  return ReceiveFrame(
      [&payload](uint32_t bytes) {
        payload.resize(bytes);
        return payload.data();
      },
      limit, size, error);
}

FrameRead Channel::ReceiveFrame(const std::function<uint8_t*(uint32_t size)>& allocate,
                                uint32_t limit, uint32_t& size, std::string& error) {
  uint8_t header[kFrameHeaderBytes];
  const int got = ReadExactly(header, sizeof header, error);
  if (got == 0) return FrameRead::Closed;
  if (got == -1) {
    error = "nothing arrived within the timeout";
    return FrameRead::TimedOut;
  }
  if (got < 0) return FrameRead::Truncated;
  size = FrameSize(header);
  if (size > limit) {
    error = "a frame of " + std::to_string(size) + " bytes is longer than the limit of " +
            std::to_string(limit);
    return FrameRead::TooLong;
  }
  uint8_t* data = allocate(size);
  if (size == 0) return FrameRead::Ok;
  const int body = ReadExactly(data, size, error);
  if (body == 1) return FrameRead::Ok;
  error = "the connection ended inside a frame of " + std::to_string(size) + " bytes";
  return FrameRead::Truncated;
}

void Channel::Interrupt() {
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

PinCheck CheckPinnedCertificate(const std::string& file, const std::string& server,
                                const std::string& fingerprint, std::string& pinned,
                                std::string& error) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> guard(mutex);
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot open the pinned certificates \"" + file + "\": " + std::strerror(errno);
    return PinCheck::Failed;
  }
  flock(fd, LOCK_EX);  // other processes pinning at the same moment
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  std::istringstream lines(text);
  std::string line;
  PinCheck answer = PinCheck::FirstUse;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string name, value;
    if (!(words >> name >> value) || name != server) continue;
    pinned = value;
    answer = value == fingerprint ? PinCheck::Matches : PinCheck::Changed;
    break;
  }
  if (answer == PinCheck::FirstUse) {
    std::string entry = server + " " + fingerprint + "\n";
    if (!text.empty() && text.back() != '\n') entry.insert(entry.begin(), '\n');
    lseek(fd, 0, SEEK_END);
    if (write(fd, entry.data(), entry.size()) != static_cast<ssize_t>(entry.size())) {
      error = "cannot pin the certificate in \"" + file + "\": " + std::strerror(errno);
      answer = PinCheck::Failed;
    }
    pinned = fingerprint;
  }
  flock(fd, LOCK_UN);
  close(fd);
  return answer;
}

}  // namespace engine::net
