// The engine's settings, read from "adslocal.cfg" in the engine folder.
//
// The file is an INI file; its [Settings] section holds
//   SortMemoryMiB=64         memory for sorting keys while an index is built,
//                            in MiB, 1..65536; the bound of the whole build,
//                            whatever the number of threads
//   IndexBuildThreads=2      threads an index build may use, 1..64 (default:
//                            the number of cores, at most 4); 1 builds on
//                            the calling thread alone
//   AllowRemoteControl=Yes   whether the local engine may be used from a
//                            remote-control session: Yes/No, True/False, 1/0
// Lines starting with ";" or "#" are comments; names ignore case; other
// sections and keys are left for later versions and ignored. A missing file
// means the defaults; a value that cannot be read is an engine error naming
// the file, the line and the key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/util/EngineError.h"

namespace engine {

inline constexpr const char* kEngineConfigFileName = "adslocal.cfg";

// The threads an index build uses when adslocal.cfg does not say: the
// number of cores, at most 4.
uint32_t DefaultIndexBuildThreads();

struct EngineConfig {
  uint32_t SortMemoryMiB = 64;
  uint32_t IndexBuildThreads = DefaultIndexBuildThreads();
  bool AllowRemoteControl = true;
};

Result<EngineConfig> ParseEngineConfig(std::string_view text, const std::string& file);

// Reads `folder`/adslocal.cfg; the defaults when the file does not exist.
Result<EngineConfig> LoadEngineConfig(const std::string& folder);

// The file the build writes beside the engine: the defaults, each explained.
std::string DefaultEngineConfigText();

}  // namespace engine
