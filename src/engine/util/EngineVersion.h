// The engine's version, known to every part of it: the programs ask for it by
// name (AdsGetVersion), and a connection to a server offers it in the
// handshake.
#pragma once

#include <cstdint>

namespace engine {

inline constexpr uint32_t kEngineMajorVersion = 11;
inline constexpr uint32_t kEngineMinorVersion = 10;
inline constexpr char kEngineVersionLetter = 'a';
inline constexpr const char* kEngineDescription = "Embedded table engine";

}  // namespace engine
