// dbserver's settings: from a configuration file, from the command line, or
// both (the command line wins). Every setting has one name, used as the
// option (--name VALUE) and as the file's key (name = VALUE):
//
//   state-dir DIR        the server's key and certificate (dbserver --init)
//   listen ADDRESS       the IPv4 address to listen on (127.0.0.1)
//   port N               the TCP port (6262)
//   share NAME=FOLDER    a share; repeated for more shares
//   allow RANGE          clients allowed: A.B.C.D or A.B.C.D/BITS; repeated;
//                        loopback (127.0.0.0/8) only when none is given
//   max-connections N    connections at once (256)
//   max-handles N        open tables per connection (1024)
//   idle-seconds N       a connection that sends nothing this long is closed (3600)
//   max-frame-bytes N    the longest request accepted (16 MiB)
//
// In the file, blank lines and lines starting with "#" or ";" are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dbserver {

struct AddressRange {
  uint32_t Network = 0;  // host order
  uint32_t Mask = 0;
  bool Contains(uint32_t address) const { return (address & Mask) == Network; }
};

struct Share {
  std::string Name;
  std::string Folder;
};

struct ServerConfig {
  std::string StateDir;
  std::string Listen = "127.0.0.1";
  uint16_t Port = 6262;
  std::vector<Share> Shares;
  std::vector<AddressRange> Allowed;  // empty: loopback only
  std::vector<std::string> AllowedText;
  uint32_t MaxConnections = 256;
  uint32_t MaxHandles = 1024;
  uint32_t IdleSeconds = 3600;
  uint32_t MaxFrameBytes = 16u << 20;
};

bool ParseAddressRange(const std::string& text, AddressRange& range);

// Applies one setting; false with `error` for an unknown name or a bad value.
bool ApplySetting(ServerConfig& config, const std::string& name, const std::string& value,
                  std::string& error);

// Applies every setting of the file `path`.
bool LoadConfigFile(ServerConfig& config, const std::string& path, std::string& error);

// The loopback range when no range was given; false when no share was given.
bool FinishConfig(ServerConfig& config, std::string& error);

}  // namespace dbserver
