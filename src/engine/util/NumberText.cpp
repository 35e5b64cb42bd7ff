#include "engine/util/NumberText.h"

#include <charconv>
#include <cmath>

namespace engine {

namespace {

// from_chars reads a leading "-" but not a "+"; takes one "+" off and answers
// whether a number can still follow.
bool StripPlusSign(std::string_view& text) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) return false;
  }
  return !text.empty();
}

}  // namespace

bool ParseInteger(std::string_view text, int32_t& value) {
  if (!StripPlusSign(text)) return false;
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, value);
  return r.ec == std::errc() && r.ptr == end;
}

bool ParseDouble(std::string_view text, double& value) {
  if (!StripPlusSign(text)) return false;
  const char* end = text.data() + text.size();
  // from_chars also reads "inf" and "nan"; a table holds finite numbers only.
  const auto r = std::from_chars(text.data(), end, value, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

}  // namespace engine
