#include "engine/util/LastError.h"

namespace engine {

namespace {

thread_local EngineError last_error;

}  // namespace

Status NoteError(Status status) {
  if (!status.ok()) last_error = status.Error();
  return status;
}

void ClearLastError() {
  last_error = EngineError{};
}

const EngineError& LastError() {
  return last_error;
}

}  // namespace engine
