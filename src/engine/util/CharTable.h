// The engine's character table ("Ansi.chr"): for each of the 256 byte values
// of the ANSI code page, its upper-case form and its place in the sort order.
//
// Character key parts are compared through the sort weights (a permutation of
// 0..255, so two different texts never weigh the same); case-insensitive key
// parts are upper-cased through the upper-case map first.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace engine {

struct CharTable {
  uint32_t CodePage = 1252;               // the code page the table describes
  std::array<uint8_t, 256> Upper{};       // upper-case form of each byte
  std::array<uint8_t, 256> SortWeight{};  // place of each byte in the sort order
};

// The table for windows-1252: controls, then blanks, punctuation and symbols
// by code, then digits, then the letters in alphabetical order with each
// accented form after its plain letter and the small letter before the capital.
const CharTable& DefaultCharTable();

// The file form of a table (layout in CharTable.cpp and docs/engine-format.md).
std::string SerializeCharTable(const CharTable& table);

// Reads the file form; false with a reason in `error` when the bytes are not a
// sound table (wrong size, magic, checksum, or weights that are not a
// permutation).
bool ParseCharTable(const std::string& bytes, CharTable& table, std::string& error);

}  // namespace engine
