// The rebuild driver: one run over the definition files, two passes over
// tables, every failure of a table or index shown, logged and counted.
#include "rebuild/DatProgBuildIndex_DM.h"

#include <QApplication>

#include "common/DatGenDateTime.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenIniFile.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/AdsConnection.h"
#include "dataset/AdsQuery.h"
#include "dataset/AdsTable.h"
#include "db/DatGenDBConnectionDM.h"
#include "db/DatGenTablePasswords.h"
#include "diag/DatHECallStack_Unit.h"
#include "diag/DatHE_Unit.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"
#include "rebuild/DatProgProgressForm.h"
#include "rebuild/RebuildObserver.h"
#include "ui/GenMsg_Unit.h"
#include "ui/MessageBoxes.h"

namespace {

constexpr const char* kMainConnectionName = "DBConnection";

TAdsConnection* MainConnection() {
  TDBConnectionDM* dm = ConnectionDM();
  return dm ? dm->DBConnection : nullptr;
}

// Date and time in the system's short date and long time formats.
std::string DateTimeText(TDateTime value) {
  const platform::LocaleSettings locale = platform::GetLocaleSettings();
  return FormatDateTime(locale.ShortDateFormat + " " + locale.LongTimeFormat, value);
}

TRebuildObserver* g_observer = nullptr;

// A table name comes from the definition files or from the data dictionary,
// and names files inside the database folder only: its index file is deleted
// and the table opened there. A name that could reach another folder is
// refused before any file is touched; the table fails like any other.
void CheckTableFileName(const std::string& table) {
  if (table.find('/') == std::string::npos && table.find('\\') == std::string::npos &&
      table.find("..") == std::string::npos) {
    return;
  }
  throw Exception("The table name \"" + table +
                  "\" is not the name of a file in the database folder");
}

}  // namespace

void SetRebuildObserver(TRebuildObserver* observer) {
  g_observer = observer;
}
TRebuildObserver* RebuildObserver() {
  return g_observer;
}

TDatProgBuildIndex_DataModule::TDatProgBuildIndex_DataModule(QObject* owner) : QObject(owner) {
  setObjectName("DatProgBuildIndex_DataModule");
  RegisterDataModule(this);  // the exception reporter finds its queries
  MainTbl = new TAdsTable(this);
  MainTbl->setObjectName("MainTbl");
  MainTbl->SetDatabaseName(kMainConnectionName);
  MainTbl->AdsTableOptions.AdsRightsCheck = false;
  AdsQuery1 = new TAdsQuery(this);
  AdsQuery1->setObjectName("AdsQuery1");
  AdsQuery1->SetDatabaseName(kMainConnectionName);
  AdsQuery2 = new TAdsQuery(this);
  AdsQuery2->setObjectName("AdsQuery2");
  AdsQuery2->SetDatabaseName(kMainConnectionName);
  HandleSecIniFile();
  HandlePageSizeInxIniFile();
}

TDatProgBuildIndex_DataModule::~TDatProgBuildIndex_DataModule() {
  delete ProgressFrm;  // normally freed at the end of its run already
  UnregisterDataModule(this);
}

void TDatProgBuildIndex_DataModule::ShowProgress(const std::string& table,
                                                 const std::string& index) {
  if (ProgressFrm) ProgressFrm->ShowProgress(table, index);
  if (g_observer && ProgressFrm) {
    g_observer->Progress(table, index, ProgressFrm->VlxProgressBar1->Position(),
                         ProgressFrm->VlxProgressBar1->Max());
  }
}

bool TDatProgBuildIndex_DataModule::RunRebuild() {
  const bool result = AddIndexesByFullPath(IncludeBackslash(GetDBSysPath()) + kMainInxFileName);
  if (g_observer) g_observer->Finished(result);
  return result;
}

bool TDatProgBuildIndex_DataModule::AddIndexesByFullPath(const std::string& path) {
  ErrorOccurred = false;
  bool result = false;
  TAdsConnection* exclusive = nullptr;
  // Cursor, progress window, exclusive connection, main connection: put back
  // whatever way the run ends.
  const auto clean_up = [&] {
    QApplication::restoreOverrideCursor();
    delete ProgressFrm;
    ProgressFrm = nullptr;
    FreeConnection(exclusive);
    exclusive = nullptr;
    if (TAdsConnection* main = MainConnection()) main->SetIsConnected(true);
  };
  try {
    std::string resolved;
    if (!AcceptMainInxFile(path, resolved)) return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
      InxIniFile = std::make_unique<TIniFile>(resolved);
      ProgressFrm = new TDatProgProgressFrm();
      ShowProgress("", "");
      MainTbl->Close();
      EnsureConnectionDM();
      WriteLog(std::string(metaObject()->className()) + ".AddIndexesByFullPath",
               "\r\n" + resolved + " " + DateTimeText(GetFileDateTime(resolved)) + " " + "Y" +
                   "\r\n" + "\r\n" + GetConnInfo(MainConnection()));
      MainConnection()->SetIsConnected(false);
      bool connected = false;
      exclusive = CreateExclusiveConnection(MainConnection()->ConnectPath, connected);
      if (!connected) {
        ErrorOccurred = true;
        result = false;
      } else {
        MainTbl->SetDatabaseName(exclusive->Name());
        if (g_observer) g_observer->RunStarted();
        result = AddIndexes(kDicTablesName, &TDatProgBuildIndex_DataModule::LoadTblNamesToLst,
                            &TDatProgBuildIndex_DataModule::CountIndexEntries,
                            &TDatProgBuildIndex_DataModule::LoadTblInxToLst);
        if (result) {
          result = AddIndexes("", &TDatProgBuildIndex_DataModule::LoadDicTblNamesToLst, nullptr,
                              &TDatProgBuildIndex_DataModule::LoadPrimaryKeyInx);
        }
        if (result) result = MakeAfReInx();
      }
    } catch (const std::exception& e) {
      result = false;
      WriteLog(this, ".AddIndexes-1-ERR", "", &e);
      WriteLastExceptionStack2Log("AddIndexes-2.1-ERR");
    } catch (...) {
      // Not an exception of ours: the clean-up still runs, then it goes on
      // up to whoever can deal with it.
      try {
        clean_up();
      } catch (const std::exception& e) {
        WriteLog(this, "AddIndexes-2-ERR", "", &e);  // the first failure is the one passed on
      }
      throw;
    }
    clean_up();
  } catch (const std::exception& e) {
    result = false;
    WriteLog(this, "AddIndexes-2-ERR", "", &e);
    WriteLastExceptionStack2Log("AddIndexes-2.2-ERR");
  }
  return result;
}

