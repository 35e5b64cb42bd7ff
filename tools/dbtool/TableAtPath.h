// A table named by a file path, as dbtool's commands take it: a local
// connection to the path's folder and the table opened by its file name.
#pragma once

#include <memory>
#include <string>

#include "engine/env/Connection.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"

namespace dbtool {

struct TableAtPath {
  std::unique_ptr<engine::Connection> Connection;
  std::unique_ptr<engine::Table> Table;
};

// The folder ("." when the path has none) and the file name of `path`.
void SplitTablePath(const std::string& path, std::string& folder, std::string& name);

engine::Result<std::unique_ptr<engine::Connection>> ConnectToFolderOf(const std::string& path);
engine::Result<TableAtPath> OpenTableAt(const std::string& path, engine::OpenMode mode);

}  // namespace dbtool
