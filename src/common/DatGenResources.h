// The program's resource texts and its language resource module.
//
// The texts compiled into the program are its base resources. A language
// resource module is a small text file beside the program, named after it
// with the extension ".ENU" (the English module of "RebuildIndexes" is
// "RebuildIndexes.ENU"); when present at start-up, its texts take the place
// of the base texts of the same name. The file holds name=value lines; empty
// lines and lines beginning with ";" are ignored, names ignore case:
//
//   ; English language resources
//   LanguageCode=LNGENG
//
// The language code tells which language the program runs in: "LNGHEB" in the
// base resources, "LNGENG" in the English module. Hebrew-only behaviour and
// the help links of the message dialog depend on it.
#pragma once

#include <string>

// The name of the language code among the resource texts.
inline constexpr const char* kResLanguageCode = "LanguageCode";

inline constexpr const char* kLanguageCodeHebrew = "LNGHEB";
inline constexpr const char* kLanguageCodeEnglish = "LNGENG";

// A resource text: the loaded module's when it holds the name, else the base
// text; empty when neither has it.
std::string LoadResString(const std::string& Name);

// LoadResString of the language code.
std::string GetLanguageCode();

// The module beside the running program: its file name with ".ENU".
std::string GetResourceModuleName();

// Reads `FileName` as the language resource module, replacing the one loaded
// before. False, and only the base resources in use, when it cannot be read.
bool LoadResourceModule(const std::string& FileName);

// LoadResourceModule of the module beside the program; called once at start.
bool LoadLanguageResources();

// Back to the base resources only.
void UnloadResourceModule();
