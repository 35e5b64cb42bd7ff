#include "engine/env/EngineConfig.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/util/NumberText.h"
#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"
#include "platform/Platform.h"

namespace engine {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool ParseYesNo(std::string_view value, bool& out) {
  for (const char* yes : {"yes", "true", "1", "y"}) {
    if (EqualsIgnoringCase(value, yes)) {
      out = true;
      return true;
    }
  }
  for (const char* no : {"no", "false", "0", "n"}) {
    if (EqualsIgnoringCase(value, no)) {
      out = false;
      return true;
    }
  }
  return false;
}

}  // namespace

uint32_t DefaultIndexBuildThreads() {
  const unsigned cores = std::thread::hardware_concurrency();  // 0 when unknown
  return std::clamp<uint32_t>(cores, 1, 4);
}

Result<EngineConfig> ParseEngineConfig(std::string_view text, const std::string& file) {
  EngineConfig config;
  bool in_settings = false;
  size_t line_number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++line_number;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      in_settings = close != std::string_view::npos &&
                    EqualsIgnoringCase(Trim(line.substr(1, close - 1)), "Settings");
      continue;
    }
    if (!in_settings) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
      continue;  // a line without "=" sets nothing, as in any INI file
    const std::string_view key = Trim(line.substr(0, eq));
    const std::string_view value = Trim(line.substr(eq + 1));
    auto bad = [&](const char* expected) {
      return Status(AE_CONFIG_INVALID, "\"" + file + "\" line " + std::to_string(line_number) +
                                           ": " + std::string(key) + "=" + std::string(value) +
                                           " is not " + expected);
    };
    if (EqualsIgnoringCase(key, "SortMemoryMiB")) {
      int32_t mib = 0;
      if (!ParseInteger(value, mib) || mib < 1 || mib > 65536)
        return bad("a number of MiB from 1 to 65536");
      config.SortMemoryMiB = static_cast<uint32_t>(mib);
    } else if (EqualsIgnoringCase(key, "IndexBuildThreads")) {
      int32_t threads = 0;
      if (!ParseInteger(value, threads) || threads < 1 || threads > 64)
        return bad("a number of threads from 1 to 64");
      config.IndexBuildThreads = static_cast<uint32_t>(threads);
    } else if (EqualsIgnoringCase(key, "AllowRemoteControl")) {
      if (!ParseYesNo(value, config.AllowRemoteControl)) return bad("Yes or No");
    }
  }
  return config;
}

Result<EngineConfig> LoadEngineConfig(const std::string& folder) {
  const std::string file = folder + "/" + kEngineConfigFileName;
  if (!platform::FileExists(file)) return EngineConfig{};
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in && !in.eof())
    return Status(AE_CONFIG_INVALID, "Cannot read \"" + file + "\": " + std::strerror(errno));
  return ParseEngineConfig(content.str(), file);
}

std::string DefaultEngineConfigText() {
  return "; Settings of the embedded table engine (ace32.dll), read at every connect.\n"
         "[Settings]\n"
         "; Memory for sorting keys while an index is built, in MiB (1 to 65536).\n"
         "SortMemoryMiB=64\n"
         "; Threads an index build may use (1 to 64); the sort memory above is\n"
         "; shared by all of them. Without this line: the number of cores, at most 4.\n"
         ";IndexBuildThreads=4\n"
         "; Whether the local engine may be used from a remote-control session\n"
         "; (an SSH login or a remote desktop session): Yes or No.\n"
         "AllowRemoteControl=Yes\n";
}

}  // namespace engine
