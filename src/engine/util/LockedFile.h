// A file the engine holds open under an OS lock: the table file of an open
// table and, beside it, its index file. Reads and writes answer engine errors
// that name the file and the OS error.
//
// The lock is an open-file-description lock over the whole file
// (platform::LockFile): shared opens admit each other, an exclusive open
// admits nothing, across processes and between two opens in one process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/util/EngineError.h"
#include "platform/Platform.h"

namespace engine {

class LockedFile {
 public:
  LockedFile() = default;
  ~LockedFile() { Close(); }
  LockedFile(LockedFile&& other) noexcept { *this = std::move(other); }
  LockedFile& operator=(LockedFile&& other) noexcept;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  // Opens an existing file and takes `lock` without waiting. The file is
  // opened for writing when `lock` is exclusive; a shared open writes when the
  // file allows it and reads only otherwise. A lock held elsewhere answers
  // AE_TABLE_IN_USE; the caller words the message for the table.
  static Result<LockedFile> Open(const std::string& path, platform::LockKind lock);

  // Creates a new file (never replacing one) and locks it exclusively.
  static Result<LockedFile> CreateNew(const std::string& path);

  // Takes over `fd`, open on `path` and locked with `lock` by the caller.
  static LockedFile Adopt(int fd, std::string path, platform::LockKind lock, bool writable);

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  platform::LockKind Lock() const { return lock_; }
  bool Writable() const { return writable_; }

  Result<uint64_t> Size() const;
  // Reads exactly `size` bytes; an end of file before that is an error.
  Status ReadAt(uint64_t offset, void* buffer, size_t size) const;
  Status WriteAt(uint64_t offset, const void* buffer, size_t size);
  Status Sync();
  Status Truncate(uint64_t size);

  // Renames the file while it stays open and locked. Without `replace` an
  // existing file at `new_path` is an error (8104) and stays as it is.
  Status RenameTo(const std::string& new_path, bool replace);

  // Drops the lock and the descriptor (nothing happens when not open).
  void Close();

 private:
  Status OsError(const char* action, int error_number) const;

  int fd_ = -1;
  std::string path_;
  platform::LockKind lock_ = platform::LockKind::Shared;
  bool writable_ = false;
};

// Makes a directory entry change (create, rename, delete) in `folder` durable.
Status SyncFolder(const std::string& folder);

// The folder part of `path` ("." when it has none).
std::string FolderOfPath(const std::string& path);

// The file-name part of `path` (all of it when it has no folder).
std::string FileNameOfPath(const std::string& path);

}  // namespace engine
