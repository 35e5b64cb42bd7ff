// The calling thread's last engine error. Each engine operation that fails
// on a caller's behalf notes its error here; AdsGetLastError (EngineApi.h)
// answers it to programs.
#pragma once

#include "engine/util/EngineError.h"

namespace engine {

// Notes `status` as this thread's last error when it is one, and passes it on.
Status NoteError(Status status);
void ClearLastError();

// The last error noted on this thread (code 0 and an empty text when none).
const EngineError& LastError();

}  // namespace engine
