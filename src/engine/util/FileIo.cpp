#include "engine/util/FileIo.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace engine {

namespace {

// One call moves at most this much, well inside what pread and pwrite take.
constexpr uint64_t kMostPerCall = uint64_t{1} << 30;

}  // namespace

FileIoResult ReadFully(int fd, void* data, uint64_t size, uint64_t offset) {
  FileIoResult result;
  auto* out = static_cast<uint8_t*>(data);
  while (result.Done < size) {
    const size_t chunk = static_cast<size_t>(std::min(size - result.Done, kMostPerCall));
    const ssize_t n = pread(fd, out + result.Done, chunk, static_cast<off_t>(offset + result.Done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.Errno = errno;
      return result;
    }
    if (n == 0) {
      result.Ended = true;
      return result;
    }
    result.Done += static_cast<uint64_t>(n);
  }
  return result;
}

FileIoResult WriteFully(int fd, const void* data, uint64_t size, uint64_t offset) {
  FileIoResult result;
  const auto* in = static_cast<const uint8_t*>(data);
  while (result.Done < size) {
    const size_t chunk = static_cast<size_t>(std::min(size - result.Done, kMostPerCall));
    const ssize_t n = pwrite(fd, in + result.Done, chunk, static_cast<off_t>(offset + result.Done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      result.Errno = n < 0 ? errno : ENOSPC;
      return result;
    }
    result.Done += static_cast<uint64_t>(n);
  }
  return result;
}

}  // namespace engine
