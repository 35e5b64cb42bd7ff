// Creating every index of InxLst on the open, exclusive MainTbl.
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/AdsTable.h"
#include "db/DatGenTablePasswords.h"
#include "diag/DatHECallStack_Unit.h"
#include "diag/DatHE_Unit.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"
#include "rebuild/RebuildObserver.h"
#include "ui/MessageBoxes.h"

void TDatProgBuildIndex_DataModule::BuildIndexes(const std::string& table) {
  for (int line = 0; line < InxLst.Count(); ++line) {
    const std::string key = InxLst.Names(line);
    const std::string index_name = InxNameOf(key);
    try {
      ShowProgress(table, key);
      AddIndexOfEntry(line);
      if (IsPrimaryOnRecId(index_name, InxExpressionOf(InxLst.Values(key))) &&
          Not4RmvLst.IndexOfName(table) < 0 && !IsTableEncrypted(*MainTbl)) {
        Not4RmvLst.Add(MakeKeyValue(table, "Y"));
      }
    } catch (const std::exception& e) {
      WriteLog(nullptr, "BuildIndexes-ERR", table + " " + index_name, &e);
      WriteLastExceptionStack2Log("BuildIndexes-1.1");
      std::string failure = ExceptionMessage(e);
      if (!RbldInxOnErr(e, table, line, failure)) {
        ErrorOccurred = true;
        if (TRebuildObserver* observer = RebuildObserver()) observer->Failed(table, index_name, e);
        ui::ShowErrorMessage(failure + "\r\n" + table);
      }
    }
  }
}
