#include "CmdOptions.h"

bool ParseCmdOptions(const std::vector<std::string>& args, TCmdOptions& options,
                     std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.Quiet = true;
    } else if (arg == "--report") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = "--report needs a file name";
        return false;
      }
      options.ReportFile = args[++i];
    } else if (arg.rfind("--report=", 0) == 0 && arg.size() > 9) {
      options.ReportFile = arg.substr(9);
    } else {
      error = "unknown argument: " + arg;
      return false;
    }
  }
  return true;
}

std::string CmdUsage() {
  return "Usage: RebuildIndexesCmd [--quiet] [--report FILE]\n"
         "\n"
         "Rebuilds the indexes of the installation the program sits in (its App\n"
         "folder), exactly as the Rebuild Indexes window's Start does: the same\n"
         "definition files in DBSys, the same stop marker, the same activity log.\n"
         "Every dialog the run would show is answered with OK and printed to\n"
         "standard error with its title.\n"
         "\n"
         "Options:\n"
         "  --quiet, -q       no progress; only the dialogs (errors and the outcome)\n"
         "  --report FILE     write a JSON summary of the run to FILE\n"
         "  --help, -h        this text\n"
         "\n"
         "Progress goes to standard output: on a terminal one line redrawn in place,\n"
         "otherwise one plain line per table.\n"
         "\n"
         "Ctrl+C (or SIGTERM) stops after the current table; a second one ends at once.\n"
         "\n"
         "Exit codes:\n"
         "  0  the run succeeded (\"Completed Successfully\")\n"
         "  1  the run ended with errors, or was stopped\n"
         "  2  the run could not start (start-up checks, connection, main definition file)\n"
         "  3  bad usage\n";
}
