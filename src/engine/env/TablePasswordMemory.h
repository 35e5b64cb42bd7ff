// The passwords a program enabled on its encrypted tables. A program enables a
// table's password on the table it opened; the statements it then runs (on
// that connection or another one of the same program) open the table
// themselves and find the password here, while every other open of the table
// still needs it enabled anew. One memory serves the program's local
// connections; a server keeps one for each client's session, so no client's
// statement reads a table with another client's password. Shared between the
// connections and their tables, which may outlive one another.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace engine {

class TablePasswordMemory {
 public:
  // The memory of this program's local connections.
  static const std::shared_ptr<TablePasswordMemory>& ForProgram();

  // `table` is the table file's path.
  void Remember(const std::string& table, std::string password);
  void Forget(const std::string& table);
  std::optional<std::string> Find(const std::string& table) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> passwords_;  // file name -> password
};

}  // namespace engine
