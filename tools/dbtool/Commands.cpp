#include "Commands.h"

#include <cstring>

#include "TablePassword.h"

namespace dbtool {

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands = {
      {"import",
       "TABLE.ADT FILE.csv [--replace]",
       "create TABLE.ADT from a CSV whose header names each column NAME:TYPE[:LENGTH], then load "
       "the rows "
       "(FILE.csv may be - for standard input)",
       2,
       2,
       {{"--replace", false}},
       RunImport},
      {"info",
       "TABLE.ADT",
       "fields, record counts, encryption, index file and index tags of a table",
       1,
       1,
       {kPasswordStdinOption},
       RunInfo},
      {"dump",
       "TABLE.ADT [--filter EXPR] [--deleted] [--crlf]",
       "the records as CSV with the header import reads (--deleted includes deleted records, "
       "--crlf ends lines "
       "with CR LF)",
       1,
       1,
       {{"--filter", true}, {"--deleted", false}, {"--crlf", false}, kPasswordStdinOption},
       RunDump},
      {"recall",
       "TABLE.ADT [--filter EXPR]",
       "bring back the deleted records (that the filter lets through) and rebuild the table's "
       "tags to hold them; a tag the records would break leaves everything as it was",
       1,
       1,
       {{"--filter", true}, kPasswordStdinOption},
       RunRecall},
      {"count",
       "TABLE.ADT [--filter EXPR]",
       "the number of live records (that the filter lets through)",
       1,
       1,
       {{"--filter", true}, kPasswordStdinOption},
       RunCount},
      {"index",
       "TABLE.ADT TAG EXPR [--unique] [--descending] [--ci] [--primary] [--pagesize N]",
       "add the index tag TAG on EXPR (field names separated by ;) to the table's index file, "
       "replacing a tag of that name (--ci: case-insensitive; --pagesize: 512, 1024, 2048, 4096 "
       "or 8192, else the index file's own)",
       3,
       3,
       {{"--unique", false},
        {"--descending", false},
        {"--ci", false},
        {"--primary", false},
        {"--pagesize", true},
        kPasswordStdinOption},
       RunIndex},
      {"reindex",
       "TABLE.ADT [--pagesize N]",
       "rebuild every tag of the table's index file (in the page size N, else the file's own)",
       1,
       1,
       {{"--pagesize", true}, kPasswordStdinOption},
       RunReindex},
      {"verify",
       "TABLE.ADT",
       "check every index tag: its tree, its keys (a full-text tag: its words) against the live "
       "records, uniqueness; one line per tag (exit code 1 when a check fails)",
       1,
       1,
       {kPasswordStdinOption},
       RunVerify},
      {"scan",
       "TABLE.ADT TAG [--from VALUE] [--limit N] [--crlf]",
       "the records in the order of the index tag TAG as CSV, from the first key at or after "
       "VALUE (key parts separated by ;), at most N of them",
       2,
       2,
       {{"--from", true}, {"--limit", true}, {"--crlf", false}, kPasswordStdinOption},
       RunScan},
      {"search",
       "TABLE.ADT TAG WORDS... [--crlf]",
       "the records holding every one of WORDS, found through the full-text index tag TAG, as "
       "CSV in record order",
       3,
       1000,
       {{"--crlf", false}, kPasswordStdinOption},
       RunSearch},
      {"sql",
       "FOLDER STATEMENT",
       "run one SQL statement (DELETE FROM ... or CREATE INDEX ... CONTENT) on a connection to "
       "the database folder FOLDER and say what it did",
       2,
       2,
       {},
       RunSql},
      {"encrypt",
       "TABLE.ADT [--rounds N]",
       "encrypt the table and its index file with the password read from standard input (one "
       "line); --rounds: key derivation rounds, 1000..10000000, default 600000",
       1,
       1,
       {{"--rounds", true}},
       RunEncrypt},
      {"decrypt",
       "TABLE.ADT",
       "decrypt the table and its index file with the password read from standard input",
       1,
       1,
       {},
       RunDecrypt},
      {"salvage",
       "TABLE.ADT NEW [--password-stdin]",
       "copy every live record of a damaged table that can still be read into the new table NEW "
       "beside it, and list the records that could not be read (exit code 1 when any could not)",
       2,
       2,
       {kPasswordStdinOption},
       RunSalvage},
  };
  return commands;
}

int ReportError(Io& io, const std::string& message) {
  std::fprintf(io.Err, "dbtool: %s\n", message.c_str());
  return kExitError;
}

std::string CodedMessage(const engine::Status& status) {
  if (status.Code() == engine::AE_SUCCESS) return status.Message();
  return "error " + std::to_string(status.Code()) + ": " + status.Message();
}

int ReportError(Io& io, const engine::Status& status) {
  return ReportError(io, CodedMessage(status));
}

namespace {

void PrintUsage(std::FILE* to) {
  std::fprintf(to, "usage: dbtool COMMAND ARGUMENTS\n\ncommands:\n");
  for (const Command& c : AllCommands())
    std::fprintf(to, "  %s %s\n      %s\n", c.Name, c.Usage, c.Summary);
  std::fprintf(
      to,
      "\nencrypted tables: the commands that read records take --password-stdin, and encrypt "
      "and decrypt\nread the password from standard input too (its first line)\n"
      "\nexit code: 0 success, 1 a check failed, 2 an error (the message is on standard error)\n");
}

// Splits `words` into positional arguments and the command's options; false
// with the reason in `error` for an unknown option or a missing value.
bool ParseArguments(const Command& command, const std::vector<std::string>& words, Arguments& args,
                    std::string& error) {
  bool options_done = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (options_done || word.size() < 2 || word.compare(0, 2, "--") != 0) {
      args.Positional.push_back(word);
      continue;
    }
    if (word == "--") {
      options_done = true;
      continue;
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& o : command.Options) {
      if (word == o.Name) spec = &o;
    }
    if (!spec) {
      error = "\"" + word + "\" is not an option of " + command.Name;
      return false;
    }
    if (spec->TakesValue) {
      if (i + 1 == words.size()) {
        error = word + " needs a value";
        return false;
      }
      args.Options[word] = words[++i];
    } else {
      args.Options[word] = "";
    }
  }
  if (args.Positional.size() < command.MinPositional ||
      args.Positional.size() > command.MaxPositional) {
    error = std::string("usage: dbtool ") + command.Name + " " + command.Usage;
    return false;
  }
  return true;
}

}  // namespace

int RunDbtool(const std::vector<std::string>& args, Io& io) {
  if (args.empty()) {
    PrintUsage(io.Err);
    return kExitError;
  }
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    PrintUsage(io.Out);
    return kExitOk;
  }
  for (const Command& command : AllCommands()) {
    if (args[0] != command.Name) continue;
    Arguments parsed;
    std::string error;
    if (!ParseArguments(command, std::vector<std::string>(args.begin() + 1, args.end()), parsed,
                        error)) {
      return ReportError(io, error);
    }
    return command.Run(parsed, io);
  }
  ReportError(io, "unknown command \"" + args[0] + "\"");
  PrintUsage(io.Err);
  return kExitError;
}

}  // namespace dbtool
