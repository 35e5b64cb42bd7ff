// The encryption scheme of tables.
//
//   master    = PBKDF2-HMAC-SHA256(password, salt, rounds), 32 bytes
//   key       = HMAC-SHA256(master, "table key")          the AES-256 key
//   check     = HMAC-SHA256(master, "password check")     kept in the header
//
// The salt is 32 random bytes, new each time a table is encrypted, so equal
// passwords give unrelated keys. The check proves a password right or wrong
// without the password or the key being kept: it comes from the master
// through a different HMAC than the key, so knowing it tells nothing of the
// key, and testing a guessed password against it costs the full rounds.
//
// The data is AES-256 in counter mode. The 16-byte counter block of the
// 16-byte block that holds byte `offset` of stream `stream` is
//
//   OFFSET  SIZE  DESCRIPTION
//        0     8  stream number, big-endian
//        8     8  offset / 16, big-endian
//
// and a byte range that starts inside a block skips the first offset % 16
// bytes of that block's key stream. The cipher adds 1 to the whole block
// per 16 bytes; offsets stay below 2^64, so the second half never carries
// into the stream number.
//
// Where a table keeps these (its commit slots, TableFormat.cpp): bytes 16..19
// the rounds, 20..51 the salt, 52..83 the check value, byte 84 the scheme
// number (kTableCipherScheme), flag bit 0 set.
// Records use stream kRecordStream; an index file takes a new random stream
// number each time it is written anew and keeps it in its header, because
// its pages are rewritten in place of older ones under the same key.
#include "engine/crypto/TableCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/util/TableCryptoErrors.h"

namespace engine {

namespace {

constexpr std::string_view kKeyLabel = "table key";
constexpr std::string_view kCheckLabel = "password check";

Status CryptoFailed(const std::string& what) {
  return Status(AE_ENCRYPTION_FAILED, "Table encryption failed: " + what);
}

bool Hmac(const std::array<uint8_t, 32>& secret, std::string_view label,
          std::array<uint8_t, 32>& out) {
  unsigned int length = 0;
  return HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
              reinterpret_cast<const unsigned char*>(label.data()), label.size(), out.data(),
              &length) != nullptr &&
         length == out.size();
}

// Wipes a secret when it goes out of scope.
template <size_t N>
struct Wiped {
  std::array<uint8_t, N> bytes{};
  ~Wiped() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
};

}  // namespace

void TableCipher::ContextFree::operator()(void* context) const {
  EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(context));
}

Result<std::array<uint8_t, 32>> DerivePasswordSecret(std::string_view password, const uint8_t* salt,
                                                     size_t salt_size, uint32_t iterations) {
  std::array<uint8_t, 32> secret{};
  if (iterations == 0 || iterations > INT_MAX || password.size() > INT_MAX || salt_size > INT_MAX) {
    return Status(AE_ENCRYPTION_SETTINGS, "Table encryption settings out of range");
  }
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt,
                        static_cast<int>(salt_size), static_cast<int>(iterations), EVP_sha256(),
                        static_cast<int>(secret.size()), secret.data()) != 1) {
    return CryptoFailed("key derivation");
  }
  return secret;
}

Status TableCipher::Init(const std::array<uint8_t, 32>& master) {
  std::array<uint8_t, 32> check{};
  if (!Hmac(master, kKeyLabel, key_) || !Hmac(master, kCheckLabel, check)) {
    return CryptoFailed("key derivation");
  }
  if (params_.PasswordCheck == std::array<uint8_t, 32>{}) {
    params_.PasswordCheck = check;  // a new key: this is the check to keep
  } else if (CRYPTO_memcmp(check.data(), params_.PasswordCheck.data(), check.size()) != 0) {
    OPENSSL_cleanse(key_.data(), key_.size());
    return Status(AE_WRONG_PASSWORD, "The password is not the table's password");
  }
  return SetUpContext();
}

Status TableCipher::SetUpContext() {
  context_.reset(EVP_CIPHER_CTX_new());
  if (!context_ || EVP_EncryptInit_ex(static_cast<EVP_CIPHER_CTX*>(context_.get()),
                                      EVP_aes_256_ctr(), nullptr, key_.data(), nullptr) != 1) {
    return CryptoFailed("cipher set-up");
  }
  return Status::Ok();
}

Result<TableCipher> TableCipher::Clone() const {
  TableCipher copy;
  copy.params_ = params_;
  copy.key_ = key_;
  if (Status status = copy.SetUpContext(); !status) return status;
  return copy;
}

