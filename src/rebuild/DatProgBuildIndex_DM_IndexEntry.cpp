// Adding the index of one InxLst entry to MainTbl: the step the creation
// pass takes for each entry, and the RECID repair takes again after it has
// removed the records without a record id. In a file of its own so that
// the two use it without using each other.
#include "dataset/AdsTable.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"

void TDatProgBuildIndex_DataModule::AddIndexOfEntry(int line) {
  const std::string key = InxLst.Names(line);
  // Two lines with one key both use the first line's definition.
  const std::string value = InxLst.Values(key);
  MainTbl->AddIndex(InxNameOf(key), InxExpressionOf(value), InxOptionsOf(InxOptionsTextOf(value)));
}
