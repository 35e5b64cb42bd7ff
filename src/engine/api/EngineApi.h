// The engine's calls by the names programs know them: the version and the
// last error. Each engine operation that fails on a caller's behalf notes its
// error as the calling thread's last error (LastError.h).
#pragma once

#include <cstdint>
#include <string>

#include "engine/util/EngineError.h"
#include "engine/util/EngineVersion.h"

namespace engine {

// Major and minor version, the build letter and the engine's description.
// Answers 0 (any pointer may be null).
uint32_t AdsGetVersion(uint32_t* major, uint32_t* minor, char* letter, std::string* description);

// The code and message of the last error noted on this thread (0 and an
// empty text when there was none). Answers 0.
uint32_t AdsGetLastError(uint32_t* code, std::string* message);

}  // namespace engine
