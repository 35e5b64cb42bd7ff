#include "engine/env/Connection.h"

#include "engine/env/RemoteSession.h"
#include "engine/net/Wire.h"
#include "engine/util/LastError.h"
#include "engine/util/NumberText.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/MountTable.h"

namespace engine {

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
  return Connect(path, 0);
}

Result<std::unique_ptr<Connection>> Connection::Connect(std::string_view path,
                                                        uint8_t server_types) {
  auto environment = LoadEngineEnvironment();
  if (!environment) return NoteError(environment.status());
  auto server = ParseServerPath(path);
  if (!server) return NoteError(server.status());
  const bool may_be_remote = server_types == 0 || (server_types & kServerTypeRemote) != 0;
  const bool may_be_local = server_types == 0 || (server_types & kServerTypeLocal) != 0;
  if (!server->has_value() && (server_types & kServerTypeRemote) != 0) {
    if (auto unc = platform::UncPathOfMountedPath(std::string(path))) {
      server = ParseServerPath(*unc);
      if (!server) return NoteError(server.status());
    }
  }
  if (server->has_value()) {
    if (!may_be_remote) {
      return NoteError(
          Status(AE_INVALID_CONNECT_PATH, "The server path \"" + std::string(path) +
                                              "\" needs a connection of the remote server type"));
    }
    auto session = RemoteSession::Open(**environment, **server);
    if (!session) {
      return NoteError(
          Status(session.status().Code(),
                 session.status().Message() + " (connect path " + std::string(path) + ")"));
    }
    net::WireWriter body;
    body.Text((*server)->Rest);
    auto admitted = (*session)->Call(net::Op::Connect, body);
    if (!admitted) return NoteError(admitted.status());
    auto connection = std::unique_ptr<Connection>(new Connection());
    connection->connect_path_ = std::string(path);
    connection->folder_ = (*server)->Rest;
    connection->environment_ = std::move(environment.value());
    connection->remote_ = std::move(session.value());
    return connection;
  }
  if (!may_be_local) {
    return NoteError(
        Status(AE_SERVER_NOT_FOUND, "No server serves \"" + std::string(path) +
                                        "\": it is on no network share, and the connection may use "
                                        "only a server"));
  }

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
