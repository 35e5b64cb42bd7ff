#include "engine/api/EngineApi.h"

#include "engine/util/LastError.h"

namespace engine {

uint32_t AdsGetVersion(uint32_t* major, uint32_t* minor, char* letter, std::string* description) {
  if (major) *major = kEngineMajorVersion;
  if (minor) *minor = kEngineMinorVersion;
  if (letter) *letter = kEngineVersionLetter;
  if (description) *description = kEngineDescription;
  return AE_SUCCESS;
}

uint32_t AdsGetLastError(uint32_t* code, std::string* message) {
  const EngineError& last_error = LastError();
  if (code) *code = static_cast<uint32_t>(last_error.Code);
  if (message) *message = last_error.Message;
  return AE_SUCCESS;
}

}  // namespace engine
