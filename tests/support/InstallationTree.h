// A CRM installation tree in a temporary folder, with the program placed in
// its App folder:
//
//   <root>/App/RebuildTool      a link to the running test program
//   <root>/DB/  <root>/DBSys/  <root>/Server/  <root>/Logs/
//
// Making the tree makes the program believe it runs from App/: the module
// name points there and the installation folders are loaded from it (the
// settings file is read if the test wrote one first; see Reload). The real
// module name comes back when the tree goes.
//
// Header-only so that any test binary that links the common layer can use it.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "support/TempDir.h"

class InstallationTree {
 public:
  struct Options {
    std::string ProgramName = "RebuildTool";
    bool MakeLogs = true;     // false: leave Logs/ for the program to create
    bool LinkProgram = true;  // false: no file at the program's name
  };

  InstallationTree() : InstallationTree(Options{}) {}

  explicit InstallationTree(const Options& options) {
    for (const char* folder : {"App", "DB", "DBSys", "Server"}) ForceFolder(dir_ / folder);
    if (options.MakeLogs) ForceFolder(dir_ / "Logs");
    program_ = dir_ / ("App/" + options.ProgramName);
    if (options.LinkProgram) {
      // The link lets the program's file be read (its version note) from
      // its place in the tree. A failure is left to show in the test that
      // reads the file.
      std::error_code ignored;
      std::filesystem::create_symlink(platform::ExecutableFileName(), program_, ignored);
    }
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
