#include "engine/env/TablePasswordMemory.h"

namespace engine {

const std::shared_ptr<TablePasswordMemory>& TablePasswordMemory::ForProgram() {
  static const auto memory = std::make_shared<TablePasswordMemory>();
  return memory;
}

void TablePasswordMemory::Remember(const std::string& table, std::string password) {
  std::lock_guard lock(mutex_);
  passwords_[table] = std::move(password);
}

void TablePasswordMemory::Forget(const std::string& table) {
  std::lock_guard lock(mutex_);
  passwords_.erase(table);
}

std::optional<std::string> TablePasswordMemory::Find(const std::string& table) const {
  std::lock_guard lock(mutex_);
  const auto found = passwords_.find(table);
  if (found == passwords_.end()) return std::nullopt;
  return found->second;
}

}  // namespace engine
