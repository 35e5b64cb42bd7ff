// Reading and writing a whole range of a file by position: the system may
// move fewer bytes than asked, or be interrupted by a signal, and these go
// on until the range is done, the file ends or a real error stops them.
#pragma once

#include <cstdint>

namespace engine {

// What moving a range came to: Ok, the file ended before the range did (a
// read), or the errno of the failed call.
struct FileIoResult {
  int Errno = 0;
  bool Ended = false;
  uint64_t Done = 0;  // bytes moved before the end or the error
  bool Ok() const { return Errno == 0 && !Ended; }
};

// Reads `size` bytes at `offset` of `fd` into `data`.
FileIoResult ReadFully(int fd, void* data, uint64_t size, uint64_t offset);
// Writes `size` bytes of `data` at `offset` of `fd`. A write that moves no
// byte fails with ENOSPC.
FileIoResult WriteFully(int fd, const void* data, uint64_t size, uint64_t offset);

}  // namespace engine
