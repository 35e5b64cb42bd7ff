#include "ServerConfig.h"

#include <arpa/inet.h>

#include <charconv>
#include <fstream>

namespace dbserver {

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool ParseNumber(const std::string& text, uint64_t least, uint64_t most, uint64_t& value) {
  const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && code == std::errc() && end == text.data() + text.size() &&
         value >= least && value <= most;
}

}  // namespace

bool ParseAddressRange(const std::string& text, AddressRange& range) {
  const size_t slash = text.find('/');
  const std::string address = text.substr(0, slash);
  uint64_t bits = 32;
  if (slash != std::string::npos && !ParseNumber(text.substr(slash + 1), 0, 32, bits)) return false;
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  range.Mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
  range.Network = ntohl(parsed.s_addr) & range.Mask;
  return true;
}

bool ApplySetting(ServerConfig& config, const std::string& name, const std::string& value,
                  std::string& error) {
  uint64_t number = 0;
  const auto count = [&](uint64_t least, uint64_t most, uint32_t& field) {
    if (!ParseNumber(value, least, most, number)) {
      error = name + " must be a whole number from " + std::to_string(least) + " to " +
              std::to_string(most) + ", not \"" + value + "\"";
      return false;
    }
    field = static_cast<uint32_t>(number);
    return true;
  };
  if (name == "state-dir") {
    config.StateDir = value;
  } else if (name == "listen") {
    in_addr parsed{};
    if (inet_pton(AF_INET, value.c_str(), &parsed) != 1) {
      error = "listen must be an IPv4 address, not \"" + value + "\"";
      return false;
    }
    config.Listen = value;
  } else if (name == "port") {
    uint32_t port = 0;
    if (!count(0, 65535, port)) return false;
    config.Port = static_cast<uint16_t>(port);
  } else if (name == "share") {
    const size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == value.size()) {
      error = "share must be NAME=FOLDER, not \"" + value + "\"";
      return false;
    }
    const std::string share_name = value.substr(0, equals);
    if (share_name.find_first_of("\\/") != std::string::npos || share_name == "." ||
        share_name == "..") {
      error = "the share name \"" + share_name + "\" may not hold \\ or / or be . or ..";
      return false;
    }
    config.Shares.push_back(Share{share_name, value.substr(equals + 1)});
  } else if (name == "allow") {
    AddressRange range;
    if (!ParseAddressRange(value, range)) {
      error = "allow must be A.B.C.D or A.B.C.D/BITS, not \"" + value + "\"";
      return false;
    }
    config.Allowed.push_back(range);
    config.AllowedText.push_back(value);
  } else if (name == "max-connections") {
    return count(1, 100000, config.MaxConnections);
  } else if (name == "max-handles") {
    return count(1, 1000000, config.MaxHandles);
  } else if (name == "idle-seconds") {
    return count(1, 7 * 24 * 3600, config.IdleSeconds);
  } else if (name == "max-frame-bytes") {
    return count(1024, 64u << 20, config.MaxFrameBytes);
  } else {
    error = "unknown setting \"" + name + "\"";
    return false;
  }
  return true;
}

bool LoadConfigFile(ServerConfig& config, const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the configuration file \"" + path + "\"";
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#' || text[0] == ';') continue;
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
      error = path + " line " + std::to_string(number) + ": name = value expected";
      return false;
    }
    if (!ApplySetting(config, Trim(text.substr(0, equals)), Trim(text.substr(equals + 1)), error)) {
      error = path + " line " + std::to_string(number) + ": " + error;
      return false;
    }
  }
  return true;
}

bool FinishConfig(ServerConfig& config, std::string& error) {
  if (config.Shares.empty()) {
    error = "no share is given (share NAME=FOLDER)";
    return false;
  }
  if (config.StateDir.empty()) {
    error = "no state folder is given (state-dir DIR, made by dbserver --init)";
    return false;
  }
  if (config.Allowed.empty()) {
    AddressRange loopback;
    ParseAddressRange("127.0.0.0/8", loopback);
    config.Allowed.push_back(loopback);
    config.AllowedText.push_back("127.0.0.0/8");
  }
  return true;
}

}  // namespace dbserver
