// Error codes of SQL statements (8300..8309).
#pragma once

namespace engine {

inline constexpr int AE_SQL_SYNTAX = 8300;  // a statement that does not parse (with the position)
inline constexpr int AE_SQL_VALUE = 8301;   // an option value out of range (with the position)

}  // namespace engine
