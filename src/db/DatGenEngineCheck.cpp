#include "db/DatGenEngineCheck.h"

#include <memory>
#include <mutex>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "dataset/AdsConnection.h"
#include "dataset/AdsTable.h"
#include "dataset/EADSDatabaseError.h"
#include "db/DatGenDBConnectionDM.h"
#include "engine/api/EngineApi.h"
#include "engine/env/EngineEnvironment.h"
#include "platform/Platform.h"

namespace {

using VersionHook = std::function<uint32_t(uint32_t*, uint32_t*)>;

VersionHook& TheVersionHook() {
  static VersionHook hook;
  return hook;
}

// The process's system lock table: none until first needed.
std::unique_ptr<TAdsTable>& SystemLockTable() {
  static std::unique_ptr<TAdsTable> table;
  return table;
}

// "%S" of the texts below: the arguments in order.
std::string FillIn(std::string text, const std::vector<std::string>& values) {
  size_t from = 0;
  for (const std::string& value : values) {
    const size_t at = text.find("%S", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, value);
    from = at + value.size();
  }
  return text;
}

}  // namespace

bool CheckEngineFiles(const std::string& folder, std::string& missing) {
  missing.clear();
  for (const char* name : engine::kEngineFileNames) {
    if (platform::FindFileIgnoringCase(IncludeBackslash(folder) + name).empty())
      missing += std::string("\n\r") + name;
  }
  return missing.empty();
}

std::string EngineVersionText(uint32_t major, uint32_t minor) {
  return IntToStr(major) + (minor > 9 ? "." : ".0") + IntToStr(minor);
}

void SetEngineVersionHook(std::function<uint32_t(uint32_t* major, uint32_t* minor)> hook) {
  TheVersionHook() = std::move(hook);
}

std::string GetEngineVersion() {
  uint32_t major = 0;
  uint32_t minor = 0;
  const uint32_t code = TheVersionHook() ? TheVersionHook()(&major, &minor)
                                         : engine::AdsGetVersion(&major, &minor, nullptr, nullptr);
  if (code != 0) RaiseAdsCode(code, AdsErrorPlace(nullptr));
  return EngineVersionText(major, minor);
}

bool CheckEngine(std::string& message) {
  const std::string exe = platform::ExecutableFileName();
  const std::string suffix = "\r\n\r\n(" + exe + ")";
  std::string missing;
  if (!CheckEngineFiles(GetModulePath(), missing)) {
    message = FillIn("%S operation stopped.\r\n\r\nFolder:\r\n%S\r\n\r\nMissing Files:\r\n%S",
                     {ChangeFileExt(ExtractFileName(exe), ""),
                      IncludeBackslash(InstallationDefaults().General.AppPath), Trim(missing)}) +
              suffix;
    return false;
  }
  const std::string version = GetEngineVersion();
  if (version == kRequiredEngineVersion) return true;
  message = FillIn(
                "A database engine version mismatch was detected.\r\nThe required version is "
                "%S.\r\nAn older version, %S, is present.\r\n",
                {kRequiredEngineVersion, version}) +
            suffix;
  return false;
}

bool OpenSystemLock() {
  if (!EnsureConnectionDM()) OpenMainConnection();
  TDBConnectionDM* dm = ConnectionDM();
  const bool connected = dm && dm->DBConnection->IsConnected();
  if (connected && !IsServerInstallation()) {
    std::unique_ptr<TAdsTable>& table = SystemLockTable();
    if (!table) {
      table = std::make_unique<TAdsTable>(nullptr);
      table->setObjectName("SysLockTbl");
      table->SetTableName("SysLock.adt");
      table->SetDatabaseName(dm->DBConnection->Name());
      table->AdsTableOptions.AdsRightsCheck = false;
      table->SetExclusive(false);
    }
    if (!table->Active()) table->Open();
    return true;
  }
  return connected;
}

void CloseSystemLock() {
  std::unique_ptr<TAdsTable>& table = SystemLockTable();
  if (!table) return;
  table->Close();
  table.reset();
}

bool IsSystemLockOpen() {
  return SystemLockTable() && SystemLockTable()->Active();
}
