// A process-wide number for an open table or one of its index tags, as the
// engine's C-style calls take them (EngineHandles.h); 0 is no handle.
#pragma once

#include <cstdint>

namespace engine {

using ADSHANDLE = uint64_t;

}  // namespace engine
