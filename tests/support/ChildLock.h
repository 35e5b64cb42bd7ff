// A lock on a file held by another process: a forked child opens the file,
// takes the platform's OS lock on it and keeps it until Release() (or the
// holder's end). This is how a table or index file looks while another
// program has it open.
//
// Header-only; needs nothing but the platform layer.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/Platform.h"

class ChildLock {
 public:
  ChildLock(const std::string& path, platform::LockKind kind)
      : ChildLock([path, kind] {
          const int fd =
              open(path.c_str(), kind == platform::LockKind::Exclusive ? O_RDWR : O_RDONLY);
          return fd >= 0 && platform::LockFile(fd, kind);
        }) {}

  // The child runs `hold`, which takes whatever it holds (an open table, a
  // lock) and answers whether it did; the child keeps it until Release().
  explicit ChildLock(const std::function<bool()>& hold) {
    int ready[2];
    if (pipe(ready) != 0) return;
    if (pipe(release_) != 0) {
      close(ready[0]);
      close(ready[1]);
      return;
    }
    child_ = fork();
    if (child_ == 0) {
      close(ready[0]);
      close(release_[1]);
      char byte = hold() ? 'y' : 'n';
      (void)!write(ready[1], &byte, 1);
      (void)!read(release_[0], &byte, 1);  // returns when the parent writes or closes its end
      _exit(0);
    }
    close(ready[1]);
    close(release_[0]);
    char byte = 'n';
    if (child_ > 0 && read(ready[0], &byte, 1) == 1) locked_ = byte == 'y';
    close(ready[0]);
  }

  ~ChildLock() { Release(); }

  ChildLock(const ChildLock&) = delete;
  ChildLock& operator=(const ChildLock&) = delete;

  // True once the child holds the lock.
  bool Locked() const { return locked_; }

  // Lets the child drop the lock and end, and waits for it.
  void Release() {
    if (child_ <= 0) return;
    char byte = 'r';
    (void)!write(release_[1], &byte, 1);
    close(release_[1]);
    int status = 0;
    waitpid(child_, &status, 0);
    child_ = -1;
    locked_ = false;
  }

 private:
  pid_t child_ = -1;
  int release_[2] = {-1, -1};
  bool locked_ = false;
};
