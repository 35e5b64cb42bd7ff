// Temporary files of a full-text build: bytes appended in large writes and
// read back from any offset. The file has no name (or loses it at once), so
// the system removes it when it is closed, also after a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/util/EngineError.h"

namespace engine {

class SpillFile {
 public:
  SpillFile() = default;
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // Creates the file in `folder` ("" for the current folder).
  Status Create(const std::string& folder);
  bool IsOpen() const { return fd_ >= 0; }

  // Appends `size` bytes (gathered, written in large pieces).
  Status Append(const void* data, size_t size);
  // Writes what is gathered; Size() bytes are then readable.
  Status Flush();
  uint64_t Size() const { return size_ + buffer_.size(); }

  // Reads `size` bytes at `offset`. REQUIRES: Flush() after the last Append.
  Status ReadAt(uint64_t offset, void* data, size_t size) const;

  void Close();

 private:
  int fd_ = -1;
  std::string folder_;
  uint64_t size_ = 0;            // bytes on disk
  std::vector<uint8_t> buffer_;  // bytes gathered for the next write
};

}  // namespace engine