Result<TableCipher> TableCipher::Create(std::string_view password, uint32_t iterations) {
  if (password.empty()) {
    return Status(AE_EMPTY_PASSWORD, "A table cannot be encrypted with an empty password");
  }
  if (iterations < kMinKdfIterations || iterations > kMaxKdfIterations) {
    return Status(AE_ENCRYPTION_SETTINGS, "Key derivation rounds " + std::to_string(iterations) +
                                              " are outside " + std::to_string(kMinKdfIterations) +
                                              ".." + std::to_string(kMaxKdfIterations));
  }
  TableCipher cipher;
  cipher.params_.KdfIterations = iterations;
  if (RAND_bytes(cipher.params_.Salt.data(), static_cast<int>(cipher.params_.Salt.size())) != 1) {
    return CryptoFailed("no random salt");
  }
  Result<std::array<uint8_t, 32>> master = DerivePasswordSecret(
      password, cipher.params_.Salt.data(), cipher.params_.Salt.size(), iterations);
  if (!master) return master.status();
  Wiped<32> wiped{*master};
  OPENSSL_cleanse(master->data(), master->size());
  if (Status status = cipher.Init(wiped.bytes); !status) return status;
  return cipher;
}

Result<TableCipher> TableCipher::Unlock(std::string_view password,
                                        const TableKeyParameters& params) {
  if (params.KdfIterations < kMinKdfIterations || params.KdfIterations > kMaxKdfIterations ||
      params.Salt == std::array<uint8_t, kTableSaltSize>{} ||
      params.PasswordCheck == std::array<uint8_t, kPasswordCheckSize>{}) {
    return Status(AE_ENCRYPTION_SETTINGS, "The table's encryption settings are damaged");
  }
  if (password.empty()) {
    return Status(AE_WRONG_PASSWORD, "The password is not the table's password");
  }
  TableCipher cipher;
  cipher.params_ = params;
  Result<std::array<uint8_t, 32>> master =
      DerivePasswordSecret(password, params.Salt.data(), params.Salt.size(), params.KdfIterations);
  if (!master) return master.status();
  Wiped<32> wiped{*master};
  OPENSSL_cleanse(master->data(), master->size());
  if (Status status = cipher.Init(wiped.bytes); !status) return status;
  return cipher;
}

TableCipher::~TableCipher() {
  OPENSSL_cleanse(key_.data(), key_.size());
}

TableCipher::TableCipher(TableCipher&& other) noexcept
    : params_(other.params_), key_(other.key_), context_(std::move(other.context_)) {
  OPENSSL_cleanse(other.key_.data(), other.key_.size());
}

TableCipher& TableCipher::operator=(TableCipher&& other) noexcept {
  if (this != &other) {
    params_ = other.params_;
    key_ = other.key_;
    context_ = std::move(other.context_);
    OPENSSL_cleanse(other.key_.data(), other.key_.size());
  }
  return *this;
}

Status TableCipher::Apply(uint64_t stream, uint64_t offset, uint8_t* data, size_t size) {
  auto* context = static_cast<EVP_CIPHER_CTX*>(context_.get());
  if (!context) return CryptoFailed("no key");
  uint8_t counter[16];
  const uint64_t block = offset / 16;
  for (int i = 0; i < 8; ++i) {
    counter[i] = static_cast<uint8_t>(stream >> (56 - 8 * i));
    counter[8 + i] = static_cast<uint8_t>(block >> (56 - 8 * i));
  }
  // A new counter keeps the key set up once.
  if (EVP_EncryptInit_ex(context, nullptr, nullptr, nullptr, counter) != 1) {
    return CryptoFailed("counter set-up");
  }
  int length = 0;
  if (const int skip = static_cast<int>(offset % 16); skip > 0) {
    uint8_t discard[16] = {};
    if (EVP_EncryptUpdate(context, discard, &length, discard, skip) != 1) {
      return CryptoFailed("key stream");
    }
  }
  while (size > 0) {
    const int piece = static_cast<int>(std::min<size_t>(size, 1u << 30));
    if (EVP_EncryptUpdate(context, data, &length, data, piece) != 1 || length != piece) {
      return CryptoFailed("key stream");
    }
    data += piece;
    size -= static_cast<size_t>(piece);
  }
  return Status::Ok();
}

Result<uint64_t> TableCipher::NewStreamNumber() {
  uint64_t number = kRecordStream;
  while (number == kRecordStream) {
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&number), sizeof number) != 1) {
      return CryptoFailed("no random stream number");
    }
  }
  return number;
}

}  // namespace engine
