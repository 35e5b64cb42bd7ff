// Table encryption: keys from passwords, the password check, and byte ranges
// encrypted at any offset, checked against OpenSSL used directly.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/crypto/TableCrypto.h"
#include "engine/util/TableCryptoErrors.h"

namespace {

using engine::TableCipher;

// Few rounds keep the tests quick; the scheme is the same at any count.
constexpr uint32_t kTestRounds = engine::kMinKdfIterations;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Plaintext(size_t size) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(7);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(TableCrypto, PasswordSecretIsPbkdf2HmacSha256) {
  // RFC 7914, section 11: PBKDF2-HMAC-SHA256, P = "passwd", S = "salt", c = 1.
  const auto secret =
      engine::DerivePasswordSecret("passwd", reinterpret_cast<const uint8_t*>("salt"), 4, 1);
  ASSERT_TRUE(secret.ok());
  const uint8_t expected[32] = {0x55, 0xac, 0x04, 0x6e, 0x56, 0xe3, 0x08, 0x9f, 0xec, 0x16, 0x91,
                                0xc2, 0x25, 0x44, 0xb6, 0x05, 0xf9, 0x41, 0x85, 0x21, 0x6d, 0xde,
                                0x04, 0x65, 0xe6, 0x8b, 0x9d, 0x57, 0xc2, 0x0d, 0xac, 0xbc};
  EXPECT_EQ(0, std::memcmp(secret->data(), expected, 32));
}

// The whole scheme, recomputed with OpenSSL's own calls: key from the
// password, then AES-256-CTR over a whole stream from its start. Pieces at
// odd offsets and lengths must equal the same bytes of that stream.
TEST(TableCrypto, PiecesAtAnyOffsetMatchOneRunOfAes256CtrUnderTheDerivedKey) {
  auto cipher = TableCipher::Create("Secret pass", kTestRounds);
  ASSERT_TRUE(cipher.ok()) << cipher.status().Message();
  const engine::TableKeyParameters& params = cipher->Parameters();

  uint8_t master[32];
  ASSERT_EQ(1, PKCS5_PBKDF2_HMAC("Secret pass", 11, params.Salt.data(), 32,
                                 static_cast<int>(params.KdfIterations), EVP_sha256(), 32, master));
  uint8_t key[32], check[32];
  unsigned int length = 0;
  HMAC(EVP_sha256(), master, 32, reinterpret_cast<const uint8_t*>("table key"), 9, key, &length);
  HMAC(EVP_sha256(), master, 32, reinterpret_cast<const uint8_t*>("password check"), 14, check,
       &length);
  EXPECT_EQ(0, std::memcmp(check, params.PasswordCheck.data(), 32));

  const uint64_t stream = 0x0123456789ABCDEFull;
  const std::vector<uint8_t> plain = Plaintext(1000);
  std::vector<uint8_t> expected(plain.size());
  uint8_t iv[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};  // block 0
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  int out = 0;
  ASSERT_EQ(1, EVP_EncryptInit_ex(context, EVP_aes_256_ctr(), nullptr, key, iv));
  ASSERT_EQ(1, EVP_EncryptUpdate(context, expected.data(), &out, plain.data(),
                                 static_cast<int>(plain.size())));
  EVP_CIPHER_CTX_free(context);

  const std::vector<std::pair<size_t, size_t>> pieces = {
      {0, 1000}, {0, 1}, {1, 15}, {15, 2}, {16, 16}, {17, 100}, {999, 1}, {31, 0}, {250, 513}};
  for (const auto& [offset, size] : pieces) {
    std::vector<uint8_t> piece(plain.begin() + offset, plain.begin() + offset + size);
    ASSERT_TRUE(cipher->Apply(stream, offset, piece.data(), piece.size()).ok());
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), expected.begin() + offset))
        << "offset " << offset << ", size " << size;
  }
}

TEST(TableCrypto, RoundTripsAndTheRightPasswordOnly) {
  auto created = TableCipher::Create("CWorkers pw", kTestRounds);
  ASSERT_TRUE(created.ok());
  const engine::TableKeyParameters params = created->Parameters();
  EXPECT_EQ(params.KdfIterations, kTestRounds);

  const std::vector<uint8_t> plain = Plaintext(4096 + 7);
  std::vector<uint8_t> stored = plain;
  // Written in pieces of odd sizes at their own offsets, as records are.
  for (size_t at = 0; at < stored.size(); at += 487) {
    const size_t size = std::min<size_t>(487, stored.size() - at);
    ASSERT_TRUE(created->Apply(engine::kRecordStream, 3 + at, stored.data() + at, size).ok());
  }
  EXPECT_NE(stored, plain);

  auto opened = TableCipher::Unlock("CWorkers pw", params);
  ASSERT_TRUE(opened.ok()) << opened.status().Message();
  // One record read alone, from the middle.
  std::vector<uint8_t> record(stored.begin() + 974, stored.begin() + 974 + 487);
  ASSERT_TRUE(opened->Apply(engine::kRecordStream, 3 + 974, record.data(), record.size()).ok());
  EXPECT_TRUE(std::equal(record.begin(), record.end(), plain.begin() + 974));
  // Everything at once.
  std::vector<uint8_t> all = stored;
  ASSERT_TRUE(opened->Apply(engine::kRecordStream, 3, all.data(), all.size()).ok());
  EXPECT_EQ(all, plain);

  for (const std::string wrong : {"cworkers pw", "CWorkers pw ", "CWorkers p", "", "x"}) {
    auto refused = TableCipher::Unlock(wrong, params);
    ASSERT_FALSE(refused.ok()) << "'" << wrong << "' opened the table";
    EXPECT_EQ(refused.status().Code(), engine::AE_WRONG_PASSWORD);
  }
}

