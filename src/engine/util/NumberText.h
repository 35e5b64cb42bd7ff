// Numbers read from text the way the engine reads them everywhere (field
// values, filter literals, settings, port numbers): an optional "+" or "-",
// then decimal digits, nothing before or after.
#pragma once

#include <cstdint>
#include <string_view>

namespace engine {

// A 32-bit decimal integer.
bool ParseInteger(std::string_view text, int32_t& value);
// Any finite decimal number.
bool ParseDouble(std::string_view text, double& value);

}  // namespace engine
