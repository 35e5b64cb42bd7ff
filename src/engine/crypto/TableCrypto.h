// Encryption of a table's records and of its index file's pages: AES-256 in
// counter mode under a key derived from the table's password (the scheme is
// described in TableCrypto.cpp).
//
// Counter mode turns the key into a stream of bytes that is XORed with the
// data, so encrypting and decrypting are one operation, a byte keeps its
// place and size, and any record or page can be read alone: the counter of
// a byte follows from its offset. Each file written anew takes a stream
// number of its own (NewStreamNumber), so two files, or two versions of one
// file, never share key stream bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/util/EngineError.h"

namespace engine {

// PBKDF2-HMAC-SHA256 rounds for a new table: a guess at a password costs an
// attacker as much as opening the table costs us, about 0.2 s here.
inline constexpr uint32_t kDefaultKdfIterations = 600000;
// The range a header may hold; anything else is a damaged header (a huge
// count would stall every open).
inline constexpr uint32_t kMinKdfIterations = 1000;
inline constexpr uint32_t kMaxKdfIterations = 10000000;

inline constexpr size_t kTableSaltSize = 32;
inline constexpr size_t kPasswordCheckSize = 32;

// The stream number of a table file's records.
inline constexpr uint64_t kRecordStream = 0;

// The number a header keeps for this scheme (PBKDF2-HMAC-SHA256 key,
// AES-256-CTR data, TableCrypto.cpp), so that another scheme can follow.
inline constexpr uint8_t kTableCipherScheme = 1;

// What a table's header keeps of its encryption (the salt, the rounds and a
// value that proves a password right), never the password or the key.
struct TableKeyParameters {
  uint32_t KdfIterations = 0;
  std::array<uint8_t, kTableSaltSize> Salt{};
  std::array<uint8_t, kPasswordCheckSize> PasswordCheck{};

  bool operator==(const TableKeyParameters&) const = default;
};

class TableCipher {
 public:
  // A new key for a table being encrypted: a random salt, and the check
  // value of `password`. AE_EMPTY_PASSWORD for the empty password.
  static Result<TableCipher> Create(std::string_view password,
                                    uint32_t iterations = kDefaultKdfIterations);
  // The key of an encrypted table. AE_WRONG_PASSWORD when the password does
  // not give the header's check value (the empty one never does),
  // AE_ENCRYPTION_SETTINGS when the parameters cannot come from Create.
  static Result<TableCipher> Unlock(std::string_view password, const TableKeyParameters& params);

  ~TableCipher();
  TableCipher(TableCipher&& other) noexcept;
  TableCipher& operator=(TableCipher&& other) noexcept;
  TableCipher(const TableCipher&) = delete;
  TableCipher& operator=(const TableCipher&) = delete;

  const TableKeyParameters& Parameters() const { return params_; }

  // Another cipher under the same key, with a cipher context of its own, so
  // that two readers (the table's records, its index file) never share one.
  Result<TableCipher> Clone() const;

  // Encrypts, or decrypts, `size` bytes at `data` in place, which lie at
  // byte `offset` of stream `stream`. One thread at a time.
  Status Apply(uint64_t stream, uint64_t offset, uint8_t* data, size_t size);

  // A fresh random stream number (never kRecordStream).
  static Result<uint64_t> NewStreamNumber();

 private:
  TableCipher() = default;
  Status Init(const std::array<uint8_t, 32>& master);
  Status SetUpContext();

  TableKeyParameters params_;
  std::array<uint8_t, 32> key_{};
  struct ContextFree {
    void operator()(void* context) const;
  };
  std::unique_ptr<void, ContextFree> context_;  // the cipher context, keyed once
};

// The master secret of a password: PBKDF2-HMAC-SHA256 over `password` and
// `salt` with `iterations` rounds, 32 bytes. Exposed for known-answer tests.
Result<std::array<uint8_t, 32>> DerivePasswordSecret(std::string_view password, const uint8_t* salt,
                                                     size_t salt_size, uint32_t iterations);

}  // namespace engine
