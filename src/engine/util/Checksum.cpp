#include "engine/util/Checksum.h"

#include <array>
#include <cstring>

namespace engine {

namespace {

constexpr uint32_t kPolynomial = 0x82F63B78u;  // reflected Castagnoli polynomial

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? kPolynomial : 0u);
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

uint32_t Crc32cPortable(const unsigned char* p, size_t size, uint32_t crc) {
  for (size_t i = 0; i < size; ++i) crc = kTable[(crc ^ p[i]) & 0xFFu] ^ (crc >> 8);
  return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) uint32_t Crc32cHardware(const unsigned char* p, size_t size,
                                                          uint32_t crc) {
  uint64_t wide = crc;
  while (size >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    wide = __builtin_ia32_crc32di(wide, word);
    p += 8;
    size -= 8;
  }
  uint32_t narrow = static_cast<uint32_t>(wide);
  while (size > 0) {
    narrow = __builtin_ia32_crc32qi(narrow, *p++);
    --size;
  }
  return narrow;
}

bool HasHardwareCrc() {
  static const bool has = __builtin_cpu_supports("sse4.2");
  return has;
}
#endif

}  // namespace

uint32_t Crc32c(const void* data, size_t size, uint32_t crc) {
  const auto* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
#if defined(__x86_64__)
  if (HasHardwareCrc()) return ~Crc32cHardware(p, size, crc);
#endif
  return ~Crc32cPortable(p, size, crc);
}

}  // namespace engine
