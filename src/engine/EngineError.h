// The engine's status and error types now live in engine/util/EngineError.h.
// This forwarding header keeps one caller outside the engine
// (src/rebuild/DatProgBuildIndex_DM_RecIdRepair.cpp) building until it names
// the new place; nothing else may include it.
#pragma once

#include "engine/util/EngineError.h"
