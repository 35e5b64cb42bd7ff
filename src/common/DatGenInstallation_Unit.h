// The installation's folders and its well-known files.
//
// The program lives in the application folder (App/) of a CRM installation.
// At start-up LoadInstallationDefaults settles the application folder (the
// executable's folder) and the database folder (key "Path" of section
// "DATABASE" in the settings file beside the executable, else the folder "DB"
// beside the application folder). Every other folder is a sibling of the
// database folder:
//
//   <P>/App/            the executable, the settings file "VorlexCRM.ini"
//   <P>/DB/             the tables and their index files
//   <P>/DBSys/          definition files, stop marker, help links, server marker
//   <P>/Server/         files of the server components
//   <P>/Logs/           the activity logs (created on first request)
//
// A well-known file may exist under its own name, which carries the product
// word ("VorlexCRM.ini"), or under its alternate name with "CRM" in its place
// ("CRM.ini"). Files are found by their exact name first, then ignoring case.
//
// Nothing here reports or raises an error: a missing settings file gives the
// default database folder, a Logs folder that cannot be made is returned all
// the same.
#pragma once

#include <string>

// ---------------------------------------------------------------- the defaults record

// Settings of the CRM installation as a whole. Only the two folders are set
// and read by this program; the other fields keep their defaults.
struct GeneralDefaultsRecType {
  std::string AppPath = "/opt/VLX/";      // application folder, with trailing delimiter
  std::string LogPath = "/opt/VLX/LOG/";  // log folder of the CRM application
  std::string LogFileName = "VLX.LOG";    // log file of the CRM application
  std::string NetPath = "/opt/VLX/NET/";  // network folder
};

struct DatabaseDefaultsRecType {
  std::string DBPath = "/opt/VLX/DB/";  // database folder, as read or defaulted
};

struct DialDefaultsRecType {
  bool UseDialUp = false;  // connect through dial-up networking
  std::string DialEntry;   // the dial-up entry to use
};

struct OfficeDefaultsRecType {
  std::string TemplatesPath = "/opt/VLX/TEMPLATES/";  // office document templates
};

struct MnAccDefaultsRecType {
  std::string ExportPath = "/opt/VLX/EXPORT/";  // accounting export folder
};

struct FullDefaultsRecType {
  GeneralDefaultsRecType General;
  DatabaseDefaultsRecType Database;
  DialDefaultsRecType Dial;
  OfficeDefaultsRecType Office;
  MnAccDefaultsRecType MnAcc;
};

// The process-wide record, as LoadInstallationDefaults left it.
const FullDefaultsRecType& InstallationDefaults();

// ---------------------------------------------------------------- folders

// Settles the application and database folders from the running module's
// place (GetModuleName) and the settings file beside it. Runs once at
// start-up; calling it again starts afresh, forgetting the Logs folder and the
// server flag found for the previous installation.
void LoadInstallationDefaults();

// The database folder exactly as read or defaulted (no delimiter added or
// removed).
std::string GetDBPath();

// Siblings of the database folder, with trailing delimiter.
std::string GetDBSysPath();
std::string GetServerPath();

// The Logs folder. Its first call creates it (with missing parents) and keeps
// the result; later calls return that without looking at the disk.
std::string GetLogsPath();

// The folder of the running module, with trailing delimiter.
std::string GetModulePath();

// `Path` without one trailing delimiter, then without its last delimiter and
// what follows it: "/a/b/" and "/a/b" give "/a", "DB" gives "DB".
std::string GetParentPath(const std::string& Path);

// ---------------------------------------------------------------- product name

// The name the installation gives its CRM product: key "ProductName" of
// section "GENERAL" in the settings file beside the program, blanks trimmed;
// "VorlexCRM" when the file, the key or a value is missing.
std::string ReadInstalledProductName();

// SetProductName(ReadInstalledProductName()); run once at start-up.
void LoadProductName();

// ---------------------------------------------------------------- well-known files

// "VorlexCRM.ini".
std::string GetSettingsIniName();

// The file name with every product word of its name part ("VorlexCRM",
// "Vorlex", the Hebrew product word, the product token) replaced by "CRM",
// ignoring case; the folder part is kept unchanged.
std::string GetAltFileName(const std::string& FileName);

// Finds a file under its own name, else under its alternate name (each by
// exact name, then ignoring case). True when found, with the name on disk in
// `ResolvedName`. When neither exists, `ResolvedName` is the alternate name if
// `UseAltIfMissing`, else `FileName`: a file yet to be made gets the generic
// name.
bool ResolveFileName(const std::string& FileName, bool UseAltIfMissing, std::string& ResolvedName);

// Removes the file under its own and its alternate name with DeleteFileForce,
// giving a file that resisted the first removal one more full attempt. True
// when a file was removed.
bool DeleteWellKnownFile(const std::string& FileName);

// Whether the server marker "VorlexServer.sr1" (or its alternate name) is in
// DBSys. Looked up on the first call; the answer then stays for the run.
bool IsServerInstallation();
