// What the engine works with besides the database: the folder it was loaded
// from, with its settings (adslocal.cfg), its character table (Ansi.chr) and
// its two run-time modules (adsloc32.dll, axcws32.dll).
#pragma once

#include <memory>
#include <string>

#include "engine/env/EngineConfig.h"
#include "engine/env/ModuleAbi.h"
#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

// The engine's client files, in the order a program checks for them.
inline constexpr const char* kEngineFileNames[5] = {"ace32.dll", "adsloc32.dll", "axcws32.dll",
                                                    "adslocal.cfg", "Ansi.chr"};
inline constexpr const char* kLocalModuleFileName = "adsloc32.dll";
inline constexpr const char* kNetworkModuleFileName = "axcws32.dll";
inline constexpr const char* kCharTableFileName = "Ansi.chr";

struct EngineEnvironment {
  std::string Folder;  // where ace32.dll and its files are
  EngineConfig Config;
  CharTable Chars;
};

// The engine folder: the folder of ace32.dll itself, unless one was set.
std::string EngineFolder();

// Makes the engine take its files from `folder` instead (a program that keeps
// them elsewhere; tests that need a folder with a file missing). An empty
// text goes back to the folder of ace32.dll.
void SetEngineFolder(const std::string& folder);

// Reads adslocal.cfg (defaults when it is absent) and Ansi.chr (it must be
// there and sound) from the engine folder.
Result<std::shared_ptr<const EngineEnvironment>> LoadEngineEnvironment();

// The entry points of the modules, loaded once per folder and kept loaded.
struct LocalModule {
  EngineLocalAdmitFolderFn AdmitFolder = nullptr;
};
struct NetworkModule {
  EngineNetProbeServerFn ProbeServer = nullptr;
  EngineNetOpenSessionFn OpenSession = nullptr;
  EngineNetCallFn Call = nullptr;
  EngineNetFreeReplyFn FreeReply = nullptr;
  EngineNetCloseSessionFn CloseSession = nullptr;
};
Result<LocalModule> LoadLocalModule(const std::string& folder);
Result<NetworkModule> LoadNetworkModule(const std::string& folder);

}  // namespace engine
