// The engine's C-style calls on handles, by the names programs know them.
//
// An open table gets its handle from HandleOfTable, valid until the table
// closes; index handles name one tag of an open table's index file and
// become invalid with their table. Handles are process-wide numbers, never
// reused while the process runs. Each call answers 0 (AE_SUCCESS) or an
// engine error code, and notes a failure as the calling thread's last error
// (AdsGetLastError, EngineApi.h).
//
// Encryption: AdsIsTableEncrypted reports the flag of the table's header;
// AdsEnableEncryption unlocks an encrypted table with its password and
// AdsDisableEncryption locks it again (Table::EnableEncryption). Both answer
// 5068, the benign "already so" that callers ignore, when there is nothing
// to change (a table that is not encrypted, a password enabled twice).
#pragma once

#include <cstdint>
#include <string>

#include "engine/api/AdsHandle.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"

namespace engine {

// Options of AdsCreateIndex90, to be combined with "|".
inline constexpr uint32_t kAdsIndexUnique = 0x01;
inline constexpr uint32_t kAdsIndexDescending = 0x02;
inline constexpr uint32_t kAdsIndexCaseInsensitive = 0x04;
inline constexpr uint32_t kAdsIndexPrimary = 0x08;  // recorded with the tag; no effect on it

// The handle of the open `table`: made on the first call, the same one on
// every later call, taken back (with the table's index handles) when the
// table closes.
ADSHANDLE HandleOfTable(Table& table);

// The open table of `handle`, or nullptr.
Table* TableOfHandle(ADSHANDLE handle);

// ---- tables and their index files

// Adds a tag to the table's index file (Table::AddIndex) with `page_size`
// (0: the existing file's, or the engine's default for a new file) and
// answers its index handle in `index` (when not null).
uint32_t AdsCreateIndex90(ADSHANDLE table, const std::string& name, const std::string& expression,
                          uint32_t options, uint32_t page_size, ADSHANDLE* index);

// Rebuilds every tag of the table's index file with `page_size` (0 keeps
// the file's own); 5068 when the table has no index file.
uint32_t AdsReindex61(ADSHANDLE table, uint32_t page_size);

// The handle of the tag at `order` (1 = the first tag) of the table's index
// file. Errors: 8208 when there is no such tag (also without an index file),
// 8205/8206 for a damaged file.
uint32_t AdsGetIndexHandleByOrder(ADSHANDLE table, uint16_t order, ADSHANDLE* index);

// The page size of the index file that holds the tag of `index`.
uint32_t AdsGetIndexPageSize(ADSHANDLE index, uint32_t* page_size);

uint32_t AdsIsTableEncrypted(ADSHANDLE table, uint16_t* encrypted);
uint32_t AdsEnableEncryption(ADSHANDLE table, const std::string& password);
uint32_t AdsDisableEncryption(ADSHANDLE table);

// ---- the table's own cursor (Table::Cursor(), TableCursor.h)

uint32_t AdsGotoTop(ADSHANDLE table);
uint32_t AdsGotoBottom(ADSHANDLE table);
// Moves `rows` records on (negative: back); 0 re-reads the current record.
uint32_t AdsSkip(ADSHANDLE table, int32_t rows);
uint32_t AdsGotoRecord(ADSHANDLE table, uint32_t recno);
uint32_t AdsRefreshRecord(ADSHANDLE table);
uint32_t AdsAtBOF(ADSHANDLE table, uint16_t* at_bof);
uint32_t AdsAtEOF(ADSHANDLE table, uint16_t* at_eof);
// The current record's number (0 when the cursor is not on one).
uint32_t AdsGetRecordNum(ADSHANDLE table, uint32_t* recno);
// The current record's field as text (TableCursor::FieldText), and whether
// it is NULL.
uint32_t AdsGetField(ADSHANDLE table, const std::string& field, std::string* text);
uint32_t AdsIsFieldNull(ADSHANDLE table, const std::string& field, uint16_t* is_null);

}  // namespace engine
