// The header page's encryption fields (the rest of the page is described in
// IndexFileWriter.cpp):
//
//   OFFSET  SIZE  DESCRIPTION
//       44     4  flags: bit 0 the pages after the header page are encrypted
//       48     8  stream number of the file's pages (0 unless encrypted)
//       56    16  key id: the first 16 bytes of the table's key derivation
//                 salt (zero unless encrypted)
//
// Page n (n >= 1) of an encrypted file is stored as the page's bytes, its
// checksum included, encrypted at byte n * page size of the file's stream.
// Every write of an index file makes a new file with a new stream number,
// so no two versions of a file share key stream bytes.
#include "engine/index/IndexFileCrypto.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/index/IndexFileFormat.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/TableCryptoErrors.h"

namespace engine {

// The key id is the last field of the header page.
static_assert(kIndexHeaderKeyIdOffset + kIndexKeyIdSize == kHeaderFieldsSize);

std::array<uint8_t, kIndexKeyIdSize> IndexKeyIdOf(const TableCipher& key) {
  std::array<uint8_t, kIndexKeyIdSize> id{};
  std::copy_n(key.Parameters().Salt.begin(), id.size(), id.begin());
  return id;
}

Result<IndexPageCipher> IndexPageCipher::ForNewFile(const TableCipher* key) {
  IndexPageCipher cipher;
  if (!key) return cipher;
  Result<TableCipher> clone = key->Clone();
  if (!clone) return clone.status();
  Result<uint64_t> stream = TableCipher::NewStreamNumber();
  if (!stream) return stream.status();
  cipher.cipher_ = std::make_unique<TableCipher>(std::move(clone).value());
  cipher.stream_ = *stream;
  cipher.key_id_ = IndexKeyIdOf(*key);
  return cipher;
}

Result<IndexPageCipher> IndexPageCipher::ForHeader(const uint8_t* header, const TableCipher* key,
                                                   const std::string& path) {
  const uint32_t flags = Load32(header + kIndexHeaderFlagsOffset);
  if ((flags & ~kIndexFlagEncrypted) != 0) {
    return Status(AE_INDEX_CORRUPT, "Index file " + path + ": its header has the unknown flags " +
                                        std::to_string(flags & ~kIndexFlagEncrypted));
  }
  const bool encrypted = (flags & kIndexFlagEncrypted) != 0;
  IndexPageCipher cipher;
  if (!encrypted) {
    if (key) {
      return Status(AE_INDEX_KEY_MISMATCH, "Index file " + path +
                                               " is not encrypted, but its table is: the file "
                                               "does not belong to the table as it is now");
    }
    return cipher;
  }
  if (!key) {
    return Status(AE_PASSWORD_NOT_ENABLED,
                  "Index file " + path +
                      " is encrypted: its table's password must be enabled before it is read");
  }
  const uint64_t stream = Load64(header + kIndexHeaderStreamOffset);
  const auto expected_id = IndexKeyIdOf(*key);
  if (stream == kRecordStream ||
      std::memcmp(header + kIndexHeaderKeyIdOffset, expected_id.data(), expected_id.size()) != 0) {
    return Status(AE_INDEX_KEY_MISMATCH,
                  "Index file " + path +
                      " was not written under its table's present key: the file does not belong "
                      "to the table as it is now");
  }
  Result<TableCipher> clone = key->Clone();
  if (!clone) return clone.status();
  cipher.cipher_ = std::make_unique<TableCipher>(std::move(clone).value());
  cipher.stream_ = stream;
  cipher.key_id_ = expected_id;
  return cipher;
}

void IndexPageCipher::StampHeader(uint8_t* header) const {
  Store32(header + kIndexHeaderFlagsOffset, cipher_ ? kIndexFlagEncrypted : 0);
  Store64(header + kIndexHeaderStreamOffset, cipher_ ? stream_ : 0);
  if (cipher_) {
    std::memcpy(header + kIndexHeaderKeyIdOffset, key_id_.data(), key_id_.size());
  } else {
    std::memset(header + kIndexHeaderKeyIdOffset, 0, kIndexKeyIdSize);
  }
}

Status IndexPageCipher::Apply(uint32_t first, uint32_t count, uint32_t page_size, uint8_t* pages) {
  if (!cipher_ || count == 0) return Status::Ok();
  if (first == 0) {
    // The header page stays as it is.
    pages += page_size;
    first = 1;
    --count;
  }
  return cipher_->Apply(stream_, uint64_t{first} * page_size, pages, uint64_t{count} * page_size);
}

Result<uint32_t> ReadIndexFilePageSize(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return Status(AE_INDEX_IO, "Cannot open the index file " + path + ": " + std::strerror(errno));
  }
  // The largest page size, so that any header page is read whole.
  std::vector<uint8_t> page(kIndexPageSizes[std::size(kIndexPageSizes) - 1]);
  const ssize_t got = pread(fd, page.data(), page.size(), 0);
  close(fd);
  if (got < static_cast<ssize_t>(kHeaderFieldsSize) ||
      std::memcmp(page.data() + kHeaderMagicOffset, kIndexFileMagic, sizeof kIndexFileMagic) != 0) {
    return Status(AE_INDEX_CORRUPT, "Index file " + path + ": not an index file");
  }
  const uint32_t page_size = Load32(page.data() + kHeaderPageSizeOffset);
  if (!IsValidIndexPageSize(page_size) || static_cast<size_t>(got) < page_size ||
      !IndexPageChecksumMatches(page.data(), page_size) || page[kPageTypeOffset] != kHeaderPage) {
    return Status(AE_INDEX_CORRUPT, "Index file " + path + ": its header page is damaged");
  }
  return page_size;
}

}  // namespace engine
