// Full-text indexes: one SQL statement per entry of a full-text section,
// with the index's noise words from its option section.
#include "common/DatGenIniFile.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/AdsQuery.h"
#include "dataset/AdsTable.h"
#include "diag/DatHECallStack_Unit.h"
#include "diag/DatHE_Unit.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"
#include "rebuild/RebuildObserver.h"
#include "ui/MessageBoxes.h"

namespace {

std::string WithoutExtension(const std::string& table) {
  const size_t dot = table.rfind('.');
  return dot == std::string::npos ? table : table.substr(0, dot);
}

}  // namespace

std::string TDatProgBuildIndex_DataModule::FtsNoiseWords(const std::string& table,
                                                         const std::string& index_name) {
  FtsNoiseLst.Clear();
  const int section = OptSectionsLst.IndexOf("*OP_FtsNoise_" + table + "_" + index_name);
  if (section < 0 || !InxIniFile) return {};
  InxIniFile->ReadSectionValues(OptSectionsLst[section], FtsNoiseLst);
  std::string words;
  for (int line = 0; line < FtsNoiseLst.Count(); ++line) {
    // Entries sharing a name all contribute the first one's value.
    if (!words.empty()) words += " ";
    words += Trim(FtsNoiseLst.Values(FtsNoiseLst.Names(line)));
  }
  words = Trim(words);
  // A quote inside a noise word is doubled, so that the word stays one
  // quoted text instead of ending the statement's list early.
  return words.empty() ? words : "'" + ReplaceAllCase(words, "'", "''") + "'";
}

std::string TDatProgBuildIndex_DataModule::FtsStatement(const std::string& table, int line) {
  const std::string index_name = InxLst.Names(line);
  const std::string value = InxLst.ValueFromIndex(line);
  return "CREATE INDEX " + index_name + " ON " + table + " ( " + InxExpressionOf(value) +
         " ) CONTENT " + InxOptionsTextOf(value) + " " + FtsNoiseWords(table, index_name);
}

void TDatProgBuildIndex_DataModule::BldFtxInx(const std::string& table_name) {
  const std::string table = WithoutExtension(table_name);
  for (int line = 0; line < InxLst.Count(); ++line) {
    const std::string index_name = InxLst.Names(line);
    try {
      ShowProgress(table, index_name);
      AdsQuery1->SetSQL(FtsStatement(table, line));
      AdsQuery1->ExecSQL();
      WriteLogTimedLine("  *BldFtxInx:" + table + " " + index_name);
    } catch (const std::exception& e) {
      ErrorOccurred = true;
      if (TRebuildObserver* observer = RebuildObserver()) observer->Failed(table, index_name, e);
      ui::ShowErrorMessage(ExceptionMessage(e) + " FTS " + "\r\n" + MainTbl->TableName());
      WriteLog(nullptr, "BldFtxInx-Err",
               AdsQuery1->SQL() + "\r\n" + MainTbl->TableName() + " " + InxNameOf(index_name), &e);
      WriteLastExceptionStack2Log("BldFtxInx-1.1");
    }
  }
}
