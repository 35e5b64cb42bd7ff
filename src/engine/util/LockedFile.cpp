#include "engine/util/LockedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/util/FileIo.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    lock_ = other.lock_;
    writable_ = other.writable_;
  }
  return *this;
}

Status LockedFile::OsError(const char* action, int error_number) const {
  return Status(AE_FILE_IO, std::string("Cannot ") + action + " \"" + path_ +
                                "\": " + std::strerror(error_number));
}

Result<LockedFile> LockedFile::Open(const std::string& path, platform::LockKind lock) {
  LockedFile file;
  file.path_ = path;
  file.lock_ = lock;
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  file.writable_ = fd >= 0;
  if (fd < 0 && (errno == EACCES || errno == EROFS) && lock == platform::LockKind::Shared) {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    const int error_number = errno;
    if (error_number == EACCES || error_number == EROFS) {
      return Status(AE_READ_ONLY,
                    "Cannot open \"" + path + "\" for writing: " + std::strerror(error_number));
    }
    return file.OsError("open", error_number);
  }
  file.fd_ = fd;
  struct stat st {};
  if (fstat(fd, &st) != 0) return file.OsError("examine", errno);
  if (!S_ISREG(st.st_mode)) return Status(AE_FILE_IO, "\"" + path + "\" is not a regular file");
  if (!platform::LockFile(fd, lock)) {
    const int error_number = platform::GetLastError();
    if (error_number == EBUSY) return Status(AE_TABLE_IN_USE, "\"" + path + "\" is in use");
    return file.OsError("lock", error_number);
  }
  return file;
}

Result<LockedFile> LockedFile::CreateNew(const std::string& path) {
  LockedFile file;
  file.path_ = path;
  file.lock_ = platform::LockKind::Exclusive;
  file.writable_ = true;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return Status(AE_TABLE_EXISTS, "\"" + path + "\" exists already");
    return file.OsError("create", errno);
  }
  file.fd_ = fd;
  if (!platform::LockFile(fd, platform::LockKind::Exclusive)) {
    return file.OsError("lock", platform::GetLastError());
  }
  return file;
}

LockedFile LockedFile::Adopt(int fd, std::string path, platform::LockKind lock, bool writable) {
  LockedFile file;
  file.fd_ = fd;
  file.path_ = std::move(path);
  file.lock_ = lock;
  file.writable_ = writable;
  return file;
}

Result<uint64_t> LockedFile::Size() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return OsError("examine", errno);
  return static_cast<uint64_t>(st.st_size);
}

Status LockedFile::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  const FileIoResult read = ReadFully(fd_, buffer, size, offset);
  if (read.Errno != 0) return OsError("read", read.Errno);
  if (read.Ended) {
    return Status(AE_TABLE_TRUNCATED,
                  "\"" + path_ + "\" ends before offset " + std::to_string(offset + size));
  }
  return Status::Ok();
}

Status LockedFile::WriteAt(uint64_t offset, const void* buffer, size_t size) {
  if (!writable_) return Status(AE_READ_ONLY, "\"" + path_ + "\" is open for reading only");
  const FileIoResult written = WriteFully(fd_, buffer, size, offset);
  if (written.Errno != 0) return OsError("write", written.Errno);
  return Status::Ok();
}

Status LockedFile::Sync() {
  if (fdatasync(fd_) != 0) return OsError("sync", errno);
  return Status::Ok();
}

Status LockedFile::Truncate(uint64_t size) {
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) return OsError("truncate", errno);
  return Status::Ok();
}

Status LockedFile::RenameTo(const std::string& new_path, bool replace) {
  int rc = replace
               ? rename(path_.c_str(), new_path.c_str())
               : renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, new_path.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
    // File systems without RENAME_NOREPLACE: a hard link is refused just as
    // atomically when the name is taken.
    rc = link(path_.c_str(), new_path.c_str());
    if (rc == 0) unlink(path_.c_str());
  }
  if (rc != 0) {
    if (errno == EEXIST) return Status(AE_TABLE_EXISTS, "\"" + new_path + "\" exists already");
    return Status(AE_FILE_IO, "Cannot rename \"" + path_ + "\" to \"" + new_path +
                                  "\": " + std::strerror(errno));
  }
  path_ = new_path;
  return Status::Ok();
}

void LockedFile::Close() {
  if (fd_ >= 0) {
    close(fd_);  // closing the description drops its lock
    fd_ = -1;
  }
}

Status SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return Status(AE_FILE_IO, "Cannot open folder \"" + folder + "\": " + std::strerror(errno));
  const int rc = fsync(fd);
  const int error_number = errno;
  close(fd);
  if (rc != 0)
    return Status(AE_FILE_IO,
                  "Cannot sync folder \"" + folder + "\": " + std::strerror(error_number));
  return Status::Ok();
}

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string FileNameOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace engine
