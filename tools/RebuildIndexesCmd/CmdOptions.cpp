#include "CmdOptions.h"

namespace {

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string name =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!name.empty()) names.push_back(name);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return names;
}

}  // namespace

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
    } else if (arg == "--check") {
      options.Check = true;
    } else if (arg == "--dry-run") {
      options.DryRun = true;
    } else if (arg == "--tables" || (arg.rfind("--tables=", 0) == 0)) {
      const std::string list =
          arg == "--tables" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(9);
      options.Tables = SplitNames(list);
      if (options.Tables.empty()) {
        error = "--tables needs table names (NAME,NAME,...)";
        return false;
      }
    } else {
      error = "unknown argument: " + arg;
      return false;
    }
  }
  if (options.Check && options.DryRun) {
    error = "--check and --dry-run cannot be combined";
    return false;
  }
  if ((options.Check || options.DryRun) && !options.ReportFile.empty()) {
    error = "--report belongs to a rebuild, not to --check or --dry-run";
    return false;
  }
  return true;
}

std::string CmdUsage() {
  return "Usage: RebuildIndexesCmd [--quiet] [--report FILE] [--tables NAME,...]\n"
         "       RebuildIndexesCmd --check [--tables NAME,...]\n"
         "       RebuildIndexesCmd --dry-run [--tables NAME,...]\n"
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
         "  --tables NAME,... rebuild only these tables (of the definition files' sections\n"
         "                    and the data dictionary's user tables), e.g. after one was in use\n"
         "  --check           change nothing: for every table the definitions list, check\n"
         "                    that its index file holds every tag as defined (expression,\n"
         "                    options, page size), that the engine's verification passes\n"
         "                    and count records without a record id; one line per table;\n"
         "                    exit 0 when nothing needs a rebuild, 1 otherwise\n"
         "  --dry-run         change nothing: print the plan (tables in order, tags, page\n"
         "                    sizes, full-text noise words), the records without a record\n"
         "                    id the repair would remove, tables missing or in use now,\n"
         "                    and the disk space the sort needs against what is free\n"
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
