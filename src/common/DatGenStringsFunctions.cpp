#include "common/DatGenStringsFunctions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/Platform.h"

// ---------------------------------------------------------------- case and trimming

namespace {

unsigned char UpperByte(unsigned char c, bool latin1_letters) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (!latin1_letters) return c;
  // windows-1252: the accented small letters, and the four outside that block.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A:
      return 0x8A;  // s caron
    case 0x9C:
      return 0x8C;  // oe ligature
    case 0x9E:
      return 0x8E;  // z caron
    case 0xFF:
      return 0x9F;  // y diaeresis
    default:
      return c;
  }
}

unsigned char LowerByte(unsigned char c, bool latin1_letters) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (!latin1_letters) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A:
      return 0x9A;
    case 0x8C:
      return 0x9C;
    case 0x8E:
      return 0x9E;
    case 0x9F:
      return 0xFF;
    default:
      return c;
  }
}

bool Latin1Letters() {
  return platform::AnsiCodePage() == 1252;
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

char AnsiUpperChar(char c) {
  return static_cast<char>(UpperByte(static_cast<unsigned char>(c), Latin1Letters()));
}

std::string AnsiUpperCase(std::string text) {
  const bool latin1 = Latin1Letters();
  for (char& c : text) c = static_cast<char>(UpperByte(static_cast<unsigned char>(c), latin1));
  return text;
}

std::string AnsiLowerCase(std::string text) {
  const bool latin1 = Latin1Letters();
  for (char& c : text) c = static_cast<char>(LowerByte(static_cast<unsigned char>(c), latin1));
  return text;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

bool StartsText(const std::string& prefix, const std::string& text) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool ContainsText(const std::string& text, const std::string& part) {
  return AnsiUpperCase(text).find(AnsiUpperCase(part)) != std::string::npos;
}

std::string TrimLeft(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  return text.substr(start);
}

std::string TrimRight(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

std::string Trim(const std::string& text) {
  return TrimLeft(TrimRight(text));
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

int StrToIntDef(const std::string& text, int fallback) {
  if (text.empty()) return fallback;
  size_t i = 0;
  if (text[0] == '+' || text[0] == '-') i = 1;
  if (i == text.size()) return fallback;
  for (size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') return fallback;
  }
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return fallback;
  return static_cast<int>(value);
}

std::string IntToStr(long long value) {
  return std::to_string(value);
}

// ---------------------------------------------------------------- yes/no and dates

std::string BoolToYN(bool value) {
  return value ? "Y" : "N";
}

bool YNToBool(const std::string& text) {
  const std::string upper = AnsiUpperCase(text);
  return upper == "Y" || upper == "TRUE";
}

std::string GetFileDatePattern(bool with_time) {
  const std::string format = platform::GetLocaleSettings().ShortDateFormat;
  std::string pattern = "ddmmyyyy";
  const char first = format.empty() ? '\0' : AnsiUpperChar(format[0]);
  if (first == 'M') {
    pattern = "mmddyyyy";
  } else if (first == 'Y') {
    // Year first: the order of day and month decides.
    pattern.clear();
    for (char c : format) {
      const char upper = AnsiUpperChar(c);
      if (upper == 'D') {
        pattern = "ddmmyyyy";
        break;
      }
      if (upper == 'M') {
        pattern = "mmddyyyy";
        break;
      }
    }
  }
  if (with_time) pattern += "-hhmmss";
  return pattern;
}

// ---------------------------------------------------------------- tokens and replacing

std::string CutToken(std::string& source, const std::string& delimiter) {
  const size_t pos = delimiter.empty() ? std::string::npos : source.find(delimiter);
  if (pos == std::string::npos) {
    std::string whole = std::move(source);
    source.clear();
    return whole;
  }
  std::string token = source.substr(0, pos);
  source.erase(0, pos + delimiter.size());
  return token;
}

int CutTokenInt(std::string& source, const std::string& delimiter, int fallback) {
  return StrToIntDef(Trim(CutToken(source, delimiter)), fallback);
}

std::string ReplaceAllCase(const std::string& text, const std::string& find,
                           const std::string& replacement) {
  return ReplaceText(text, find, replacement, rfReplaceAll);
}

std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, int flags) {
  if (find.empty()) return text;
  const bool ignore_case = (flags & rfIgnoreCase) != 0;
  // Upper-casing keeps every byte in place, so positions found in the copies
  // are positions in the original.
  const std::string haystack = ignore_case ? AnsiUpperCase(text) : text;
  const std::string needle = ignore_case ? AnsiUpperCase(find) : find;
  std::string out;
  size_t from = 0;
  while (true) {
    const size_t pos = haystack.find(needle, from);
    if (pos == std::string::npos) break;
    out.append(text, from, pos - from);
    out += replacement;
    from = pos + needle.size();
    if ((flags & rfReplaceAll) == 0) break;
  }
  out.append(text, from, std::string::npos);
  return out;
}

std::string TextAfter(const std::string& text, const std::string& marker) {
  // An empty marker marks nothing: the server path of a path whose host could
  // not be told is empty, not the whole path.
  if (marker.empty()) return {};
  const size_t pos = text.find(marker);
  return pos == std::string::npos ? std::string() : text.substr(pos + marker.size());
}

std::string EncodeUrl(const std::string& text) {
  static const std::string kEscapeSet = "$&+,/:;=?@ <>#%{}|\\^~[]`\"";
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  bool in_break_run = false;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\t') {
      if (in_break_run) continue;
      in_break_run = true;
      c = ' ';
    } else {
      in_break_run = false;
    }
    if (kEscapeSet.find(c) != std::string::npos) {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::string MakeKeyValue(const std::string& key, const std::string& value) {
  return key + "=" + value;
}
