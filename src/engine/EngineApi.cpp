#include "engine/EngineApi.h"

namespace engine {

namespace {

thread_local EngineError last_error;

}  // namespace

uint32_t AdsGetVersion(uint32_t* major, uint32_t* minor, char* letter, std::string* description) {
  if (major) *major = kEngineMajorVersion;
  if (minor) *minor = kEngineMinorVersion;
  if (letter) *letter = kEngineVersionLetter;
  if (description) *description = kEngineDescription;
  return AE_SUCCESS;
}

uint32_t AdsGetLastError(uint32_t* code, std::string* message) {
  if (code) *code = static_cast<uint32_t>(last_error.Code);
  if (message) *message = last_error.Message;
  return AE_SUCCESS;
}

Status NoteError(Status status) {
  if (!status.ok()) last_error = status.Error();
  return status;
}

void ClearLastError() {
  last_error = EngineError{};
}

}  // namespace engine
