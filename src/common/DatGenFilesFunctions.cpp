#include "common/DatGenFilesFunctions.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/DatGenStringsFunctions.h"

// ---------------------------------------------------------------- path texts

std::string IncludeBackslash(const std::string& Path) {
  if (Path.empty() || Path.back() == PathDelim) return Path;
  return Path + PathDelim;
}

std::string ExcludeBackslash(const std::string& Path) {
  if (!Path.empty() && Path.back() == PathDelim) return Path.substr(0, Path.size() - 1);
  return Path;
}

std::string JoinPath(const std::string& Folder, const std::string& Name) {
  if (Folder.empty() || Folder.back() == PathDelim) return Folder + Name;
  return Folder + PathDelim + Name;
}

std::string ExtractFilePath(const std::string& FileName) {
  const size_t delim = FileName.rfind(PathDelim);
  return delim == std::string::npos ? std::string() : FileName.substr(0, delim + 1);
}

std::string ExtractFileName(const std::string& FileName) {
  const size_t delim = FileName.rfind(PathDelim);
  return delim == std::string::npos ? FileName : FileName.substr(delim + 1);
}

namespace {

// Position of the extension's dot in the file-name part, or npos.
size_t ExtensionDot(const std::string& FileName) {
  const size_t dot = FileName.rfind(ExtDelim);
  const size_t delim = FileName.rfind(PathDelim);
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim))
    return std::string::npos;
  return dot;
}

}  // namespace

std::string ExtractFileExt(const std::string& FileName) {
  const size_t dot = ExtensionDot(FileName);
  return dot == std::string::npos ? std::string() : FileName.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  const size_t dot = ExtensionDot(FileName);
  return (dot == std::string::npos ? FileName : FileName.substr(0, dot)) + Extension;
}

std::string RemoveInvalidFileChars(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (char c : Text) {
    if (std::string_view(kInvalidFileChars).find(c) == std::string_view::npos) out += c;
  }
  return out;
}

// ---------------------------------------------------------------- looking files up

namespace {

// What a directory search reports about the entry it found.
struct FoundEntry {
  std::string Name;  // full name
  platform::FileInfo Info;
};

bool HasWildcards(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// "*" matches any run of characters, "?" any one character; letters match
// without regard to case. No other character is special.
bool WildcardMatch(const std::string& pattern, const std::string& name) {
  size_t p = 0, n = 0;
  size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || AnsiUpperChar(pattern[p]) == AnsiUpperChar(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// The first entry a directory search for `name_or_pattern` finds: the name
// itself, or for a pattern the first matching entry of the folder in name
// order.
std::optional<FoundEntry> FindEntry(const std::string& name_or_pattern) {
  FoundEntry found;
  if (!HasWildcards(ExtractFileName(name_or_pattern))) {
    if (!platform::GetFileInfo(name_or_pattern, found.Info)) return std::nullopt;
    found.Name = name_or_pattern;
    return found;
  }
  const std::string folder = ExtractFilePath(name_or_pattern);
  const std::string pattern = ExtractFileName(name_or_pattern);
  std::error_code error;
  std::optional<std::string> best;
  for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end;
       !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    if (WildcardMatch(pattern, entry) && (!best || entry < *best)) best = entry;
  }
  if (!best) return std::nullopt;
  found.Name = folder + *best;
  if (!platform::GetFileInfo(found.Name, found.Info)) return std::nullopt;
  return found;
}

}  // namespace

bool FileFound(const std::string& NameOrPattern) {
  return FindEntry(NameOrPattern).has_value();
}

std::string LocateFile(const std::string& FileName) {
  const std::string found = platform::FindFileIgnoringCase(FileName);
  return !found.empty() && platform::FileExists(found) ? found : std::string();
}

bool ForceFolder(const std::string& Path) {
  return platform::ForceDirectories(Path);
}

bool FolderExists(const std::string& Path) {
  return platform::DirectoryExists(Path);
}

// ---------------------------------------------------------------- file facts

TDateTime GetFileDateTime(const std::string& FileName) {
  platform::FileInfo info;
  if (!platform::GetFileInfo(FileName, info) || info.IsDirectory) return 0;
  return EncodeDateTime(info.LastWrite);
}

int32_t GetFileSizeByName(const std::string& FileName) {
  const auto found = FindEntry(FileName);
  if (!found || found->Info.IsDirectory) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(found->Info.Size & 0xFFFFFFFFu));
}

void SetFileReadOnly(const std::string& FileName, bool ReadOnly) {
  const auto found = FindEntry(FileName);
  if (!found || found->Info.IsDirectory) return;
  const std::string name = ExtractFileName(found->Name);
  if (name == "." || name == "..") return;
  if (found->Info.ReadOnly == ReadOnly) return;
  // Failures are ignored: the callers go on with their next step, which meets
  // the same state and reports it.
  platform::SetReadOnly(found->Name, ReadOnly);
}

// ---------------------------------------------------------------- versions

bool IsFileVerInfoEmpty(const TFileVerInfo& Info) {
  return Info.Major == 0 && Info.Minor == 0 && Info.Release == 0 && Info.Build == 0;
}

void ClearFileVerInfo(TFileVerInfo& Info) {
  Info.Major = Info.Minor = Info.Release = Info.Build = 0;
  Info.VersionText.clear();
}

// ---------------------------------------------------------------- reading, writing, moving

std::string ReadTextFileToString(const std::string& FileName) {
  try {
    std::ifstream in(FileName, std::ios::binary);
    if (!in) return {};
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (in.bad()) return {};
    const std::vector<std::string> lines = SplitLines(content);
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) out += "\r\n";
      out += lines[i];
    }
    return out;
  } catch (...) {
    return {};  // any failure reads as an empty text; callers treat that as "nothing there"
  }
}

