// Error codes of encrypted tables (8330..8339).
#pragma once

namespace engine {

inline constexpr int AE_WRONG_PASSWORD = 8330;       // the password does not open the table
inline constexpr int AE_ENCRYPTION_SETTINGS = 8331;  // damaged salt or iteration count in a header
inline constexpr int AE_ENCRYPTION_FAILED = 8332;  // the cipher library or its random source failed
inline constexpr int AE_EMPTY_PASSWORD = 8333;     // a table cannot be encrypted with no password
// An encrypted table's records or index file read before its password was
// enabled on the open table.
inline constexpr int AE_PASSWORD_NOT_ENABLED = 8334;
// An index file whose encryption is not its table's: encrypted beside a
// table that is not, not encrypted beside one that is, or written under
// another key of the table.
inline constexpr int AE_INDEX_KEY_MISMATCH = 8335;

}  // namespace engine
