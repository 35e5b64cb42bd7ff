// The engine's calls by the names programs know them: the version and the
// last error. Each engine operation that fails on a caller's behalf notes its
// error as the calling thread's last error (LastError.h).
#pragma once

#include <cstdint>
#include <string>

#include "engine/util/EngineError.h"

namespace engine {

inline constexpr uint32_t kEngineMajorVersion = 11;
inline constexpr uint32_t kEngineMinorVersion = 10;
inline constexpr char kEngineVersionLetter = 'a';
inline constexpr const char* kEngineDescription = "Embedded table engine";

// Major and minor version, the build letter and the engine's description.
// Answers 0 (any pointer may be null).
uint32_t AdsGetVersion(uint32_t* major, uint32_t* minor, char* letter, std::string* description);

// The code and message of the last error noted on this thread (0 and an
// empty text when there was none). Answers 0.
uint32_t AdsGetLastError(uint32_t* code, std::string* message);

}  // namespace engine
