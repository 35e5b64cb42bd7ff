// Confines every path a client names to the server's shares.
//
// A client names a folder as \SHARE\sub\folder (the part of its connect
// path after the host). The share is looked up by name ignoring case; the
// rest may not hold "..", a "/" (an absolute or foreign path), a drive
// ("C:") or NUL, and the folder it names, resolved through every symbolic
// link, must lie inside the share's own resolved folder. Tables are checked
// the same way once found, so a link that leaves the share is refused.
#pragma once

#include <string>
#include <vector>

#include "ServerConfig.h"

namespace dbserver {

struct ResolvedFolder {
  std::string Folder;     // resolved, absolute
  std::string ShareRoot;  // the share's folder, resolved, absolute
};

// 0 with `out` filled, or the engine code (8146 outside a share, 8100 for a
// folder that does not exist) with `error`.
int ResolveShareFolder(const std::vector<Share>& shares, const std::string& path,
                       ResolvedFolder& out, std::string& error);

// Whether `path` (which must exist), resolved, lies inside `root`.
bool InsideShare(const std::string& root, const std::string& path);

}  // namespace dbserver
