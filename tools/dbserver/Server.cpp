#include "Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/net/Channel.h"

namespace dbserver {

namespace {

constexpr int kTlsHandshakeTimeoutMs = 10000;

}  // namespace

Server::Server(ServerConfig config, LogFn log) : config_(std::move(config)), log_(std::move(log)) {}

Server::~Server() {
  Reap(true);
  if (listener_ >= 0) close(listener_);
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

bool Server::Start(std::string& error) {
  context_ = engine::net::MakeServerContext(config_.StateDir, error);
  if (!context_) return false;
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) {
    error = std::string("cannot make a socket: ") + std::strerror(errno);
    return false;
  }
  const int one = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(config_.Port);
  inet_pton(AF_INET, config_.Listen.c_str(), &address.sin_addr);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 128) != 0) {
    error = "cannot listen on " + config_.Listen + ":" + std::to_string(config_.Port) + ": " +
            std::strerror(errno);
    return false;
  }
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  return true;
}

void Server::Stop() {
  if (wake_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
  }
}

void Server::Run() {
  std::string ranges;
  for (const std::string& range : config_.AllowedText)
    ranges += (ranges.empty() ? "" : ", ") + range;
  log_("listening on " + config_.Listen + ":" + std::to_string(port_) + ", clients allowed from " +
       ranges);
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    // Wakes now and then to reap finished sessions.
    const int ready = poll(fds, 2, 1000);
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) break;
    Reap(false);
    if (ready <= 0 || !(fds[0].revents & POLLIN)) continue;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) continue;
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    const uint32_t address = ntohl(peer.sin_addr.s_addr);
    bool allowed = false;
    for (const AddressRange& range : config_.Allowed) allowed = allowed || range.Contains(address);
    if (!allowed) {
      log_(std::string("refused ") + text + ": not among the allowed clients");
      close(fd);
      continue;
    }
    size_t running = 0;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      running = sessions_.size();
    }
    if (running >= config_.MaxConnections) {
      log_(std::string("refused ") + text + ": " + std::to_string(running) +
           " connections are open, the most allowed");
      close(fd);
      continue;
    }
    Admit(fd);
  }
  log_("stopping: " + std::to_string(sessions_.size()) + " connection(s) to close");
  Reap(true);
}

void Server::Admit(int fd) {
  auto running = std::make_unique<Running>();
  Running* self = running.get();
  const uint64_t id = next_id_++;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    sessions_.push_back(std::move(running));
  }
  self->Thread = std::thread([this, self, fd, id] {
    std::string error;
    auto channel = engine::net::Channel::Accept(context_, fd, kTlsHandshakeTimeoutMs, error);
    if (!channel) {
      log_("connection " + std::to_string(id) + ": " + error);
    } else {
      log_("connection " + std::to_string(id) + " from " + channel->PeerAddress() + " opened");
      auto session = std::make_unique<Session>(config_, std::move(channel), id, log_);
      {
        std::lock_guard<std::mutex> guard(mutex_);
        self->Client = std::move(session);
      }
      self->Client->Run();
      std::lock_guard<std::mutex> guard(mutex_);
      self->Client.reset();
    }
    self->Done = true;
  });
}

void Server::Reap(bool all) {
  std::list<std::unique_ptr<Running>> finished;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (all && (*it)->Client) (*it)->Client->Interrupt();
      if (all || (*it)->Done) {
        finished.push_back(std::move(*it));
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& running : finished) {
    if (running->Thread.joinable()) running->Thread.join();
  }
}

}  // namespace dbserver
