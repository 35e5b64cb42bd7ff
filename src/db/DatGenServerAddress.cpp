#include "db/DatGenServerAddress.h"

#include <cctype>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenStringsFunctions.h"
#include "diag/DatHE_Unit.h"
#include "platform/HostLookup.h"
#include "platform/MountTable.h"
#include "platform/Platform.h"

namespace {

// A tag and a value, ended by a line break; a bare tag when there is no value.
void Add(std::string& text, const std::string& tag, const std::string& value) {
  text += tag + value + "\r\n";
}

}  // namespace

std::string ExtractDrivePart(const std::string& path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
    return path.substr(0, 2);
  if (IsUNCPath(path)) {
    const size_t host_end = path.find('\\', 2);
    if (host_end == std::string::npos) return path;
    const size_t share_end = path.find('\\', host_end + 1);
    return share_end == std::string::npos ? path : path.substr(0, share_end);
  }
  if (!path.empty() && path[0] == '/') {
    const std::string point = platform::MountPointOfPath(path);
    return point.empty() ? std::string("/") : point;
  }
  return {};
}

TServerAddress GetServerAddress(const std::string& path) {
  TServerAddress result;
  std::string& d = result.Diagnostic;
  Add(d, "Gen:", platform::ExecutableFileName());
  Add(d, "Path:", path);
  const std::string drive = ExtractDrivePart(path);
  std::string host = GetUNCHost(drive);
  Add(d, "ExtrDrv:", drive);
  Add(d, "ExtrUnc:", host);
  if (IsUNCPath(drive)) {
    d += "IsUnc:";
    if (IsUNCPathWithIP(drive)) {
      result.Address = host;
      Add(d, "IsIPPath:", host);
    } else {
      d += "GetHostIp:";
      result.Address = GetHostIp(host);
    }
    result.ServerPath = TextAfter(path, host);
    Add(d, "xvPath:", result.ServerPath);
  } else {
    const int type = platform::DriveTypeOfPath(drive);
    Add(d, "DriveType:", IntToStr(type & 0xFF));
    if (type == platform::kDriveRemote) {
      Add(d, "1:net:", path);
      const std::string unc = platform::UncPathOfMountedPath(path).value_or("");
      Add(d, "2:net:", unc);
      host = GetUNCHost(unc);
      Add(d, "3:net:", host);
      result.ServerPath = TextAfter(unc, host);
      Add(d, "xvPath:", result.ServerPath);
      result.Address = GetHostIp(host);
    } else {
      result.Address = "127.0.0.1";
    }
  }
  Add(d, "xxx:", result.Address);
  return result;
}

std::string GetHostIp(const std::string& host) {
  // The system's resolver needs no start-up of its own: the start-up result
  // the log entries carry is always 0.
  const std::string started = "0";
  try {
    platform::IPv4Address address{};
    if (!platform::LookupHostIPv4(host, address)) {
      WriteLog("GetHostIp-F2", host + " " + started);
      return {};
    }
    std::string text;
    for (const uint8_t byte : address) text += IntToStr(byte) + ".";
    text.pop_back();
    return text;
  } catch (const std::exception& e) {
    WriteLog(nullptr, "GetHostIp-Err", host + " " + started, &e);
    return {};
  }
}
