// The encryption side of an open table: enabling its password, disabling it
// again, and the records' key stream.
//
// Records are encrypted whole (state byte and null bitmap included) with
// the table's key in stream kRecordStream, each byte at its offset in the
// file (TableCrypto.h), so any record can be read or written alone. Flagging
// a record deleted writes its state byte again under the same key stream
// bytes; that shows only that the byte changed.
#include "engine/table/Table.h"
#include "engine/table/TableCursor.h"
#include "engine/util/LastError.h"
#include "engine/util/TableCryptoErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

Status Table::PasswordNotEnabled() const {
  return Status(AE_PASSWORD_NOT_ENABLED,
                "Table \"" + name_ + "\" is encrypted: its password must be enabled before its " +
                    "records or indexes are used");
}

Status Table::CipherRecords(uint64_t offset, uint8_t* data, size_t size) const {
  if (!IsEncrypted()) return Status::Ok();
  if (!cipher_) return PasswordNotEnabled();
  return cipher_->Apply(kRecordStream, offset, data, size);
}

Status Table::EnableEncryption(std::string_view password) {
  if (!IsEncrypted())
    return NoteError(Status(AE_ALREADY_SO, "Table \"" + name_ + "\" is not encrypted"));
  if (cipher_) {
    return NoteError(
        Status(AE_ALREADY_SO, "The password of table \"" + name_ + "\" is enabled already"));
  }
  const CommitState& commit = header_.Commit;
  if (commit.CipherScheme != kTableCipherScheme) {
    return NoteError(Status(AE_ENCRYPTION_UNAVAILABLE, "Table \"" + name_ +
                                                           "\" is encrypted with the scheme " +
                                                           std::to_string(commit.CipherScheme) +
                                                           ", which this engine does not know"));
  }
  TableKeyParameters params;
  params.KdfIterations = commit.KdfIterations;
  params.Salt = commit.Salt;
  params.PasswordCheck = commit.PasswordCheck;
  Result<TableCipher> cipher = TableCipher::Unlock(password, params);
  if (!cipher) {
    if (cipher.status().Code() == AE_WRONG_PASSWORD) {
      return NoteError(
          Status(AE_WRONG_PASSWORD, "The password is not the password of table \"" + name_ + "\""));
    }
    return NoteError(
        Status(cipher.status().Code(), "Table \"" + name_ + "\": " + cipher.status().Message()));
  }
  cipher_ = std::make_unique<TableCipher>(std::move(cipher).value());
  ++key_generation_;
  if (passwords_) passwords_->Remember(Path(), std::string(password));
  // The index file is read again, under the key.
  indexes_.reset();
  indexes_read_ = false;
  return Status::Ok();
}

Status Table::DisableEncryption() {
  if (!cipher_) {
    return NoteError(Status(AE_ALREADY_SO,
                            IsEncrypted() ? "The password of table \"" + name_ + "\" is not enabled"
                                          : "Table \"" + name_ + "\" is not encrypted"));
  }
  cipher_.reset();
  ++key_generation_;
  if (passwords_) passwords_->Forget(Path());
  indexes_.reset();
  indexes_read_ = false;
  if (cursor_) cursor_->Park();
  return Status::Ok();
}

}  // namespace engine
