// The encryption of an encrypted table's index file: every page but the
// header page is stored under the table's key (TableCrypto.h), in a stream
// of the file's own that the header page names.
//
// The header page stays readable, so the page size of an index file is
// known before the table's password is enabled; it holds nothing of the
// records. Checksums are computed over the pages as they are before
// encryption, so a wrong key or a changed byte shows up as a checksum error.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/crypto/TableCrypto.h"
#include "engine/util/EngineError.h"

namespace engine {

// The encryption fields of the header page (the whole page is described in
// IndexFileWriter.cpp).
inline constexpr uint32_t kIndexHeaderFlagsOffset = 44;
inline constexpr uint32_t kIndexHeaderStreamOffset = 48;
inline constexpr uint32_t kIndexHeaderKeyIdOffset = 56;
inline constexpr uint32_t kIndexKeyIdSize = 16;
inline constexpr uint32_t kIndexFlagEncrypted = 1;

// Encrypts or decrypts the pages of one index file. A default one (or one
// made without a key) leaves pages as they are.
class IndexPageCipher {
 public:
  IndexPageCipher() = default;
  IndexPageCipher(IndexPageCipher&&) = default;
  IndexPageCipher& operator=(IndexPageCipher&&) = default;

  // For a file written anew under `key` (nullptr: not encrypted): a clone
  // of the key and a new stream number.
  static Result<IndexPageCipher> ForNewFile(const TableCipher* key);

  // For reading the file `path` whose header page is `header` (its checksum
  // checked), with the table's key (nullptr when the table is not encrypted
  // or its password is not enabled). Errors: AE_PASSWORD_NOT_ENABLED for an
  // encrypted file without a key, AE_INDEX_KEY_MISMATCH when the file's
  // encryption is not the key's, AE_INDEX_CORRUPT for unknown flags.
  static Result<IndexPageCipher> ForHeader(const uint8_t* header, const TableCipher* key,
                                           const std::string& path);

  bool Encrypts() const { return cipher_ != nullptr; }

  // Writes the encryption fields into a header page before it is sealed.
  void StampHeader(uint8_t* header) const;

  // Applies the key stream to `count` pages of `page_size` bytes from file
  // page `first` on; the header page (page 0) is left as it is. One thread at
  // a time.
  Status Apply(uint32_t first, uint32_t count, uint32_t page_size, uint8_t* pages);

 private:
  std::unique_ptr<TableCipher> cipher_;
  uint64_t stream_ = 0;
  std::array<uint8_t, kIndexKeyIdSize> key_id_{};
};

// The key id an index file written under `key` carries: the first bytes of
// the table's key derivation salt, new each time a table is encrypted.
std::array<uint8_t, kIndexKeyIdSize> IndexKeyIdOf(const TableCipher& key);

// The page size of the index file at `path`, from its header page alone
// (readable without the table's password).
Result<uint32_t> ReadIndexFilePageSize(const std::string& path);

}  // namespace engine
