// The mounted network shares of the system, as the mount table lists them:
// what Windows calls the UNC form of a path on a mapped network drive.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The UNC form (\\host\share\rest, backslashes) of `path` when it lies on a
// mounted network share (cifs, smb3, smbfs: the source //host/share; nfs:
// host:/export), else nothing. The deepest mount point that holds the path
// wins. A host written host:port keeps its port (\\host:port\share\...).
//
// The table read is /proc/self/mountinfo, or the file that the environment
// variable ENGINE_MOUNT_TABLE names (same format): for an installation whose
// share is reached in a way the system's table does not show, and for the
// demo's server installation on loopback.
std::optional<std::string> UncPathOfMountedPath(const std::string& path);

// What Windows calls the drive type of the volume `path` lies on:
// kDriveRemote for a network share (a mount of type cifs, smb3, smbfs, nfs,
// nfs4, 9p, ceph or fuse.sshfs in the mount table read above; for a path the
// table does not cover, the file system statfs reports), kDriveFixed for a
// local disk, kDriveNoRootDir for a path that does not exist.
inline constexpr int kDriveNoRootDir = 1;
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;
int DriveTypeOfPath(const std::string& path);

// The mount point (the deepest) that holds `path` in the mount table read
// above, or empty when the table lists none: the "drive" of a path.
std::string MountPointOfPath(const std::string& path);

// Reads the mount table from `file` (in the format of /proc/self/mountinfo)
// instead of the system's; an empty text goes back to the system's. For
// tests.
void SetMountTableFile(const std::string& file);

}  // namespace platform
