#include "FuzzSupport.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace fuzz {

namespace {

namespace fs = std::filesystem;

// The folders made by this process, removed at its end (not in a child).
struct Folders {
  std::vector<std::string> Paths;
  pid_t Owner = getpid();
  ~Folders() {
    if (getpid() != Owner) return;
    std::error_code ignored;
    for (const std::string& path : Paths) fs::remove_all(path, ignored);
  }
};

}  // namespace

std::string MakeFolder(const char* prefix) {
  static Folders made;
  std::string pattern = (fs::temp_directory_path() / prefix).string() + "-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  made.Paths.push_back(pattern);
  return pattern;
}

const std::string& ScratchFolder() {
  static const std::string folder = MakeFolder("ri-fuzz");
  return folder;
}

std::string ScratchPath(const std::string& name) {
  return ScratchFolder() + "/" + name;
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WriteText(const std::string& path, std::string_view text) {
  WriteBytes(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace fuzz
