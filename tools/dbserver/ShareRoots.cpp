#include "ShareRoots.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/net/NetErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace dbserver {

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool Resolve(const std::string& path, std::string& resolved) {
  char full[PATH_MAX];
  if (!realpath(path.c_str(), full)) return false;
  resolved = full;
  return true;
}

}  // namespace

bool InsideShare(const std::string& root, const std::string& path) {
  std::string resolved;
  if (!Resolve(path, resolved)) return false;
  if (root == "/") return true;
  return resolved == root || (resolved.rfind(root, 0) == 0 && resolved[root.size()] == '/');
}

int ResolveShareFolder(const std::vector<Share>& shares, const std::string& path,
                       ResolvedFolder& out, std::string& error) {
  const auto refuse = [&](const std::string& why) {
    error = "The path \"" + path + "\" is refused: " + why;
    return engine::AE_SHARE_PATH;
  };
  if (path.empty() || path[0] != '\\') return refuse("it names no share (\\SHARE\\...)");
  if (path.find('\0') != std::string::npos) return refuse("it holds a NUL");
  std::vector<std::string> parts;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return refuse("\"..\" may not leave a folder of a share");
    if (part.find('/') != std::string::npos)
      return refuse("\"/\" (an absolute or foreign path) is not part of a share path");
    if (part.find(':') != std::string::npos)
      return refuse("a drive or stream (\":\") is not part of a share path");
    parts.push_back(std::move(part));
  }
  if (parts.empty()) return refuse("it names no share (\\SHARE\\...)");
  const Share* share = nullptr;
  for (const Share& candidate : shares) {
    if (SameTextIgnoringCase(candidate.Name, parts[0])) share = &candidate;
  }
  if (!share) return refuse("this server has no share \"" + parts[0] + "\"");
  if (!Resolve(share->Folder, out.ShareRoot)) {
    error = "The folder of the share \"" + share->Name + "\" is missing on the server";
    return engine::AE_FOLDER_NOT_FOUND;
  }
  std::string folder = out.ShareRoot;
  for (size_t i = 1; i < parts.size(); ++i) folder += "/" + parts[i];
  if (!Resolve(folder, out.Folder)) {
    error = "Database folder \"" + path + "\" not found on the server: " + std::strerror(errno);
    return engine::AE_FOLDER_NOT_FOUND;
  }
  if (!InsideShare(out.ShareRoot, out.Folder))
    return refuse("a symbolic link leads out of the share \"" + share->Name + "\"");
  return 0;
}

}  // namespace dbserver
