// A connection to a database: a folder of tables reached through the local
// engine, or a server named by a path in UNC form.
//
// A local connect admits the folder through the local module (adsloc32.dll),
// which refuses a remote-control session when adslocal.cfg forbids one
// (5185). A connect path of the form \\host\share\... or \\host:port\...
// is a server path: the network module (axcws32.dll) opens a TLS session
// with dbserver on the host (port 6262 unless one is given; a silent server
// is 6420) and the server admits the rest of the path inside one of its
// shares. Tables of such a connection open as RemoteTable (net/RemoteTable.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/env/EngineEnvironment.h"
#include "engine/env/TablePasswordMemory.h"
#include "engine/util/EngineError.h"

namespace engine {

inline constexpr uint16_t kDefaultServerPort = 6262;
inline constexpr unsigned kServerProbeTimeoutMs = 2000;

// The server types a connection may use, as a set of bits.
inline constexpr uint8_t kServerTypeRemote = 1;  // a database server
inline constexpr uint8_t kServerTypeLocal = 2;   // the local engine in this process

class RemoteSession;

// The parts of a server path \\host[:port]\rest.
struct ServerPath {
  std::string Host;
  uint16_t Port = kDefaultServerPort;
  std::string Rest;  // the path on the server, from the first backslash after the host on
};

// Whether `path` names a server (starts with two backslashes); when it does,
// `server` receives its parts, or the answer is an error (8101) for a server
// path that cannot be read.
Result<std::optional<ServerPath>> ParseServerPath(std::string_view path);

class Connection {
 public:
  // Connects to `path`. Errors: 8100 for a missing folder, 5185, 6420, 8116
  // for a missing module, 8118/8119 for unusable engine files; through a
  // server the handshake's (6316, 6633, 8141, 8143), and the server's own
  // for the path (8146 outside its shares, 8100).
  static Result<std::unique_ptr<Connection>> Connect(std::string_view path);
  // The same with the server types allowed (0: any, by the path's form).
  // With the remote type, a path on a mounted network share connects to
  // its server through the path's UNC form (platform::UncPathOfMountedPath);
  // a server path without the remote type is 8101, and a folder that is on
  // no server without the local type is 6420.
  static Result<std::unique_ptr<Connection>> Connect(std::string_view path, uint8_t server_types);

  const std::string& ConnectPath() const { return connect_path_; }
  // The database folder, absolute and resolved; for a server, the path
  // after the host (\share\...).
  const std::string& Folder() const { return folder_; }
  // "Local", or "Remote" through a server.
  const char* TypeText() const { return remote_ ? "Remote" : "Local"; }
  bool IsRemote() const { return remote_ != nullptr; }
  const std::shared_ptr<RemoteSession>& Remote() const { return remote_; }
  const std::shared_ptr<const EngineEnvironment>& Environment() const { return environment_; }
  // The passwords enabled on the tables of this program's connections (its
  // statements open encrypted tables with them).
  const std::shared_ptr<TablePasswordMemory>& Passwords() const { return passwords_; }
  // A memory of this connection's own instead (a server's client session).
  void KeepPasswordsToItself() { passwords_ = std::make_shared<TablePasswordMemory>(); }

 private:
  std::string connect_path_;
  std::string folder_;
  std::shared_ptr<const EngineEnvironment> environment_;
  std::shared_ptr<RemoteSession> remote_;
  std::shared_ptr<TablePasswordMemory> passwords_ = TablePasswordMemory::ForProgram();
};

}  // namespace engine
