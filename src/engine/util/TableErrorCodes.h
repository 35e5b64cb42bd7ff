// The engine's own error codes for files, tables, connections, opens,
// filters and the engine's files (8100..8199). docs/engine-errors.md gives
// each one with an example message.
#pragma once

namespace engine {

inline constexpr int AE_FOLDER_NOT_FOUND = 8100;  // database folder missing or not a folder
inline constexpr int AE_INVALID_CONNECT_PATH =
    8101;  // a server path that cannot be read (bad port, no host)
inline constexpr int AE_TABLE_NOT_FOUND = 8102;
inline constexpr int AE_TABLE_IN_USE = 8103;  // an OS lock held elsewhere refuses the open
inline constexpr int AE_TABLE_EXISTS =
    8104;  // create or load over an existing table (or its index file)
inline constexpr int AE_FILE_IO = 8105;  // the OS refused a read, write, sync, rename or delete
inline constexpr int AE_TABLE_CORRUPT =
    8106;  // not a table file, bad checksum, unsound descriptors
inline constexpr int AE_TABLE_TRUNCATED =
    8107;  // the file holds fewer records than its header claims
inline constexpr int AE_TABLE_VERSION = 8108;    // a format version this engine cannot read
inline constexpr int AE_INVALID_FIELD = 8109;    // bad field name, type or length at create
inline constexpr int AE_RECORD_TOO_LONG = 8110;  // too many fields, record over the limit
inline constexpr int AE_FIELD_NOT_FOUND = 8111;
inline constexpr int AE_INVALID_VALUE = 8112;   // a text that is not a value of the field's type
inline constexpr int AE_VALUE_TOO_LONG = 8113;  // a text longer than its character field
inline constexpr int AE_FILTER_SYNTAX =
    8114;                                    // a condition that does not parse (with the position)
inline constexpr int AE_FILTER_TYPE = 8115;  // a comparison of values that cannot be compared
inline constexpr int AE_MODULE_MISSING =
    8116;  // adsloc32.dll or axcws32.dll not in the engine folder
inline constexpr int AE_MODULE_UNUSABLE =
    8117;  // a module that cannot be loaded or lacks an entry point
inline constexpr int AE_CONFIG_INVALID = 8118;   // adslocal.cfg with a value that cannot be read
inline constexpr int AE_CHAR_TABLE = 8119;       // Ansi.chr missing or damaged
inline constexpr int AE_NEEDS_EXCLUSIVE = 8120;  // the operation needs the table opened exclusively
inline constexpr int AE_READ_ONLY = 8121;        // the table's file cannot be written
inline constexpr int AE_INVALID_TABLE_NAME = 8122;  // empty, or holding a path delimiter
inline constexpr int AE_RECORD_NUMBER = 8123;       // a record number outside 1..record count
inline constexpr int AE_NO_CURRENT_RECORD = 8124;   // field read at end of data
inline constexpr int AE_RECORD_DAMAGED =
    8125;                                   // a record whose state byte is neither live nor deleted
inline constexpr int AE_TABLE_FULL = 8126;  // record count would pass the format's limit
inline constexpr int AE_REMOTE_UNAVAILABLE =
    8127;  // a server answered, but this engine has no remote tables yet
inline constexpr int AE_INVALID_HANDLE = 8128;  // not the handle of an open table or of its tag
inline constexpr int AE_ENCRYPTION_UNAVAILABLE =
    8129;  // an encrypted table whose encryption scheme this engine does not know
inline constexpr int AE_TABLE_COMMIT_DAMAGED =
    8130;  // a damaged commit slot that may hold the last commit: the table is not read

}  // namespace engine
