// The seeds arrive as compile definitions of this file only (see
// TablePasswordSeeds.cmake):
//
//   RI_CWORKERS_PASSWORD_SEED     64-bit seed of the "CWorkers" generator
//   RI_CWORKERS_PASSWORD_LENGTH   characters it makes
//   RI_SYSPM_CIPHER_TEXT          the built-in text, each byte XORed with the
//                                 key stream below, as a list of numbers
//   RI_SYSPM_CIPHER_SEED          seed of that key stream
//   RI_SYSPM_PASSWORD_OFFSET      where the 20 characters start in the text
//
// The "CWorkers" generator is splitmix64, each output choosing one of 62
// letters and digits. The key stream of the built-in text is the C library's
// classic generator x = (x * 1103515245 + 12345) mod 2^31, one byte per
// step, (x >> 16) & 255; CMake enciphers the text with the same steps.
//
// The seeds are read through volatile objects, so the compiler cannot work
// the passwords out while compiling and put them whole into the program.
#include "engine/crypto/TablePasswordSeeds.h"

#include <cstddef>
#include <cstdint>

#ifndef RI_CWORKERS_PASSWORD_SEED
#error "TablePasswordSeeds.cpp is built with the definitions of TablePasswordSeeds.cmake"
#endif

namespace engine {

namespace {

const volatile uint64_t kCWorkersSeed = RI_CWORKERS_PASSWORD_SEED;
const volatile uint32_t kCWorkersLength = RI_CWORKERS_PASSWORD_LENGTH;
const volatile uint8_t kSysPMText[] = {RI_SYSPM_CIPHER_TEXT};
const volatile uint32_t kSysPMSeed = RI_SYSPM_CIPHER_SEED;
const volatile uint32_t kSysPMOffset = RI_SYSPM_PASSWORD_OFFSET;

constexpr size_t kSysPMPasswordLength = 20;

uint64_t SplitMix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

char AlphanumericOf(uint64_t value) {
  const uint32_t pick = static_cast<uint32_t>(value % 62);
  if (pick < 26) return static_cast<char>('A' + pick);
  if (pick < 52) return static_cast<char>('a' + (pick - 26));
  return static_cast<char>('0' + (pick - 52));
}

}  // namespace

std::string DefaultCWorkersPassword() {
  uint64_t state = kCWorkersSeed;
  const uint32_t length = kCWorkersLength;
  std::string password;
  password.reserve(length);
  for (uint32_t i = 0; i < length; ++i) password += AlphanumericOf(SplitMix64(state));
  return password;
}

std::string DefaultSysPMPassword() {
  uint32_t x = kSysPMSeed;
  const size_t offset = kSysPMOffset;
  std::string password;
  password.reserve(kSysPMPasswordLength);
  for (size_t i = 0; i < sizeof kSysPMText && i < offset + kSysPMPasswordLength; ++i) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    const auto plain = static_cast<char>(kSysPMText[i] ^ ((x >> 16) & 0xFFu));
    if (i >= offset) password += plain;
  }
  return password;
}

}  // namespace engine
