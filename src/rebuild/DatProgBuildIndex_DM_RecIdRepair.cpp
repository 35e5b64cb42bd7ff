// Records without a record id: the repair of a failing primary index on
// RECID (engine error 7059) by deleting them, and the removal pass after the
// rebuild over the tables marked in Not4RmvLst.
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/AdsQuery.h"
#include "dataset/AdsTable.h"
#include "db/DatGenTablePasswords.h"
#include "diag/DatHE_Unit.h"
#include "engine/util/EngineError.h"
#include "platform/Platform.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"
#include "rebuild/DatProgProgressForm.h"
#include "rebuild/RebuildObserver.h"
#include "ui/MessageBoxes.h"

namespace {

constexpr unsigned kRepairWaitMs = 2000;
constexpr unsigned kRemovalEntryWaitMs = 50;

}  // namespace

std::string DeleteNullRecIdStatement(const std::string& table) {
  const size_t dot = table.rfind('.');
  const std::string base = dot == std::string::npos ? table : table.substr(0, dot);
  return "delete from " + base + " where " + "RECID" + " is null " + " or " + "RECID" + " = " +
         "'" + "'";
}

void TDatProgBuildIndex_DataModule::LogRemovedRecords(const std::string& table) {
  // Deleted records stay in the table file, flagged; the log says where and
  // how many, and `dbtool dump --deleted` shows them.
  const auto removed = AdsQuery2->RowsAffected();
  WriteLog("RmvNullRecId-Removed " + table,
           IntToStr(removed) + " records without a record id removed");
  if (TRebuildObserver* observer = RebuildObserver()) observer->RecordsRemoved(table, removed);
}

bool TDatProgBuildIndex_DataModule::RbldInxOnErr(const std::exception& error,
                                                 const std::string& table, int line,
                                                 std::string& failure) {
  const auto* database_error = dynamic_cast<const EADSDatabaseError*>(&error);
  const std::string key = InxLst.Names(line);
  const std::string value = InxLst.Values(key);
  if (!database_error || database_error->ACEErrorCode() != engine::AE_UNIQUE_EMPTY_KEY ||
      !IsPrimaryOnRecId(InxNameOf(key), InxExpressionOf(value))) {
    return false;
  }
  try {
    RmvNullRecId(table);
    WriteLog("Bof-Fix", table);
    AddIndexOfEntry(line);
    WriteLog("Eof-Fix", table);
    return true;
  } catch (const std::exception& e) {
    WriteLog(this, ".RbldInxOnErr-Err", "", &e);
    // What stopped the repair is what the operator must fix now (a duplicate
    // key left after the empty ones went, a removal that failed), not the
    // empty keys first reported.
    failure = ExceptionMessage(e);
    return false;
  }
}

void TDatProgBuildIndex_DataModule::RmvNullRecId(const std::string& table) {
  // The table is opened again below exactly as it stands now: exclusive, with
  // the page size its indexes are being built at (which an open would reset
  // to its index file's, or to the engine's default without one), and with
  // its password enabled when it is encrypted.
  const bool exclusive = MainTbl->Exclusive();
  const uint16_t page_size = MainTbl->AdsTableOptions.AdsIndexPageSize;
  const bool encrypted = MainTbl->Active() && IsTableEncrypted(*MainTbl);
  MainTbl->Close();
  WriteLog("RmvNullRecId-Bof (VlxUpgInd:RmvNullRecId)", table);
  platform::Sleep(kRepairWaitMs);
  std::exception_ptr delete_error;
  try {
    AdsQuery2->SetSQL(DeleteNullRecIdStatement(table));
    AdsQuery2->ExecSQL();
    LogRemovedRecords(table);
  } catch (...) {
    delete_error = std::current_exception();
  }
  platform::Sleep(kRepairWaitMs);
  AdsQuery2->AdsCloseSQLStatement();
  platform::Sleep(kRepairWaitMs);
  MainTbl->SetExclusive(exclusive);
  MainTbl->Open();
  MainTbl->AdsTableOptions.AdsIndexPageSize = page_size;
  if (encrypted) EnableTableEncryption(*MainTbl);
  WriteLog("RmvNullRecId-Eof", table + " " + AdsQuery2->SQL());
  if (delete_error) std::rethrow_exception(delete_error);
}

bool TDatProgBuildIndex_DataModule::MakeAfReInx() {
  WriteLog("MakeAfReInx-Bld-Bof", "N");
  const bool result = MakeAfReInxDelNullRecId();
  WriteLog("MakeAfReInx-Bld-Eof", BoolToYN(result));
  return result;
}

bool TDatProgBuildIndex_DataModule::MakeAfReInxDelNullRecId() {
  const int marker = Not4RmvLst.IndexOfName(kNot4RmvSection);
  int deleted = 0;
  bool result = false;
  const auto state = [&] {
    return BoolToYN(result) + " " + BoolToYN(AdsQuery2->Active()) + " " +
           IntToStr(Not4RmvLst.Count()) + " " + IntToStr(deleted) + " " + IntToStr(marker);
  };
  WriteLog("MakeAfReInxDelNullRecId-Bld-Bof", state());
  if (Not4RmvLst.Count() > 0) {
    if (Not4RmvLst.Names(0) == kNot4RmvSection) {
      // No exemption list in the main file: nothing is removed anywhere.
      result = true;
      WriteLog("NOT FOR DEL", "");
    } else {
      if (ProgressFrm) {
        ProgressFrm->VlxProgressBar1->SetPosition(0);
        ProgressFrm->SetProgressMax(Not4RmvLst.Count());
      }
      if (AdsQuery2->Active()) AdsQuery2->Close();
      int failed = 0;
      for (int line = 0; line < Not4RmvLst.Count(); ++line) {
        platform::Sleep(kRemovalEntryWaitMs);
        const std::string entry = Not4RmvLst[line];
        const std::string name = Not4RmvLst.Names(line);
        const bool remove = YNToBool(Not4RmvLst.ValueFromIndex(line));
        WriteLogTimedLine(entry + " " + name + " " + BoolToYN(remove));
        ShowProgress(name, "");
        if (!remove) continue;
        try {
          AdsQuery2->SetSQL(DeleteNullRecIdStatement(name));
          AdsQuery2->ExecSQL();
          LogRemovedRecords(name);
          ++deleted;
        } catch (const std::exception& e) {
          ++failed;
          WriteLog(this, "MakeAfReInxDelNullRecId-Err", AdsQuery2->SQL(), &e);
          ui::ShowErrorMessage(entry + " - ");
        }
      }
      // The pass succeeds when every removal it was asked for succeeded.
      // (Comparing the number of removals with the number of entries after
      // the exemption list's end, as earlier versions did, counts a table of
      // the exemption list marked "Y" as a failure and can let a failed
      // removal pass unnoticed.)
      result = failed == 0;
    }
  }
  WriteLog("MakeAfReInxDelNullRecId-Bld-Eof", state());
  return result;
}