TEST(TableCrypto, KeysDifferBySaltAndStreamsDoNotShareKeyStream) {
  auto first = TableCipher::Create("same", kTestRounds);
  auto second = TableCipher::Create("same", kTestRounds);
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_NE(first->Parameters().Salt, second->Parameters().Salt);
  EXPECT_NE(first->Parameters().PasswordCheck, second->Parameters().PasswordCheck);

  const std::vector<uint8_t> zeros(64, 0);
  auto key_stream = [](TableCipher& cipher, uint64_t stream, uint64_t offset) {
    std::vector<uint8_t> bytes(64, 0);
    EXPECT_TRUE(cipher.Apply(stream, offset, bytes.data(), bytes.size()).ok());
    return bytes;
  };
  EXPECT_NE(key_stream(*first, 0, 0), key_stream(*second, 0, 0));
  EXPECT_NE(key_stream(*first, 0, 0), key_stream(*first, 1, 0));
  EXPECT_NE(key_stream(*first, 0, 0), key_stream(*first, 0, 64));
  EXPECT_EQ(key_stream(*first, 5, 64), key_stream(*first, 5, 64));

  auto stream = TableCipher::NewStreamNumber();
  auto other = TableCipher::NewStreamNumber();
  ASSERT_TRUE(stream.ok() && other.ok());
  EXPECT_NE(*stream, engine::kRecordStream);
  EXPECT_NE(*stream, *other);
}

TEST(TableCrypto, NoPlaintextSurvivesInTheOutput) {
  auto cipher = TableCipher::Create("pw", kTestRounds);
  ASSERT_TRUE(cipher.ok());
  const std::string field = "Smith     John      Confidential salary notes 123456";
  std::string stored;
  for (int record = 0; record < 50; ++record) stored += field;
  std::vector<uint8_t> bytes = Bytes(stored);
  ASSERT_TRUE(cipher->Apply(engine::kRecordStream, 512, bytes.data(), bytes.size()).ok());
  const std::string encrypted(bytes.begin(), bytes.end());
  for (const std::string needle : {"Smith", "John", "Confidential", "123456", "salary"}) {
    EXPECT_EQ(encrypted.find(needle), std::string::npos) << needle;
  }
  // Equal records at different offsets do not look alike either.
  EXPECT_NE(encrypted.substr(0, field.size()), encrypted.substr(field.size(), field.size()));
}

TEST(TableCrypto, EmptyPasswordsAndDamagedSettingsAreRefused) {
  auto empty = TableCipher::Create("", kTestRounds);
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.status().Code(), engine::AE_EMPTY_PASSWORD);
  for (const uint32_t rounds : {0u, engine::kMinKdfIterations - 1, engine::kMaxKdfIterations + 1}) {
    auto bad = TableCipher::Create("pw", rounds);
    ASSERT_FALSE(bad.ok()) << rounds;
    EXPECT_EQ(bad.status().Code(), engine::AE_ENCRYPTION_SETTINGS);
  }

  auto cipher = TableCipher::Create("pw", kTestRounds);
  ASSERT_TRUE(cipher.ok());
  const engine::TableKeyParameters good = cipher->Parameters();
  std::vector<engine::TableKeyParameters> damaged(4, good);
  damaged[0].KdfIterations = 0xFFFFFFFFu;  // would stall the open for hours
  damaged[1].KdfIterations = 1;
  damaged[2].Salt = {};
  damaged[3].PasswordCheck = {};
  for (const auto& params : damaged) {
    auto refused = TableCipher::Unlock("pw", params);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.status().Code(), engine::AE_ENCRYPTION_SETTINGS);
  }
  // A changed salt or round count gives another key: the check then fails.
  engine::TableKeyParameters other_salt = good;
  other_salt.Salt[0] ^= 1;
  engine::TableKeyParameters other_rounds = good;
  other_rounds.KdfIterations += 1;
  for (const auto& params : {other_salt, other_rounds}) {
    auto refused = TableCipher::Unlock("pw", params);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.status().Code(), engine::AE_WRONG_PASSWORD);
  }
}

}  // namespace
