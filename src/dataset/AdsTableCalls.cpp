#include "dataset/AdsTableCalls.h"

#include "dataset/AdsTable.h"
#include "dataset/EADSDatabaseError.h"
#include "engine/api/EngineHandles.h"

void RunAdsTableCall(TAdsTable& table, const std::function<uint32_t(engine::ADSHANDLE)>& call,
                     TAfterTableCall after) {
  const uint32_t code = call(table.Handle());
  if (code != engine::AE_SUCCESS && code != static_cast<uint32_t>(engine::AE_ALREADY_SO)) {
    RaiseAdsCode(code, table.ErrorPlace());
  }
  if (after == TAfterTableCall::ReplaceCursor) table.ReplaceCursor();
}

bool IsAdsTableEncrypted(TAdsTable& table) {
  uint16_t encrypted = 0;
  RunAdsTableCall(table, [&](engine::ADSHANDLE handle) {
    return engine::AdsIsTableEncrypted(handle, &encrypted);
  });
  return encrypted != 0;
}

void AdsEnableTableEncryption(TAdsTable& table, const std::string& password) {
  RunAdsTableCall(
      table,
      [&](engine::ADSHANDLE handle) { return engine::AdsEnableEncryption(handle, password); },
      TAfterTableCall::ReplaceCursor);
}

void AdsDisableTableEncryption(TAdsTable& table) {
  RunAdsTableCall(table, engine::AdsDisableEncryption, TAfterTableCall::ReplaceCursor);
}

void AdsReindexTable(TAdsTable& table, uint16_t page_size) {
  RunAdsTableCall(
      table,
      [page_size](engine::ADSHANDLE handle) { return engine::AdsReindex61(handle, page_size); },
      TAfterTableCall::ReplaceCursor);
}

uint32_t AdsFirstIndexPageSize(TAdsTable& table, uint16_t& size) {
  size = 0;
  engine::ADSHANDLE index = 0;
  if (const uint32_t code = engine::AdsGetIndexHandleByOrder(table.Handle(), 1, &index); code != 0)
    return code;
  uint32_t page_size = 0;
  if (const uint32_t code = engine::AdsGetIndexPageSize(index, &page_size); code != 0) return code;
  size = static_cast<uint16_t>(page_size);
  return engine::AE_SUCCESS;
}
