// Index page sizes from "VorlexInx3.ini": a table with a setting gets its
// index file rebuilt with that page size before its indexes are created, and
// its first index is checked for it afterwards.
#include "common/DatGenIniFile.h"
#include "common/DatGenStringsFunctions.h"
#include "dataset/AdsTable.h"
#include "dataset/AdsTableCalls.h"
#include "diag/DatHE_Unit.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "ui/MessageBoxes.h"

namespace {

bool IsAllowedPageSize(int size) {
  for (int allowed : {512, 1024, 2048, 4096, 8192}) {
    if (size == allowed) return true;
  }
  return false;
}

}  // namespace

bool TDatProgBuildIndex_DataModule::IsNeedNewPageSize(const std::string& table, int& size) {
  size = 0;
  if (!PageSizeIniFile) return false;
  const int setting = PageSizeIniFile->ReadInteger(table, "InxPageSize", 0);
  if (setting == 0) return false;
  if (!IsAllowedPageSize(setting)) {
    WriteLog("IsNeedNewPageSize" + table, "wrong PageSize " + IntToStr(setting));
    return false;
  }
  WriteLogTimedLine("  *IsNeedNewPageSize: " + table + " " + IntToStr(setting));
  size = setting;
  return true;
}

bool TDatProgBuildIndex_DataModule::SetNewPageSize(const std::string& table, int& size) {
  if (!IsNeedNewPageSize(table, size)) return false;
  MainTbl->AdsTableOptions.AdsIndexPageSize = static_cast<uint16_t>(size);
  MainTbl->SetBrowseMode();
  AdsReindexTable(*MainTbl, static_cast<uint16_t>(size));
  return true;
}

bool TDatProgBuildIndex_DataModule::HandlePageSizeInx(const std::string& table, int size) {
  uint16_t actual = 0;
  const uint32_t code = AdsFirstIndexPageSize(*MainTbl, actual);
  if (code == 0 && actual == size) return true;
  WriteLog("HandlePageSizeInx " + table, "Can not Set PageSize " + IntToStr(size));
  if (code != 0) {
    // The engine could not tell the first index's page size (for example the
    // table has no index at all): the size cannot be confirmed, so the check
    // fails, and the engine's answer is kept beside it.
    WriteLog("HandlePageSizeInx-NoSize " + table, "engine error " + IntToStr(code));
  }
  ui::ShowErrorMessage("Table " + table + " has worng page size");
  return false;
}
