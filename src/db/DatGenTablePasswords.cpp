#include "db/DatGenTablePasswords.h"

#include "common/DatGenStringsFunctions.h"
#include "dataset/AdsTable.h"
#include "dataset/AdsTableCalls.h"

namespace {

std::unique_ptr<TTablePasswordProvider>& Provider() {
  static std::unique_ptr<TTablePasswordProvider> provider;
  return provider;
}

}  // namespace

void SetTablePasswordProvider(std::unique_ptr<TTablePasswordProvider> provider) {
  Provider() = std::move(provider);
}

std::string GetTablePassword(const std::string& table_name) {
  if (!Provider()) return {};
  if (StartsText("CWorkers", table_name)) return Provider()->CWorkersPassword();
  if (StartsText("SysPM", table_name)) return Provider()->SysPMPassword();
  return {};
}

bool IsTableEncrypted(TAdsTable& table) { return IsAdsTableEncrypted(table); }

void EnableTableEncryption(TAdsTable& table) {
  AdsEnableTableEncryption(table, GetTablePassword(table.TableName()));
}

void DisableTableEncryption(TAdsTable& table) { AdsDisableTableEncryption(table); }