int WriteTextToFile(const std::string& FileName, const std::string& Text) {
  if (platform::WriteToFile(FileName, Text, platform::WriteMode::Replace)) return 0;
  return platform::GetLastError();
}

std::string MakeTimeStampedFileName(const std::string& FileName, const std::string& Pattern) {
  const std::string stamp = FormatDateTime("-" + Pattern, platform::NowLocal());
  return ChangeFileExt(FileName, "") + stamp + ExtractFileExt(FileName);
}

void MoveFileIfSizeAtLeast(const std::string& Source, const std::string& Target, int32_t MinSize) {
  if (GetFileSizeByName(Source) >= MinSize) {
    // The outcome is not reported: a failed rotation leaves the file in place
    // and writing goes on in it.
    platform::MoveFile(Source, Target);
  }
}

bool DeleteFileForce(const std::string& FileName) {
  if (platform::DeleteFile(FileName)) return true;
  if (!platform::FileExists(FileName)) return false;
  SetFileReadOnly(FileName, false);
  if (platform::DeleteFile(FileName)) return true;
  return platform::MoveFile(FileName, MakeTimeStampedFileName(FileName, "ddmmyyy_hhmmss"));
}

// ---------------------------------------------------------------- the running module

namespace {

// The module name cache: filled on first use, then fixed for the run.
struct ModuleNameCache {
  bool Known = false;
  std::string Name;
  bool IsDll = false;
};

ModuleNameCache& ModuleCache() {
  static ModuleNameCache cache;
  return cache;
}

const ModuleNameCache& LoadedModuleCache() {
  ModuleNameCache& cache = ModuleCache();
  if (!cache.Known) {
    cache.Name = platform::ExecutableFileName();
    cache.IsDll = AnsiUpperCase(ExtractFileExt(cache.Name)) == ".DLL";
    cache.Known = true;
  }
  return cache;
}

std::string BaseNameOf(const std::string& FileName) {
  return ChangeFileExt(ExtractFileName(FileName), "");
}

}  // namespace

std::string GetModuleName() {
  return LoadedModuleCache().Name;
}

bool IsModuleDll() {
  return LoadedModuleCache().IsDll;
}

std::string MakeModuleFileName(const std::string& Prefix, const std::string& Suffix) {
  const ModuleNameCache& module = LoadedModuleCache();
  // Our module is the executable itself unless it is a library.
  const std::string executable = module.IsDll ? platform::ExecutableFileName() : module.Name;
  std::string out = Prefix;
  if (module.IsDll) out += BaseNameOf(module.Name) + "_";
  return out + BaseNameOf(executable) + Suffix;
}

void OverrideModuleName(const std::string& FileName) {
  ModuleNameCache& cache = ModuleCache();
  cache = ModuleNameCache{};
  if (FileName.empty()) return;
  cache.Name = FileName;
  cache.IsDll = AnsiUpperCase(ExtractFileExt(FileName)) == ".DLL";
  cache.Known = true;
}

// ---------------------------------------------------------------- UNC paths (backslash form)

bool IsUNCPath(const std::string& Path) {
  return Path.size() >= 2 && Path[0] == '\\' && Path[1] == '\\';
}

std::string GetUNCHost(const std::string& Path) {
  if (!IsUNCPath(Path)) return {};
  const size_t end = Path.find('\\', 2);
  return Path.substr(2, end == std::string::npos ? std::string::npos : end - 2);
}

bool IsUNCPathWithIP(const std::string& Path) {
  if (!IsUNCPath(Path)) return false;
  std::string rest = GetUNCHost(Path);
  const int first = CutTokenInt(rest, ".", -1);
  const int second = CutTokenInt(rest, ".", -1);
  const int third = CutTokenInt(rest, ".", -1);
  const int fourth = CutTokenInt(rest, ".", -1);
  return first >= 1 && second >= 0 && third >= 0 && fourth >= 0;
}

std::string MakeServerPath(const std::string& Host, const std::string& Port,
                           const std::string& Path) {
  std::string server = "\\\\" + Host + ":" + Port;
  if (server.back() != '\\') server += '\\';
  return server + Path;
}
