// The options of an index added to a table (TAdsTable::AddIndex), as a set
// of bits.
#pragma once

#include <cstdint>

enum TIndexOption : uint8_t {
  ixPrimary = 1,          // recorded with the index; no effect on its keys
  ixUnique = 2,           // a second record with an equal key fails the index
  ixDescending = 4,       // keys in descending order
  ixCaseInsensitive = 8,  // character parts compared upper-cased
};
using TIndexOptions = uint8_t;
