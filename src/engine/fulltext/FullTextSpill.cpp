#include "engine/fulltext/FullTextSpill.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "engine/util/FileIo.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

namespace {

constexpr size_t kGather = 1 << 20;  // bytes gathered before one write

Status SpillError(const std::string& what, const std::string& folder, int error) {
  return Status(AE_INDEX_SORT_IO, "Cannot " + what + " a temporary full-text file in " + folder +
                                      ": " + std::strerror(error));
}

}  // namespace

SpillFile::~SpillFile() {
  Close();
}

void SpillFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  size_ = 0;
  buffer_.clear();
  buffer_.shrink_to_fit();
}

Status SpillFile::Create(const std::string& folder) {
  Close();
  folder_ = folder.empty() ? "." : folder;
  int fd = open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return SpillError("create", folder_, errno);
  }
  if (fd < 0) {
    // No unnamed files on this file system: name one and remove the name at once.
    static std::atomic<uint32_t> serial{0};
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      const std::string name = folder_ + "/.~fulltext-" + std::to_string(getpid()) + "-" +
                               std::to_string(serial.fetch_add(1)) + ".tmp";
      fd = open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
      if (fd >= 0) {
        unlink(name.c_str());
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (fd < 0) return SpillError("create", folder_, errno);
  }
  fd_ = fd;
  buffer_.reserve(kGather);
  return Status::Ok();
}

Status SpillFile::Append(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (buffer_.size() == kGather) {
      if (Status flushed = Flush(); !flushed) return flushed;
    }
    const size_t take = std::min(size, kGather - buffer_.size());
    buffer_.insert(buffer_.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
  }
  return Status::Ok();
}

Status SpillFile::Flush() {
  const FileIoResult written = WriteFully(fd_, buffer_.data(), buffer_.size(), size_);
  if (written.Errno != 0) return SpillError("write", folder_, written.Errno);
  size_ += written.Done;
  buffer_.clear();
  return Status::Ok();
}

Status SpillFile::ReadAt(uint64_t offset, void* data, size_t size) const {
  const FileIoResult read = ReadFully(fd_, data, size, offset);
  if (!read.Ok()) return SpillError("read", folder_, read.Ended ? EIO : read.Errno);
  return Status::Ok();
}

}  // namespace engine
