// adsloc32.dll: the local engine module (entry points in ModuleAbi.h).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/env/ModuleAbi.h"
#include "engine/util/EngineError.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"

namespace {

int Answer(int code, char* message, size_t message_size, const std::string& text) {
  if (message && message_size > 0) std::snprintf(message, message_size, "%s", text.c_str());
  return code;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int EngineLocalAbi(void) {
  return ENGINE_MODULE_ABI;
}

extern "C" __attribute__((visibility("default"))) int EngineLocalAdmitFolder(
    const char* folder, int allow_remote_control, char* resolved, size_t resolved_size,
    char* message, size_t message_size) {
  if (!allow_remote_control && platform::InRemoteControlSession()) {
    return Answer(engine::AE_REMOTE_CONTROL_REFUSED, message, message_size,
                  "The local engine may not be used from a remote-control session "
                  "(adslocal.cfg: AllowRemoteControl=No)");
  }
  const std::string name = folder ? folder : "";
  if (name.empty())
    return Answer(engine::AE_FOLDER_NOT_FOUND, message, message_size,
                  "No database folder was given");
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) {
    return Answer(engine::AE_FOLDER_NOT_FOUND, message, message_size,
                  "Database folder \"" + name + "\" not found: " + std::strerror(errno));
  }
  if (!S_ISDIR(st.st_mode)) {
    return Answer(engine::AE_FOLDER_NOT_FOUND, message, message_size,
                  "\"" + name + "\" is not a folder");
  }
  if (access(name.c_str(), R_OK | X_OK) != 0) {
    return Answer(engine::AE_FOLDER_NOT_FOUND, message, message_size,
                  "Database folder \"" + name + "\" cannot be read: " + std::strerror(errno));
  }
  char full[PATH_MAX];
  if (!realpath(name.c_str(), full)) {
    return Answer(engine::AE_FOLDER_NOT_FOUND, message, message_size,
                  "Database folder \"" + name + "\" cannot be resolved: " + std::strerror(errno));
  }
  const size_t length = std::strlen(full);
  if (!resolved || length >= resolved_size) {
    return Answer(engine::AE_FOLDER_NOT_FOUND, message, message_size,
                  "Database folder name \"" + std::string(full) + "\" is too long");
  }
  std::memcpy(resolved, full, length + 1);
  return 0;
}
