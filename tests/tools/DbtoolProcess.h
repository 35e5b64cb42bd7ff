// The built dbtool run as a user runs it, in a folder of its own: its exit
// code (128 + the signal when a signal ended it) and what it wrote.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace dbtool_test {

struct ToolRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs dbtool with `args` in `folder`, standard input from `stdin_file` when given.
inline ToolRun RunDbtool(const TempDir& folder, const std::vector<std::string>& args,
                         const std::string& stdin_file = "") {
  const std::string out_path = folder / ".out";
  const std::string err_path = folder / ".err";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.Path().c_str()) != 0) _exit(120);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (!stdin_file.empty()) dup2(open(stdin_file.c_str(), O_RDONLY), STDIN_FILENO);
    std::vector<char*> argv{const_cast<char*>(DBTOOL_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(DBTOOL_PATH, argv.data());
    _exit(121);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ToolRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = TempDir::ReadFile(out_path);
  run.err = TempDir::ReadFile(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return run;
}

inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace dbtool_test
