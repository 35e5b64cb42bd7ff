// A table named by a file path, as dbtool's commands take it: a connection
// to the path's folder and the table opened by its file name. A path of the
// form \\host[:port]\SHARE\...\TABLE.ADT names a table on a server: the
// connection is remote and the table opens as a RemoteTable.
#pragma once

#include <memory>
#include <string>

#include "engine/env/Connection.h"
#include "engine/sql/RemoteTable.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"

namespace dbtool {

struct TableAtPath {
  std::unique_ptr<engine::Connection> Connection;
  std::unique_ptr<engine::Table> Table;         // a local table
  std::unique_ptr<engine::RemoteTable> Remote;  // or one on a server
};

// Whether `path` names a server (\\host...).
bool IsServerPath(const std::string& path);

// The folder ("." when the path has none) and the file name of `path`
// (split at the last "\\" for a server path).
void SplitTablePath(const std::string& path, std::string& folder, std::string& name);

// A server path is refused unless `remote_ok`.
engine::Result<std::unique_ptr<engine::Connection>> ConnectToFolderOf(const std::string& path,
                                                                      bool remote_ok = false);
// A server path is refused unless `remote_ok` (the command works through a
// server).
engine::Result<TableAtPath> OpenTableAt(const std::string& path, engine::OpenMode mode,
                                        bool remote_ok = false);

}  // namespace dbtool
