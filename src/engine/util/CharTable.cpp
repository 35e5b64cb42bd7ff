// File form of the character table, all integers little-endian:
//
//   OFFSET  SIZE  DESCRIPTION
//        0     8  magic "ANSICHR" followed by the format version byte 1
//        8     4  code page
//       12   256  upper-case map, indexed by byte value
//      268   256  sort weights, indexed by byte value; a permutation of 0..255
//      524     4  CRC-32C of bytes 0..523
//      528        end of file
#include "engine/util/CharTable.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "engine/util/Checksum.h"

namespace engine {

namespace {

constexpr char kMagic[8] = {'A', 'N', 'S', 'I', 'C', 'H', 'R', 1};
// Byte offsets of the fields (the layout above).
constexpr size_t kCodePageOffset = 8;
constexpr size_t kUpperOffset = 12;
constexpr size_t kSortWeightOffset = 268;
constexpr size_t kChecksumOffset = 524;
constexpr size_t kFileSize = 528;
static_assert(kUpperOffset + 256 == kSortWeightOffset &&
              kSortWeightOffset + 256 == kChecksumOffset && kChecksumOffset + 4 == kFileSize);

uint8_t Upper1252(uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<uint8_t>(c - 32);
  switch (c) {
    case 0x9A:
      return 0x8A;
    case 0x9C:
      return 0x8C;
    case 0x9E:
      return 0x8E;
    case 0xFF:
      return 0x9F;
    default:
      return c;
  }
}

// Where a byte sorts: (group, base letter, accent rank, capital, byte).
// Groups: 0 controls and unassigned codes, 1 blanks, punctuation and symbols,
// 2 digits, 3 letters.
struct Place {
  int group;
  int base;
  int accent;
  int capital;
  int byte;
  bool operator<(const Place& o) const {
    return std::tie(group, base, accent, capital, byte) <
           std::tie(o.group, o.base, o.accent, o.capital, o.byte);
  }
};

Place PlaceOf1252(int b) {
  auto letter = [b](char base, int accent, bool capital) {
    return Place{3, base, accent, capital ? 1 : 0, b};
  };
  if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
    return {0, 0, 0, 0, b};
  if (b >= '0' && b <= '9') return {2, b, 0, 0, b};
  if (b >= 'A' && b <= 'Z') return letter(static_cast<char>(b), 0, true);
  if (b >= 'a' && b <= 'z') return letter(static_cast<char>(b - 32), 0, false);
  // Accented capitals 0xC0..0xDE and their small forms 0xE0..0xFE.
  static const struct {
    int capital;
    char base;
    int accent;
  } kAccented[] = {
      {0xC0, 'A', 1}, {0xC1, 'A', 2}, {0xC2, 'A', 3}, {0xC3, 'A', 4}, {0xC4, 'A', 5},
      {0xC5, 'A', 6}, {0xC6, 'A', 7}, {0xC7, 'C', 1}, {0xC8, 'E', 1}, {0xC9, 'E', 2},
      {0xCA, 'E', 3}, {0xCB, 'E', 4}, {0xCC, 'I', 1}, {0xCD, 'I', 2}, {0xCE, 'I', 3},
      {0xCF, 'I', 4}, {0xD0, 'D', 1}, {0xD1, 'N', 1}, {0xD2, 'O', 1}, {0xD3, 'O', 2},
      {0xD4, 'O', 3}, {0xD5, 'O', 4}, {0xD6, 'O', 5}, {0xD8, 'O', 6}, {0xD9, 'U', 1},
      {0xDA, 'U', 2}, {0xDB, 'U', 3}, {0xDC, 'U', 4}, {0xDD, 'Y', 1}, {0xDE, 'Z' + 1, 0},
  };
  for (const auto& a : kAccented) {
    if (b == a.capital) return letter(a.base, a.accent, true);
    if (b == a.capital + 0x20) return letter(a.base, a.accent, false);
  }
  switch (b) {
    case 0xDF:
      return letter('S', 9, false);  // sharp s
    case 0x8A:
      return letter('S', 1, true);  // S caron
    case 0x9A:
      return letter('S', 1, false);
    case 0x8C:
      return letter('O', 7, true);  // OE ligature
    case 0x9C:
      return letter('O', 7, false);
    case 0x8E:
      return letter('Z', 1, true);  // Z caron
    case 0x9E:
      return letter('Z', 1, false);
    case 0x9F:
      return letter('Y', 2, true);  // Y diaeresis
    case 0xFF:
      return letter('Y', 2, false);
    default:
      return {1, 0, 0, 0, b};
  }
}

CharTable Make1252() {
  CharTable table;
  table.CodePage = 1252;
  std::vector<Place> places;
  for (int b = 0; b < 256; ++b) {
    table.Upper[static_cast<size_t>(b)] = Upper1252(static_cast<uint8_t>(b));
    places.push_back(PlaceOf1252(b));
  }
  std::sort(places.begin(), places.end());
  for (size_t rank = 0; rank < places.size(); ++rank) {
    table.SortWeight[static_cast<size_t>(places[rank].byte)] = static_cast<uint8_t>(rank);
  }
  return table;
}

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetU32(const std::string& in, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(in[at + static_cast<size_t>(i)]);
  return v;
}

}  // namespace

const CharTable& DefaultCharTable() {
  static const CharTable table = Make1252();
  return table;
}

std::string SerializeCharTable(const CharTable& table) {
  std::string out(kMagic, sizeof kMagic);
  PutU32(out, table.CodePage);
  out.append(reinterpret_cast<const char*>(table.Upper.data()), 256);
  out.append(reinterpret_cast<const char*>(table.SortWeight.data()), 256);
  PutU32(out, Crc32c(out.data(), out.size()));
  return out;
}

bool ParseCharTable(const std::string& bytes, CharTable& table, std::string& error) {
  if (bytes.size() != kFileSize) {
    error = "character table has " + std::to_string(bytes.size()) + " bytes, expected " +
            std::to_string(kFileSize);
    return false;
  }
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    error = "character table has no valid magic";
    return false;
  }
  if (Crc32c(bytes.data(), kChecksumOffset) != GetU32(bytes, kChecksumOffset)) {
    error = "character table checksum mismatch";
    return false;
  }
  CharTable parsed;
  parsed.CodePage = GetU32(bytes, kCodePageOffset);
  std::memcpy(parsed.Upper.data(), bytes.data() + kUpperOffset, parsed.Upper.size());
  std::memcpy(parsed.SortWeight.data(), bytes.data() + kSortWeightOffset, parsed.SortWeight.size());
  std::array<bool, 256> seen{};
  for (uint8_t w : parsed.SortWeight) {
    if (seen[w]) {
      error = "character table sort weights are not a permutation";
      return false;
    }
    seen[w] = true;
  }
  table = parsed;
  return true;
}

}  // namespace engine
