#include "engine/util/StagedFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"
#include "platform/Platform.h"

namespace engine {

namespace {

constexpr int kCreateAttempts = 100;

int IoErrorOf(const StagedNaming& naming) {
  return naming.IoError != 0 ? naming.IoError : AE_FILE_IO;
}

// A refusal of the system (AE_FILE_IO from LockedFile) under the naming's code.
Status Recode(Status status, const StagedNaming& naming) {
  if (status.Code() != AE_FILE_IO || IoErrorOf(naming) == AE_FILE_IO) return status;
  return Status(IoErrorOf(naming), status.Message());
}

Status OsError(const StagedNaming& naming, const std::string& what, int error_number) {
  return Status(IoErrorOf(naming), what + ": " + std::strerror(error_number));
}

std::string StagedNameFor(const std::string& target, const StagedNaming& naming) {
  static std::atomic<uint32_t> serial{0};
  std::string name = target;
  name.append(naming.Tag);
  if (naming.Unique) name += std::to_string(getpid()) + "-" + std::to_string(serial.fetch_add(1));
  name.append(naming.Suffix);
  return name;
}

// True when `fd` is still the file named `path`: a clean-up elsewhere may
// have removed the name between its creation and the lock.
bool StillNamed(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

Result<LockedFile> CreateStaged(const std::string& target, const StagedNaming& naming) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string path = StagedNameFor(target, naming);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      const int error_number = errno;
      if (error_number == EEXIST && naming.Unique) continue;  // taken: the next serial
      if (error_number == EEXIST) return Status(AE_TABLE_EXISTS, "\"" + path + "\" exists already");
      return OsError(naming, "Cannot create \"" + path + "\"", error_number);
    }
    const bool locked = platform::LockFile(fd, platform::LockKind::Exclusive);
    const int lock_error = platform::GetLastError();
    if (locked && StillNamed(fd, path))
      return LockedFile::Adopt(fd, path, platform::LockKind::Exclusive, /*writable=*/true);
    close(fd);
    // Locked by a clean-up that removes it, or removed already: not ours any
    // more. Anything else is a real failure.
    if (!locked && lock_error != EBUSY)
      return OsError(naming, "Cannot lock \"" + path + "\"", lock_error);
  }
  return Status(IoErrorOf(naming), "Cannot find a free temporary name beside \"" + target + "\"");
}

Status PutStagedInPlace(LockedFile& file, const std::string& target, bool replace,
                        const StagedNaming& naming, const std::function<void()>& on_synced) {
  if (fsync(file.Fd()) != 0) return OsError(naming, "Cannot sync \"" + file.Path() + "\"", errno);
  if (on_synced) on_synced();
  if (Status s = file.RenameTo(target, replace); !s) return Recode(s, naming);
  return Recode(SyncFolder(FolderOfPath(target)), naming);
}

bool IsStagedNameOf(std::string_view name, std::string_view target_name,
                    const StagedNaming& naming) {
  const size_t fixed = target_name.size() + naming.Tag.size();
  const size_t least = fixed + naming.Suffix.size() + (naming.Unique ? 1 : 0);
  if (naming.Unique ? name.size() < least : name.size() != least) return false;
  return EqualsIgnoringCase(name.substr(0, target_name.size()), target_name) &&
         EqualsIgnoringCase(name.substr(target_name.size(), naming.Tag.size()), naming.Tag) &&
         EqualsIgnoringCase(name.substr(name.size() - naming.Suffix.size()), naming.Suffix);
}

Result<int> RemoveStaleStaged(const std::string& target, const StagedNaming& naming) {
  std::vector<std::string> found;
  if (!naming.Unique) {
    // One name to look for, without a listing of the folder.
    const std::string path = platform::FindFileIgnoringCase(StagedNameFor(target, naming));
    if (!path.empty()) found.push_back(path);
  } else {
    const std::string folder = FolderOfPath(target);
    const std::string target_name = FileNameOfPath(target);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return OsError(naming, "Cannot list the folder \"" + folder + "\"", errno);
    while (const dirent* entry = readdir(dir)) {
      if (IsStagedNameOf(entry->d_name, target_name, naming))
        found.push_back(folder + "/" + entry->d_name);
    }
    closedir(dir);
  }
  int removed = 0;
  for (const std::string& path : found) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;  // gone meanwhile, or not a file of ours
    struct stat st {};
    // A writer holds its file locked exclusively until it is in place or
    // gone; this lock is refused while it does, and keeps a new writer from
    // taking the file while it is removed.
    const bool stale = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       platform::LockFile(fd, platform::LockKind::Shared) && StillNamed(fd, path);
    const bool unlinked = stale && unlink(path.c_str()) == 0;
    const int error_number = errno;
    close(fd);
    if (unlinked) {
      ++removed;
    } else if (stale && error_number != ENOENT) {
      return OsError(naming, "Cannot remove the stale temporary file \"" + path + "\"",
                     error_number);
    }
  }
  return removed;
}

}  // namespace engine
