#include "TableAtPath.h"

#include "engine/util/TableErrorCodes.h"

namespace dbtool {

bool IsServerPath(const std::string& path) {
  return path.rfind("\\\\", 0) == 0;
}

void SplitTablePath(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind(IsServerPath(path) ? '\\' : '/');
  // One character assigned as a count and a char: GCC 12 warns falsely
  // (-Wrestrict) about assigning a short literal to a string.
  if (slash == std::string::npos) {
    folder.assign(1, '.');
    name = path;
  } else {
    folder = slash == 0 ? std::string(1, '/') : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

engine::Result<std::unique_ptr<engine::Connection>> ConnectToFolderOf(const std::string& path,
                                                                      bool remote_ok) {
  std::string folder, name;
  SplitTablePath(path, folder, name);
  if (IsServerPath(path) && !remote_ok) {
    return engine::Status(engine::AE_REMOTE_UNAVAILABLE,
                          "this command works on local tables only, not on \"" + path + "\"");
  }
  return engine::Connection::Connect(folder);
}

engine::Result<TableAtPath> OpenTableAt(const std::string& path, engine::OpenMode mode,
                                        bool remote_ok) {
  std::string folder, name;
  SplitTablePath(path, folder, name);
  if (IsServerPath(path) && !remote_ok) {
    return engine::Status(engine::AE_REMOTE_UNAVAILABLE,
                          "this command works on local tables only, not on \"" + path + "\"");
  }
  auto connection = engine::Connection::Connect(folder);
  if (!connection) return connection.status();
  if ((*connection)->IsRemote()) {
    auto remote = engine::RemoteTable::Open(**connection, name, mode);
    if (!remote) return remote.status();
    TableAtPath opened;
    opened.Connection = std::move(connection.value());
    opened.Remote = std::move(remote.value());
    return opened;
  }
  auto table = engine::Table::Open(**connection, name, mode);
  if (!table) return table.status();
  TableAtPath opened;
  opened.Connection = std::move(connection.value());
  opened.Table = std::move(table.value());
  return opened;
}

}  // namespace dbtool
