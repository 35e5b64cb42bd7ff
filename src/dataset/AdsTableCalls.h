// The utility's own engine calls on an open table's handle, and the one
// helper all of them go through.
//
// RunAdsTableCall runs a call on the table's handle and reads its answer
// the same way for every call site: 0 is success, 5068 ("already so": the
// table is already in the state asked for, or has nothing to rebuild) is
// success too, and any other answer is raised as EADSDatabaseError with the
// engine's last error, naming the table and its component. Calls that
// rewrite the table's files (enabling and disabling encryption, reindexing)
// then put the table's cursor back (TAdsTable::ReplaceCursor).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/api/AdsHandle.h"

class TAdsTable;

enum class TAfterTableCall {
  KeepCursor,
  ReplaceCursor,
};

void RunAdsTableCall(TAdsTable& table, const std::function<uint32_t(engine::ADSHANDLE)>& call,
                     TAfterTableCall after = TAfterTableCall::KeepCursor);

// AdsIsTableEncrypted.
bool IsAdsTableEncrypted(TAdsTable& table);
// AdsEnableEncryption with the table's password, then the cursor re-placed.
void AdsEnableTableEncryption(TAdsTable& table, const std::string& password);
// AdsDisableEncryption, then the cursor re-placed.
void AdsDisableTableEncryption(TAdsTable& table);
// AdsReindex61: every index of the table's index file rebuilt with
// `page_size` (0 keeps the file's), then the cursor re-placed.
void AdsReindexTable(TAdsTable& table, uint16_t page_size);

// The page size of the table's first index (AdsGetIndexHandleByOrder with
// order 1, then AdsGetIndexPageSize) in `size`. Answers the engine's code
// instead of raising it, 0 when `size` holds the page size: the caller
// decides what a table whose size cannot be told means.
uint32_t AdsFirstIndexPageSize(TAdsTable& table, uint16_t& size);
