// The start-up checks on the database engine, and the system lock.
//
// The engine check runs first: the engine's client files must lie beside the
// program and the engine must report exactly the version the program was
// built for. The system lock runs right after it: the main connection must be
// up and, on a local installation, the table "SysLock.adt" is held open
// (shared) on it for as long as the program runs; a server installation never
// opens it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The version of the engine the program was built for.
inline constexpr const char* kRequiredEngineVersion = "11.10";

// True when every engine file ("ace32.dll", "adsloc32.dll", "axcws32.dll",
// "adslocal.cfg", "Ansi.chr") exists in `folder` (found whatever the case of
// its name); `missing` receives "\n\r" + name for each one that does not.
bool CheckEngineFiles(const std::string& folder, std::string& missing);

// "11.10" for major 11 and minor 10, "11.05" for minor 5.
std::string EngineVersionText(uint32_t major, uint32_t minor);

// The version text of the engine the program runs with (AdsGetVersion).
// A failing call raises the database error.
std::string GetEngineVersion();

// Replaces the engine's version call (tests of an engine of another version);
// an empty hook restores the engine's own. The hook answers as AdsGetVersion.
void SetEngineVersionHook(std::function<uint32_t(uint32_t* major, uint32_t* minor)> hook);

// True when the engine can be used; else false and the text to show: the
// missing files (the engine is then not asked for its version), or the
// version mismatch.
bool CheckEngine(std::string& message);

// Makes sure the main connection is up (creating the connection data module
// on first use, with one more silent attempt when that fails) and, on a local
// installation, holds "SysLock.adt" open. False when the program must stop.
// An error while opening the table passes to the caller.
bool OpenSystemLock();

// Closes and frees the system lock table if there is one (program end).
void CloseSystemLock();

// Whether the system lock table is open (tests, diagnostics).
bool IsSystemLockOpen();
