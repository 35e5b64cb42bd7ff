// CRC-32C (Castagnoli), the checksum of every page and header the engine
// writes. Uses the processor's CRC instruction where there is one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// The CRC-32C of `size` bytes at `data`, continuing from `crc` (0 to start).
uint32_t Crc32c(const void* data, size_t size, uint32_t crc = 0);

}  // namespace engine
