// Error codes of encrypted tables (8330..8339).
#pragma once

namespace engine {

inline constexpr int AE_WRONG_PASSWORD = 8330;       // the password does not open the table
inline constexpr int AE_ENCRYPTION_SETTINGS = 8331;  // damaged salt or iteration count in a header
inline constexpr int AE_ENCRYPTION_FAILED = 8332;  // the cipher library or its random source failed
inline constexpr int AE_EMPTY_PASSWORD = 8333;     // a table cannot be encrypted with no password

}  // namespace engine
