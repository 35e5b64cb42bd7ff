#include "common/DatGenInstallation_Unit.h"

#include <optional>

#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenIniFile.h"
#include "common/DatGenStringsFunctions.h"

namespace {

const FullDefaultsRecType kDefaults{};

// The installation's process-wide values: the record is copied from the
// defaults and its two folders overwritten at start-up; the Logs folder and
// the server flag are filled on first use.
struct InstallationState {
  FullDefaultsRecType Record = kDefaults;
  std::optional<std::string> LogsPath;
  std::optional<bool> ServerInstallation;
};

InstallationState& State() {
  static InstallationState state;
  return state;
}

// The parent folder of `path`, where the parent of a folder just below the
// file-system root is the root itself: GetParentPath names the root with an
// empty text (as it names a drive "E:"), which would make a folder beside it
// relative.
std::string RootOrParent(const std::string& path) {
  const std::string parent = GetParentPath(path);
  if (parent.empty() && !path.empty() && path[0] == PathDelim) return std::string(1, PathDelim);
  return parent;
}

std::string SiblingOfDB(const std::string& folder) {
  return GetParentPath(GetDBPath()) + PathDelim + folder + PathDelim;
}

}  // namespace

const FullDefaultsRecType& InstallationDefaults() {
  return State().Record;
}

void LoadInstallationDefaults() {
  InstallationState& state = State();
  state = InstallationState{};
  state.Record.General.AppPath = ExtractFilePath(GetModuleName());

  std::string settings;
  ResolveFileName(state.Record.General.AppPath + GetSettingsIniName(), true, settings);
  const std::string default_db = IncludeBackslash(RootOrParent(GetModulePath())) + "DB";
  const TIniFile ini(settings);
  state.Record.Database.DBPath = ini.ReadString("DATABASE", "Path", default_db);
}

std::string ReadInstalledProductName() {
  std::string settings;
  ResolveFileName(GetModulePath() + GetSettingsIniName(), true, settings);
  const std::string name = Trim(TIniFile(settings).ReadString("GENERAL", "ProductName", ""));
  return name.empty() ? kProductFullWord : name;
}

void LoadProductName() {
  SetProductName(ReadInstalledProductName());
}

std::string GetDBPath() {
  return State().Record.Database.DBPath;
}

std::string GetDBSysPath() {
  return SiblingOfDB("DBSys");
}

std::string GetServerPath() {
  return SiblingOfDB("Server");
}

std::string GetLogsPath() {
  InstallationState& state = State();
  if (!state.LogsPath) {
    const std::string path = SiblingOfDB("Logs");
    // A folder that cannot be made is returned all the same; the writer that
    // uses it meets the failure and falls back.
    if (!FolderExists(path)) ForceFolder(path);
    state.LogsPath = path;
  }
  return *state.LogsPath;
}

std::string GetModulePath() {
  return IncludeBackslash(ExtractFilePath(GetModuleName()));
}

std::string GetParentPath(const std::string& Path) {
  const std::string trimmed = ExcludeBackslash(Path);
  const size_t delim = trimmed.rfind(PathDelim);
  if (delim == std::string::npos) return trimmed;
  return trimmed.substr(0, delim);
}

std::string GetSettingsIniName() {
  return "VorlexCRM.ini";
}

std::string GetAltFileName(const std::string& FileName) {
  return ExtractFilePath(FileName) + ReplaceProductNames(ExtractFileName(FileName), "CRM");
}

bool ResolveFileName(const std::string& FileName, bool UseAltIfMissing, std::string& ResolvedName) {
  const std::string alternate = GetAltFileName(FileName);
  for (const std::string& candidate : {FileName, alternate}) {
    const std::string on_disk = LocateFile(candidate);
    if (!on_disk.empty()) {
      ResolvedName = on_disk;
      return true;
    }
  }
  ResolvedName = UseAltIfMissing ? alternate : FileName;
  return false;
}

bool DeleteWellKnownFile(const std::string& FileName) {
  std::string found;
  if (!ResolveFileName(FileName, true, found)) return false;
  const bool first = DeleteFileForce(found);
  bool second = false;
  if (ResolveFileName(FileName, true, found)) second = DeleteFileForce(found);
  return first || second;
}

bool IsServerInstallation() {
  InstallationState& state = State();
  if (!state.ServerInstallation) {
    std::string ignored;
    state.ServerInstallation = ResolveFileName(GetDBSysPath() + "VorlexServer.sr1", true, ignored);
  }
  return *state.ServerInstallation;
}
