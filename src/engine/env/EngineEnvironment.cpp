#include "engine/env/EngineEnvironment.h"

#include <dlfcn.h>

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "engine/util/LockedFile.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"

namespace engine {

namespace {

std::mutex& FolderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& FolderOverride() {
  static std::string folder;
  return folder;
}

// Loads `folder`/`file` once and keeps it loaded: modules are never unloaded
// while the process runs, so their entry points stay valid.
Result<void*> LoadModule(const std::string& folder, const char* file) {
  static std::mutex mutex;
  static std::map<std::string, void*> loaded;
  const std::string path = folder + "/" + file;
  std::lock_guard<std::mutex> guard(mutex);
  if (auto it = loaded.find(path); it != loaded.end()) return it->second;
  if (!platform::FileExists(path)) {
    return Status(AE_MODULE_MISSING, "The engine module \"" + std::string(file) +
                                         "\" is missing from \"" + folder + "\"");
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return Status(AE_MODULE_UNUSABLE, "The engine module \"" + path +
                                          "\" cannot be loaded: " + (why ? why : "unknown"));
  }
  loaded[path] = handle;
  return handle;
}

template <typename Fn>
Result<Fn> Entry(void* handle, const std::string& folder, const char* file, const char* symbol) {
  dlerror();
  void* address = dlsym(handle, symbol);
  if (!address) {
    return Status(AE_MODULE_UNUSABLE,
                  "The engine module \"" + folder + "/" + file + "\" has no entry point " + symbol);
  }
  return reinterpret_cast<Fn>(address);
}

Status CheckAbi(int abi, const std::string& folder, const char* file) {
  if (abi == ENGINE_MODULE_ABI) return Status::Ok();
  return Status(AE_MODULE_UNUSABLE, "The engine module \"" + folder + "/" + file +
                                        "\" is of interface version " + std::to_string(abi) +
                                        ", not " + std::to_string(ENGINE_MODULE_ABI));
}

}  // namespace

std::string EngineFolder() {
  {
    std::lock_guard<std::mutex> guard(FolderMutex());
    if (!FolderOverride().empty()) return FolderOverride();
  }
  const std::string self = platform::ModuleFileNameOf(reinterpret_cast<const void*>(&EngineFolder));
  return FolderOfPath(self);
}

void SetEngineFolder(const std::string& folder) {
  std::lock_guard<std::mutex> guard(FolderMutex());
  FolderOverride() = folder;
}

Result<std::shared_ptr<const EngineEnvironment>> LoadEngineEnvironment() {
  auto environment = std::make_shared<EngineEnvironment>();
  environment->Folder = EngineFolder();
  auto config = LoadEngineConfig(environment->Folder);
  if (!config) return config.status();
  environment->Config = *config;

  const std::string chars_path = environment->Folder + "/" + kCharTableFileName;
  if (!platform::FileExists(chars_path)) {
    return Status(AE_CHAR_TABLE, "The character table \"" + std::string(kCharTableFileName) +
                                     "\" is missing from \"" + environment->Folder + "\"");
  }
  std::ifstream in(chars_path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::string why;
  if (!ParseCharTable(bytes.str(), environment->Chars, why)) {
    return Status(AE_CHAR_TABLE, "The character table \"" + chars_path + "\" is damaged: " + why);
  }
  return std::shared_ptr<const EngineEnvironment>(std::move(environment));
}

Result<LocalModule> LoadLocalModule(const std::string& folder) {
  auto handle = LoadModule(folder, kLocalModuleFileName);
  if (!handle) return handle.status();
  auto abi =
      Entry<EngineLocalAbiFn>(*handle, folder, kLocalModuleFileName, ENGINE_LOCAL_ABI_SYMBOL);
  if (!abi) return abi.status();
  if (Status s = CheckAbi((*abi)(), folder, kLocalModuleFileName); !s) return s;
  auto admit = Entry<EngineLocalAdmitFolderFn>(*handle, folder, kLocalModuleFileName,
                                               ENGINE_LOCAL_ADMIT_FOLDER_SYMBOL);
  if (!admit) return admit.status();
  return LocalModule{*admit};
}

Result<NetworkModule> LoadNetworkModule(const std::string& folder) {
  auto handle = LoadModule(folder, kNetworkModuleFileName);
  if (!handle) return handle.status();
  auto abi = Entry<EngineNetAbiFn>(*handle, folder, kNetworkModuleFileName, ENGINE_NET_ABI_SYMBOL);
  if (!abi) return abi.status();
  if (Status s = CheckAbi((*abi)(), folder, kNetworkModuleFileName); !s) return s;
  auto probe = Entry<EngineNetProbeServerFn>(*handle, folder, kNetworkModuleFileName,
                                             ENGINE_NET_PROBE_SERVER_SYMBOL);
  if (!probe) return probe.status();
  NetworkModule module;
  module.ProbeServer = *probe;
  auto open = Entry<EngineNetOpenSessionFn>(*handle, folder, kNetworkModuleFileName,
                                            ENGINE_NET_OPEN_SESSION_SYMBOL);
  if (!open) return open.status();
  module.OpenSession = *open;
  auto call =
      Entry<EngineNetCallFn>(*handle, folder, kNetworkModuleFileName, ENGINE_NET_CALL_SYMBOL);
  if (!call) return call.status();
  module.Call = *call;
  auto free_reply = Entry<EngineNetFreeReplyFn>(*handle, folder, kNetworkModuleFileName,
                                                ENGINE_NET_FREE_REPLY_SYMBOL);
  if (!free_reply) return free_reply.status();
  module.FreeReply = *free_reply;
  auto close = Entry<EngineNetCloseSessionFn>(*handle, folder, kNetworkModuleFileName,
                                              ENGINE_NET_CLOSE_SESSION_SYMBOL);
  if (!close) return close.status();
  module.CloseSession = *close;
  return module;
}

}  // namespace engine
