# The seeds of the default table passwords (TablePasswordSeeds.cpp). An
# installation sets its own when it configures the build, for example
#   cmake -DRI_CWORKERS_PASSWORD_SEED=0x1234abcd5678ef90 -DRI_SYSPM_PASSWORD_TEXT="..." ...
# The built-in text reaches the program enciphered: this file enciphers it.
set(RI_CWORKERS_PASSWORD_SEED "0x6a09e667f3bcc908" CACHE STRING
    "Seed of the generator that makes the password of the CWorkers tables (64-bit number)")
set(RI_CWORKERS_PASSWORD_LENGTH "16" CACHE STRING
    "Characters of the password of the CWorkers tables (8..64)")
set(RI_SYSPM_PASSWORD_TEXT "Lq4#vN8t!Rz2wXe7Kp0Ys9Mj3Hd6Ub5Gc1Fa" CACHE STRING
    "Built-in text holding the password of the SysPM tables (printable ASCII, no ';')")
set(RI_SYSPM_PASSWORD_OFFSET "6" CACHE STRING
    "Where the 20 characters of the SysPM password start in the built-in text")
set(RI_SYSPM_CIPHER_SEED "20240607" CACHE STRING
    "Seed of the key stream that enciphers the built-in text (0..2147483647)")

string(LENGTH "${RI_SYSPM_PASSWORD_TEXT}" ri_text_length)
math(EXPR ri_text_needed "${RI_SYSPM_PASSWORD_OFFSET} + 20")
if(ri_text_length LESS ri_text_needed)
  message(FATAL_ERROR "RI_SYSPM_PASSWORD_TEXT needs at least ${ri_text_needed} characters "
                      "for RI_SYSPM_PASSWORD_OFFSET ${RI_SYSPM_PASSWORD_OFFSET}")
endif()
if(NOT RI_SYSPM_PASSWORD_TEXT MATCHES "^[ -:<-~]+$")
  message(FATAL_ERROR "RI_SYSPM_PASSWORD_TEXT must be printable ASCII without ';'")
endif()
if(RI_CWORKERS_PASSWORD_LENGTH LESS 8 OR RI_CWORKERS_PASSWORD_LENGTH GREATER 64)
  message(FATAL_ERROR "RI_CWORKERS_PASSWORD_LENGTH must be 8..64")
endif()

# Each byte XORed with (x >> 16) & 255 of x = (x * 1103515245 + 12345) mod 2^31.
string(HEX "${RI_SYSPM_PASSWORD_TEXT}" ri_text_hex)
math(EXPR ri_seed "${RI_SYSPM_CIPHER_SEED} % 2147483648")
set(ri_x ${ri_seed})
set(ri_cipher_text "")
string(LENGTH "${ri_text_hex}" ri_hex_length)
math(EXPR ri_last "${ri_hex_length} - 2")
foreach(ri_at RANGE 0 ${ri_last} 2)
  string(SUBSTRING "${ri_text_hex}" ${ri_at} 2 ri_byte_hex)
  math(EXPR ri_x "(${ri_x} * 1103515245 + 12345) % 2147483648")
  math(EXPR ri_byte "0x${ri_byte_hex} ^ ((${ri_x} >> 16) & 255)")
  if(ri_cipher_text STREQUAL "")
    set(ri_cipher_text "${ri_byte}")
  else()
    set(ri_cipher_text "${ri_cipher_text},${ri_byte}")
  endif()
endforeach()

set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/TablePasswordSeeds.cpp PROPERTIES
  COMPILE_DEFINITIONS
  "RI_CWORKERS_PASSWORD_SEED=${RI_CWORKERS_PASSWORD_SEED}ull;RI_CWORKERS_PASSWORD_LENGTH=${RI_CWORKERS_PASSWORD_LENGTH};RI_SYSPM_CIPHER_TEXT=${ri_cipher_text};RI_SYSPM_CIPHER_SEED=${ri_seed}u;RI_SYSPM_PASSWORD_OFFSET=${RI_SYSPM_PASSWORD_OFFSET}")
