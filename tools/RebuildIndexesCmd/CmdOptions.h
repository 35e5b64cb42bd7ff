// The command line of RebuildIndexesCmd.
#pragma once

#include <string>
#include <vector>

struct TCmdOptions {
  bool Help = false;
  bool Quiet = false;
  std::string ReportFile;           // empty: no report
  bool Check = false;               // compare the index files with the definitions, change nothing
  bool DryRun = false;              // print what a run would do, change nothing
  std::vector<std::string> Tables;  // only these tables; empty: all
};

// Reads the arguments (without the program name). False with `error` set on
// a bad command line.
bool ParseCmdOptions(const std::vector<std::string>& args, TCmdOptions& options,
                     std::string& error);

// The text of --help.
std::string CmdUsage();

// Exit codes of a run.
inline constexpr int kExitSucceeded = 0;  // "Completed Successfully"
inline constexpr int kExitFailed = 1;     // the run ended with errors, or was stopped
inline constexpr int kExitNotStarted =
    2;  // start-up checks, connection or main definition file refused
inline constexpr int kExitBadUsage = 3;
