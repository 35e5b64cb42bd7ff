// dbtool encrypt TABLE.ADT [--rounds N]
// dbtool decrypt TABLE.ADT
//
// The password is the first line of standard input. The table and its
// index file are written anew beside themselves and put in place together
// (engine/TableRewrite.h): a crash leaves the old table or the new one.
// Through a server the rewrite runs there.
#include "Commands.h"
#include "IndexText.h"
#include "TablePassword.h"
#include "engine/sql/RemoteTable.h"
#include "engine/table/TableRewrite.h"

namespace dbtool {

namespace {

int Rewrite(const Arguments& args, Io& io, bool encrypt) {
  engine::TableRewriteOptions options;
  if (args.Has("--rounds")) {
    uint64_t rounds = 0;
    std::string error;
    if (!ParseCount(args.Value("--rounds"), "--rounds", engine::kMaxKdfIterations, rounds, error))
      return ReportError(io, error);
    options.KdfIterations = static_cast<uint32_t>(rounds);
  }
  std::string folder, name;
  SplitTablePath(args.Positional[0], folder, name);
  auto connection = engine::Connection::Connect(folder);
  if (!connection) return ReportError(io, connection.status());
  auto password = ReadPassword(io);
  if (!password) return ReportError(io, password.status());
  engine::Status status;
  if ((*connection)->IsRemote()) {
    // Rewritten on the server, next to the files.
    status = engine::RewriteRemoteTable(**connection, name, encrypt, *password,
                                        args.Has("--rounds") ? options.KdfIterations : 0);
  } else {
    status = encrypt ? engine::EncryptTable(**connection, name, *password, options)
                     : engine::DecryptTable(**connection, name, *password, options);
  }
  if (!status.ok()) return ReportError(io, status);
  std::fprintf(io.Out, "%s: %s\n", name.c_str(), encrypt ? "encrypted" : "decrypted");
  return kExitOk;
}

}  // namespace

int RunEncrypt(const Arguments& args, Io& io) {
  return Rewrite(args, io, true);
}

int RunDecrypt(const Arguments& args, Io& io) {
  return Rewrite(args, io, false);
}

}  // namespace dbtool
