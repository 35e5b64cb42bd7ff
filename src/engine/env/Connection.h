// A connection to a database: a folder of tables reached through the local
// engine, or a server named by a path in UNC form.
//
// A local connect admits the folder through the local module (adsloc32.dll),
// which refuses a remote-control session when adslocal.cfg forbids one
// (5185). A connect path of the form \\host\share\... or \\host:port\...
// is a server path: the network module (axcws32.dll) tries a TCP connection
// to the host (port 6262 unless one is given) and a silent server is 6420.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/env/EngineEnvironment.h"
#include "engine/util/EngineError.h"

namespace engine {

inline constexpr uint16_t kDefaultServerPort = 6262;
inline constexpr unsigned kServerProbeTimeoutMs = 2000;

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
  // for a missing module, 8118/8119 for unusable engine files, 8127 when a
  // server answers (this engine has no remote tables yet).
  static Result<std::unique_ptr<Connection>> Connect(std::string_view path);

  const std::string& ConnectPath() const { return connect_path_; }
  // The database folder, absolute and resolved.
  const std::string& Folder() const { return folder_; }
  // "Local" (remote connections arrive with the server).
  const char* TypeText() const { return "Local"; }
  const std::shared_ptr<const EngineEnvironment>& Environment() const { return environment_; }

 private:
  std::string connect_path_;
  std::string folder_;
  std::shared_ptr<const EngineEnvironment> environment_;
};

}  // namespace engine
