// Passwords of encrypted tables, as dbtool takes them: one line of standard
// input, never an argument (which other users of the machine could see).
#pragma once

#include <string>

#include "Commands.h"
#include "TableAtPath.h"
#include "engine/util/EngineError.h"

namespace dbtool {

// The option of every command that reads an encrypted table's records.
inline constexpr OptionSpec kPasswordStdinOption{"--password-stdin", false};

// Reads the password: the first line of io.In without its line end. An
// error when there is none.
engine::Result<std::string> ReadPassword(Io& io);

// Opens the table named by the command's first argument, as OpenTableAt
// does, and with --password-stdin enables the password read from standard
// input on it when it is encrypted. An encrypted table without the option is
// an error naming the option, unless `locked_ok` (the command can say what
// it has to say without the records). A table on a server is opened only
// for a command that says `remote_ok`.
engine::Result<TableAtPath> OpenTableFor(const Arguments& args, Io& io, engine::OpenMode mode,
                                         bool locked_ok = false, bool remote_ok = false);

}  // namespace dbtool
