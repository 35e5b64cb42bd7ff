#include "db/DatGenTablePasswords.h"

#include "common/DatGenStringsFunctions.h"
#include "dataset/AdsTable.h"
#include "dataset/AdsTableCalls.h"
#include "engine/crypto/TablePasswordSeeds.h"

namespace {

std::unique_ptr<TTablePasswordProvider>& Provider() {
  static std::unique_ptr<TTablePasswordProvider> provider;
  return provider;
}

}  // namespace

std::string TDefaultTablePasswordProvider::CWorkersPassword() const {
  return engine::DefaultCWorkersPassword();
}

std::string TDefaultTablePasswordProvider::SysPMPassword() const {
  return engine::DefaultSysPMPassword();
}

void SetTablePasswordProvider(std::unique_ptr<TTablePasswordProvider> provider) {
  Provider() = std::move(provider);
}

std::string GetTablePassword(const std::string& table_name) {
  static const TDefaultTablePasswordProvider default_provider;
  const TTablePasswordProvider* installed = Provider().get();
  const TTablePasswordProvider& provider = installed ? *installed : default_provider;
  if (StartsText("CWorkers", table_name)) return provider.CWorkersPassword();
  if (StartsText("SysPM", table_name)) return provider.SysPMPassword();
  return {};
}

bool IsTableEncrypted(TAdsTable& table) {
  return IsAdsTableEncrypted(table);
}

void EnableTableEncryption(TAdsTable& table) {
  AdsEnableTableEncryption(table, GetTablePassword(table.TableName()));
}

void DisableTableEncryption(TAdsTable& table) {
  AdsDisableTableEncryption(table);
}