bool TDatProgBuildIndex_DataModule::AddIndexes(const std::string& dic_table, TListLoader loader,
                                               TCounter counter, TTableLoader table_loader) {
  bool failed = false;
  std::string message;
  int number = 0;
  if (!(this->*loader)(message, number)) {
    ShowMsgWithHelp(message, number);
    ErrorOccurred = true;
    return false;
  }
  if (counter && ProgressFrm) ProgressFrm->SetProgressMax((this->*counter)());
  WriteLogLine("\r\nRbldInx:" + IntToStr(TblNamesLst.Count()));

  for (int line = 0; line < TblNamesLst.Count(); ++line) {
    const std::string section = TblNamesLst.Names(line);
    std::string table = TblNamesLst.ValueFromIndex(line);
    if (g_observer && !g_observer->TableWanted(table)) continue;
    if (g_observer && g_observer->StopRequested()) {
      // Stopped from outside: the tables done so far stay done, the run fails.
      WriteLog(this, ".AddIndexes-Stop", table, nullptr);
      ErrorOccurred = true;
      failed = true;
      break;
    }
    try {
      MainTbl->SetTableName(table);
      (this->*table_loader)(section);
      WriteLogTimedLine(TblNamesLst[line]);
      const size_t full_text = AnsiUpperCase(table).find(AnsiUpperCase(kFullTextMarker));
      if (full_text != std::string::npos) {
        table = table.substr(0, full_text);
        MainTbl->SetTableName(table);
        CheckTableFileName(table);
        BldFtxInx(table);
        continue;
      }
      CheckTableFileName(table);
      DeleteIndexes(table);
      MainTbl->SetExclusive(true);
      MainTbl->Open();
      if (IsTableEncrypted(*MainTbl)) EnableTableEncryption(*MainTbl);
      bool new_page_size = false;
      int page_size = 0;
      if (HasPageSizeIniFile) new_page_size = SetNewPageSize(table, page_size);
      BuildIndexes(table);
      if (HasPageSizeIniFile && new_page_size && !HandlePageSizeInx(table, page_size))
        failed = true;
      if (IsTableEncrypted(*MainTbl)) DisableTableEncryption(*MainTbl);
      if (!dic_table.empty() && SameText(dic_table, table)) {
        const int user_tables = ReadDicTblNames();
        if (ProgressFrm) ProgressFrm->AddProgressMax(user_tables);
      }
      MainTbl->Close();
      MainTbl->SetExclusive(false);
    } catch (const std::exception& e) {
      ErrorOccurred = true;
      ui::ShowErrorMessage(ExceptionMessage(e) + "\r\n" + table);
      WriteLog(nullptr, "AddIndexes-ERR", table, &e);
      if (g_observer) g_observer->Failed(table, "", e);
      try {
        if (MainTbl->Active()) MainTbl->Close();
        MainTbl->SetExclusive(false);
      } catch (const std::exception& close_error) {
        WriteLog(nullptr, "AddIndexes-ERR-Close", table,
                 &close_error);  // the table stays failed either way
      }
      WriteLastExceptionStack2Log("AddIndexes-1.1-ERR");
      failed = true;
    }
  }
  return !failed && !ErrorOccurred;
}

int TDatProgBuildIndex_DataModule::CountIndexEntries() {
  int count = 0;
  for (int line = 0; line < TblNamesLst.Count(); ++line) {
    LoadTblInxToLst(TblNamesLst.Names(line));
    count += InxLst.Count();
  }
  return count;
}

int TDatProgBuildIndex_DataModule::ReadDicTblNames() {
  int count = 0;
  try {
    MainTbl->SetFiltered(true);
    MainTbl->SetFilter("Type = 'U' ");
    MainTbl->First();
    while (!MainTbl->Eof()) {
      ++count;
      const std::string name = MainTbl->FieldText("Table_Name");
      DicTblNamesLst.Add(name + "=" + name);
      MainTbl->Next();
    }
  } catch (...) {
    MainTbl->SetFilter("");
    MainTbl->SetFiltered(false);
    throw;
  }
  MainTbl->SetFilter("");
  MainTbl->SetFiltered(false);
  return count;
}
