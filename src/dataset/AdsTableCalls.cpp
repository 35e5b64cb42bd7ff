#include "dataset/AdsTableCalls.h"

#include "dataset/AdsTable.h"
#include "dataset/EADSDatabaseError.h"
#include "engine/api/EngineHandles.h"
#include "engine/sql/RemoteTable.h"
#include "engine/util/LastError.h"

void RunAdsTableCall(TAdsTable& table, const std::function<uint32_t(engine::ADSHANDLE)>& call,
                     TAfterTableCall after) {
  const uint32_t code = call(table.Handle());
  if (code != engine::AE_SUCCESS && code != static_cast<uint32_t>(engine::AE_ALREADY_SO)) {
    RaiseAdsCode(code, table.ErrorPlace());
  }
  if (after == TAfterTableCall::ReplaceCursor) table.ReplaceCursor();
}

namespace {

// The engine code of a call on a table open through a server, its failure
// noted as the last error, as the handle's calls answer.
uint32_t RemoteAnswer(const engine::Status& status) {
  if (status.ok()) return engine::AE_SUCCESS;
  engine::NoteError(status).PermitUncheckedError();
  return static_cast<uint32_t>(status.Code());
}

}  // namespace

bool IsAdsTableEncrypted(TAdsTable& table) {
  // Known from the table's header since its open.
  if (engine::RemoteTable* remote = table.Remote()) return remote->IsEncrypted();
  uint16_t encrypted = 0;
  RunAdsTableCall(table, [&](engine::ADSHANDLE handle) {
    return engine::AdsIsTableEncrypted(handle, &encrypted);
  });
  return encrypted != 0;
}

void AdsEnableTableEncryption(TAdsTable& table, const std::string& password) {
  if (engine::RemoteTable* remote = table.Remote()) {
    RunAdsTableCall(
        table, [&](engine::ADSHANDLE) { return RemoteAnswer(remote->EnableEncryption(password)); },
        TAfterTableCall::ReplaceCursor);
    return;
  }
  RunAdsTableCall(
      table,
      [&](engine::ADSHANDLE handle) { return engine::AdsEnableEncryption(handle, password); },
      TAfterTableCall::ReplaceCursor);
}

void AdsDisableTableEncryption(TAdsTable& table) {
  if (engine::RemoteTable* remote = table.Remote()) {
    RunAdsTableCall(
        table, [&](engine::ADSHANDLE) { return RemoteAnswer(remote->DisableEncryption()); },
        TAfterTableCall::ReplaceCursor);
    return;
  }
  RunAdsTableCall(table, engine::AdsDisableEncryption, TAfterTableCall::ReplaceCursor);
}

void AdsReindexTable(TAdsTable& table, uint16_t page_size) {
  if (engine::RemoteTable* remote = table.Remote()) {
    RunAdsTableCall(
        table, [&](engine::ADSHANDLE) { return RemoteAnswer(remote->Reindex(page_size)); },
        TAfterTableCall::ReplaceCursor);
    return;
  }
  RunAdsTableCall(
      table,
      [page_size](engine::ADSHANDLE handle) { return engine::AdsReindex61(handle, page_size); },
      TAfterTableCall::ReplaceCursor);
}

uint32_t AdsFirstIndexPageSize(TAdsTable& table, uint16_t& size) {
  size = 0;
  if (engine::RemoteTable* remote = table.Remote()) {
    auto page_size = remote->IndexPageSizeByOrder(1);
    if (!page_size) return RemoteAnswer(page_size.status());
    size = static_cast<uint16_t>(*page_size);
    return engine::AE_SUCCESS;
  }
  engine::ADSHANDLE index = 0;
  if (const uint32_t code = engine::AdsGetIndexHandleByOrder(table.Handle(), 1, &index); code != 0)
    return code;
  uint32_t page_size = 0;
  if (const uint32_t code = engine::AdsGetIndexPageSize(index, &page_size); code != 0) return code;
  size = static_cast<uint16_t>(page_size);
  return engine::AE_SUCCESS;
}
