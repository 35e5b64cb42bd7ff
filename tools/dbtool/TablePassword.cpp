#include "TablePassword.h"

#include <cstdio>

#include "engine/util/TableCryptoErrors.h"

namespace dbtool {

namespace {

constexpr size_t kMaxPasswordBytes = 4096;

}  // namespace

engine::Result<std::string> ReadPassword(Io& io) {
  std::string password;
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(io.In)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (password.size() == kMaxPasswordBytes) {
      return engine::Status(engine::AE_WRONG_PASSWORD,
                            "the password on standard input is longer than " +
                                std::to_string(kMaxPasswordBytes) + " bytes");
    }
    password += static_cast<char>(c);
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (!any) {
    return engine::Status(engine::AE_EMPTY_PASSWORD,
                          "no password on standard input (one line is read)");
  }
  return password;
}

engine::Result<TableAtPath> OpenTableFor(const Arguments& args, Io& io, engine::OpenMode mode,
                                         bool locked_ok, bool remote_ok) {
  auto opened = OpenTableAt(args.Positional[0], mode, remote_ok);
  if (!opened) return opened.status();
  const bool encrypted =
      opened->Remote ? opened->Remote->IsEncrypted() : opened->Table->IsEncrypted();
  const std::string name = opened->Remote ? opened->Remote->Name() : opened->Table->Name();
  if (!encrypted) return opened;
  if (!args.Has(kPasswordStdinOption.Name)) {
    if (locked_ok) return opened;
    return engine::Status(engine::AE_PASSWORD_NOT_ENABLED,
                          "Table \"" + name +
                              "\" is encrypted: give its password on standard input with " +
                              kPasswordStdinOption.Name);
  }
  auto password = ReadPassword(io);
  if (!password) return password.status();
  const engine::Status status = opened->Remote ? opened->Remote->EnableEncryption(*password)
                                               : opened->Table->EnableEncryption(*password);
  if (!status.ok()) return status;
  return opened;
}

}  // namespace dbtool
