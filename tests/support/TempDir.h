// A fresh temporary folder for one test, removed with everything in it when
// the test ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing delimiter.
  const std::string& Path() const { return path_; }

  // Path() + "/" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  // Writes `content` to the file `relative` below the folder (creating
  // missing folders) and returns its full name.
  std::string WriteFile(const std::string& relative, const std::string& content) const;

  // The whole content of a file, or an empty text when it cannot be read.
  static std::string ReadFile(const std::string& path);

 private:
  std::string path_;
};

// Replaces platform::Sleep for one test and records the waits asked for.
class SleepRecorder {
 public:
  SleepRecorder();
  ~SleepRecorder();
  std::vector<unsigned> Waits;
  // Called for every wait, after it is recorded: a test acts at the moment
  // the program would be waiting (or throws from there).
  std::function<void(unsigned ms)> OnSleep;
};
