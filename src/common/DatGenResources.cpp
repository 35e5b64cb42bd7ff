#include "common/DatGenResources.h"

#include <map>
#include <optional>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenStringsFunctions.h"
#include "common/TStringList.h"
#include "platform/Platform.h"

namespace {

const std::map<std::string, std::string>& BaseResources() {
  static const std::map<std::string, std::string> base{{kResLanguageCode, kLanguageCodeHebrew}};
  return base;
}

std::optional<TStringList>& LoadedModule() {
  static std::optional<TStringList> module;
  return module;
}

}  // namespace

std::string LoadResString(const std::string& Name) {
  if (const auto& module = LoadedModule()) {
    for (int i = 0; i < module->Count(); ++i) {
      if (SameText(Trim(module->Names(i)), Name)) return Trim(module->ValueFromIndex(i));
    }
  }
  for (const auto& [name, text] : BaseResources()) {
    if (SameText(name, Name)) return text;
  }
  return "";
}

std::string GetLanguageCode() {
  return LoadResString(kResLanguageCode);
}

std::string GetResourceModuleName() {
  return ChangeFileExt(GetModuleName(), ".ENU");
}

bool LoadResourceModule(const std::string& FileName) {
  UnloadResourceModule();
  if (!platform::FileExists(FileName)) return false;
  TStringList lines;
  lines.SetText(ReadTextFileToString(FileName));
  TStringList entries;
  for (const std::string& line : lines) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    entries.Add(trimmed);
  }
  LoadedModule() = std::move(entries);
  return true;
}

bool LoadLanguageResources() {
  return LoadResourceModule(GetResourceModuleName());
}

void UnloadResourceModule() {
  LoadedModule().reset();
}
