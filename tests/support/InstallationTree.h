// A CRM installation tree in a temporary folder, with the program placed in
// its App folder:
//
//   <root>/App/RebuildTool      (not created; the program's name for this test)
//   <root>/DB/  <root>/DBSys/  <root>/Server/  <root>/Logs/
//
// Making the tree makes the program believe it runs from App/: the module
// name points there and the installation folders are loaded from it (the
// settings file is read if the test wrote one first; see Reload). The real
// module name comes back when the tree goes.
//
// Header-only so that any test binary that links the common layer can use it.
#pragma once

#include <string>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "support/TempDir.h"

class InstallationTree {
 public:
  struct Options {
    std::string ProgramName = "RebuildTool";
    bool MakeLogs = true;  // false: leave Logs/ for the program to create
  };

  InstallationTree() : InstallationTree(Options{}) {}

  explicit InstallationTree(const Options& options) {
    for (const char* folder : {"App", "DB", "DBSys", "Server"}) ForceFolder(dir_ / folder);
    if (options.MakeLogs) ForceFolder(dir_ / "Logs");
    program_ = dir_ / ("App/" + options.ProgramName);
    Reload();
  }

  ~InstallationTree() {
    OverrideModuleName("");
    LoadInstallationDefaults();
  }

  InstallationTree(const InstallationTree&) = delete;
  InstallationTree& operator=(const InstallationTree&) = delete;

  // Places the program in App/ again and reloads the installation folders
  // (after writing a settings file, for example).
  void Reload() {
    OverrideModuleName(program_);
    LoadInstallationDefaults();
  }

  // The tree's root, without trailing delimiter, and folders below it with
  // their trailing delimiter ("App", "DB", ...).
  const std::string& Root() const { return dir_.Path(); }
  std::string Folder(const std::string& name) const { return dir_ / name + "/"; }
  std::string Program() const { return program_; }

  // Full name of a file below the root.
  std::string operator/(const std::string& relative) const { return dir_ / relative; }

  // Writes a file below the root (missing folders created); its full name.
  std::string WriteFile(const std::string& relative, const std::string& content) const {
    return dir_.WriteFile(relative, content);
  }

  const TempDir& Dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string program_;
};
