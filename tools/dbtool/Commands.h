// dbtool's commands: one table of name, usage, summary, options and the
// function that runs it. A new command is one more entry (and its file).
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/util/EngineError.h"

namespace dbtool {

enum ExitCode { kExitOk = 0, kExitCheckFailed = 1, kExitError = 2 };

struct Io {
  std::FILE* In = stdin;  // passwords of encrypted tables are read from here
  std::FILE* Out = stdout;
  std::FILE* Err = stderr;
  bool ErrIsTerminal = false;  // progress goes to Err only when it is a terminal
};

struct OptionSpec {
  const char* Name;  // "--filter"
  bool TakesValue;
};

struct Arguments {
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Options;  // a flag maps to ""

  bool Has(const std::string& name) const { return Options.count(name) != 0; }
  std::string Value(const std::string& name) const {
    auto it = Options.find(name);
    return it == Options.end() ? std::string() : it->second;
  }
};

struct Command {
  const char* Name;
  const char* Usage;    // arguments after the name
  const char* Summary;  // one line
  size_t MinPositional;
  size_t MaxPositional;
  std::vector<OptionSpec> Options;
  int (*Run)(const Arguments& args, Io& io);
};

// Every command, in the order the help lists them.
const std::vector<Command>& AllCommands();

// The whole tool: `args` are the words after the program name.
int RunDbtool(const std::vector<std::string>& args, Io& io);

// Writes "dbtool: " + message and a line break to Err; answers kExitError.
int ReportError(Io& io, const std::string& message);

// An engine failure named by its code, the way docs/engine-errors.md lists
// it: "error 7059: The unique index ...". Its message alone without a code.
std::string CodedMessage(const engine::Status& status);

// ReportError of CodedMessage(status). REQUIRES: !status.ok().
int ReportError(Io& io, const engine::Status& status);

// The commands (each in its own file).
int RunImport(const Arguments& args, Io& io);
int RunInfo(const Arguments& args, Io& io);
int RunDump(const Arguments& args, Io& io);
int RunCount(const Arguments& args, Io& io);
int RunIndex(const Arguments& args, Io& io);
int RunReindex(const Arguments& args, Io& io);
int RunRecall(const Arguments& args, Io& io);
int RunVerify(const Arguments& args, Io& io);
int RunScan(const Arguments& args, Io& io);
int RunSearch(const Arguments& args, Io& io);
int RunSql(const Arguments& args, Io& io);
int RunEncrypt(const Arguments& args, Io& io);
int RunDecrypt(const Arguments& args, Io& io);
int RunSalvage(const Arguments& args, Io& io);

}  // namespace dbtool
