#include "engine/env/Connection.h"

#include "engine/util/LastError.h"
#include "engine/util/NumberText.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

namespace {

Status ConnectToServer(const std::string& folder, const ServerPath& server, std::string_view path) {
  auto network = LoadNetworkModule(folder);
  if (!network) return network.status();
  char message[512] = {0};
  const int code = network->ProbeServer(server.Host.c_str(), server.Port, kServerProbeTimeoutMs,
                                        message, sizeof message);
  if (code != 0)
    return Status(code, std::string(message) + " (connect path " + std::string(path) + ")");
  return Status(AE_REMOTE_UNAVAILABLE,
                "The server " + server.Host + ":" + std::to_string(server.Port) +
                    " answered, but this engine cannot open tables on a server yet "
                    "(connect path " +
                    std::string(path) + ")");
}

}  // namespace

Result<std::optional<ServerPath>> ParseServerPath(std::string_view path) {
  if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') return std::optional<ServerPath>();
  std::string_view rest = path.substr(2);
  const size_t end = rest.find('\\');
  std::string_view authority = rest.substr(0, end);
  ServerPath server;
  server.Rest = end == std::string_view::npos ? std::string() : std::string(rest.substr(end));
  if (const size_t colon = authority.find(':'); colon != std::string_view::npos) {
    int32_t port = 0;
    if (!ParseInteger(authority.substr(colon + 1), port) || port < 1 || port > 65535) {
      return Status(AE_INVALID_CONNECT_PATH,
                    "The server path \"" + std::string(path) + "\" has no valid port");
    }
    server.Port = static_cast<uint16_t>(port);
    authority = authority.substr(0, colon);
  }
  if (authority.empty()) {
    return Status(AE_INVALID_CONNECT_PATH,
                  "The server path \"" + std::string(path) + "\" names no server");
  }
  server.Host = std::string(authority);
  return std::optional<ServerPath>(std::move(server));
}

Result<std::unique_ptr<Connection>> Connection::Connect(std::string_view path) {
  auto environment = LoadEngineEnvironment();
  if (!environment) return NoteError(environment.status());
  auto server = ParseServerPath(path);
  if (!server) return NoteError(server.status());
  if (server->has_value())
    return NoteError(ConnectToServer((*environment)->Folder, **server, path));

  auto local = LoadLocalModule((*environment)->Folder);
  if (!local) return NoteError(local.status());
  const std::string folder(path);
  char resolved[4096] = {0};
  char message[512] = {0};
  const int code =
      local->AdmitFolder(folder.c_str(), (*environment)->Config.AllowRemoteControl ? 1 : 0,
                         resolved, sizeof resolved, message, sizeof message);
  if (code != 0) return NoteError(Status(code, message));
  auto connection = std::unique_ptr<Connection>(new Connection());
  connection->connect_path_ = folder;
  connection->folder_ = resolved;
  connection->environment_ = std::move(environment.value());
  return connection;
}

}  // namespace engine
