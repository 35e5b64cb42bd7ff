#include "platform/MountTable.h"

#include <sys/vfs.h>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace platform {

namespace {

std::mutex& TableMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& TableFile() {
  static std::string file;
  return file;
}

// mountinfo escapes blanks and a few other bytes as \ooo.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string digits = text.substr(i + 1, 3);
      if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// "//host/share/sub" or "host:/export/sub" as \\host\share\sub.
std::optional<std::string> UncOfSource(const std::string& type, const std::string& source) {
  std::string host, rest;
  if (type == "cifs" || type == "smb3" || type == "smbfs") {
    if (source.rfind("//", 0) != 0) return std::nullopt;
    const size_t slash = source.find('/', 2);
    if (slash == std::string::npos) return std::nullopt;
    host = source.substr(2, slash - 2);
    rest = source.substr(slash);
  } else if (type == "nfs" || type == "nfs4") {
    const size_t colon = source.find(":/");
    if (colon == std::string::npos) return std::nullopt;
    host = source.substr(0, colon);
    rest = source.substr(colon + 1);
  } else {
    return std::nullopt;
  }
  if (host.empty() || rest.size() < 2) return std::nullopt;
  while (rest.size() > 1 && rest.back() == '/') rest.pop_back();
  std::string unc = "\\\\" + host;
  for (char c : rest) unc += c == '/' ? '\\' : c;
  return unc;
}

// The deepest mount of the table that holds `path`.
struct Mount {
  std::string Full;  // the path as the system resolves it
  std::string Point;
  std::string Type;
  std::string Source;
};

std::optional<Mount> MountOf(const std::string& path) {
  if (path.empty() || path[0] != '/') return std::nullopt;
  std::string file;
  {
    std::lock_guard<std::mutex> guard(TableMutex());
    file = TableFile();
  }
  if (file.empty()) {
    const char* named = std::getenv("ENGINE_MOUNT_TABLE");
    file = named && *named ? named : "/proc/self/mountinfo";
  }
  Mount mount;
  // The path as the system resolves it when it exists (a symbolic link into
  // a share), else as given.
  mount.Full = path;
  if (char resolved[PATH_MAX]; realpath(path.c_str(), resolved)) mount.Full = resolved;
  std::ifstream in(file);
  std::string line;
  bool found = false;
  while (std::getline(in, line)) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string word; words >> word;) fields.push_back(word);
    size_t dash = 0;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (fields.size() < 5 || dash + 2 >= fields.size()) continue;
    const std::string point = Unescape(fields[4]);
    const std::string& full = mount.Full;
    const bool inside =
        full == point || (full.rfind(point, 0) == 0 && (point == "/" || full[point.size()] == '/'));
    if (!inside || (found && point.size() < mount.Point.size())) continue;
    found = true;
    mount.Point = point;
    mount.Type = fields[dash + 1];
    mount.Source = Unescape(fields[dash + 2]);
  }
  if (!found) return std::nullopt;
  return mount;
}

bool IsNetworkType(const std::string& type) {
  for (const char* network : {"cifs", "smb3", "smbfs", "nfs", "nfs4", "9p", "ceph", "fuse.sshfs"}) {
    if (type == network) return true;
  }
  return false;
}

bool IsNetworkMagic(long magic) {
  switch (static_cast<unsigned long>(magic)) {
    case 0x6969:      // NFS
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x517B:      // SMB
    case 0x01021997:  // 9P
    case 0x00C36400:  // Ceph
      return true;
    default:
      return false;
  }
}

}  // namespace

void SetMountTableFile(const std::string& file) {
  std::lock_guard<std::mutex> guard(TableMutex());
  TableFile() = file;
}

std::optional<std::string> UncPathOfMountedPath(const std::string& path) {
  const std::optional<Mount> mount = MountOf(path);
  if (!mount) return std::nullopt;
  // A deeper mount that is no network share hides the share.
  auto unc = UncOfSource(mount->Type, mount->Source);
  if (!unc) return std::nullopt;
  std::string below = mount->Full.substr(mount->Point == "/" ? 0 : mount->Point.size());
  for (char& c : below) c = c == '/' ? '\\' : c;
  if (below == "\\") below.clear();
  return *unc + below;
}

std::string MountPointOfPath(const std::string& path) {
  const std::optional<Mount> mount = MountOf(path);
  return mount ? mount->Point : std::string();
}

int DriveTypeOfPath(const std::string& path) {
  struct statfs volume {};
  if (path.empty() || statfs(path.c_str(), &volume) != 0) return kDriveNoRootDir;
  if (const std::optional<Mount> mount = MountOf(path))
    return IsNetworkType(mount->Type) ? kDriveRemote : kDriveFixed;
  return IsNetworkMagic(static_cast<long>(volume.f_type)) ? kDriveRemote : kDriveFixed;
}

}  // namespace platform
