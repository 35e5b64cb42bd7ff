#include "TableAtPath.h"

namespace dbtool {

void SplitTablePath(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
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

engine::Result<std::unique_ptr<engine::Connection>> ConnectToFolderOf(const std::string& path) {
  std::string folder, name;
  SplitTablePath(path, folder, name);
  return engine::Connection::Connect(folder);
}

engine::Result<TableAtPath> OpenTableAt(const std::string& path, engine::OpenMode mode) {
  std::string folder, name;
  SplitTablePath(path, folder, name);
  auto connection = engine::Connection::Connect(folder);
  if (!connection) return connection.status();
  auto table = engine::Table::Open(**connection, name, mode);
  if (!table) return table.status();
  TableAtPath opened;
  opened.Connection = std::move(connection.value());
  opened.Table = std::move(table.value());
  return opened;
}

}  // namespace dbtool
