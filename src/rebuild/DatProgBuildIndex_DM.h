// TDatProgBuildIndex_DataModule: one complete index rebuild.
//
// The main window makes a new data module for every Start and calls
// RunRebuild. A run reads the index definition files of the DBSys folder
// into the module's lists, swaps the program's main connection for a private
// exclusive one, and makes two passes over tables:
//
//   first pass   the table sections of the main definition file: per table
//                the index file is removed, the table opened exclusively,
//                its page size set, every listed index created and the page
//                size checked; while "DicTables.ADT" is open its user tables
//                are collected;
//   second pass  those user tables, each getting the index PRIMARY on RECID.
//
// A failure of one table or index is shown in an error box and logged, and
// the run goes on; the run's answer is true only when nothing failed.
//
// The module's work is split by concern over several files:
//   DatProgBuildIndex_DM.cpp              creation, destruction, the driver
//   DatProgBuildIndex_DM_Definitions.cpp  reading the definition files
//   DatProgBuildIndex_DM_Creation.cpp     creating a table's indexes
//   DatProgBuildIndex_DM_Removal.cpp      removing a table's index file
//   DatProgBuildIndex_DM_PageSize.cpp     index page sizes
//   DatProgBuildIndex_DM_FullText.cpp     full-text indexes by SQL statements
//   DatProgBuildIndex_DM_RecIdRepair.cpp  records without a record id
#pragma once

#include <QObject>
#include <exception>
#include <memory>
#include <string>

#include "common/TStringList.h"

class TAdsTable;
class TAdsQuery;
class TAdsConnection;
class TDatProgProgressFrm;
class TIniFile;

class TDatProgBuildIndex_DataModule : public QObject {
  Q_OBJECT
  Q_CLASSINFO("Unit", "DatProgBuildIndex_DM")

 public:
  // Makes the components and the eight lists, then looks for the secondary
  // and the page-size definition files.
  explicit TDatProgBuildIndex_DataModule(QObject* owner = nullptr);
  ~TDatProgBuildIndex_DataModule() override;

  // The whole rebuild, from the main definition file in DBSys.
  bool RunRebuild();
  bool AddIndexesByFullPath(const std::string& path);

  // One pass: its list loader fills TblNamesLst (and may fail with a message
  // and a help link), its counter gives the progress steps (or is null), its
  // per-table loader fills InxLst for a section.
  using TListLoader = bool (TDatProgBuildIndex_DataModule::*)(std::string& message, int& number);
  using TCounter = int (TDatProgBuildIndex_DataModule::*)();
  using TTableLoader = void (TDatProgBuildIndex_DataModule::*)(const std::string& section);
  bool AddIndexes(const std::string& dic_table, TListLoader loader, TCounter counter,
                  TTableLoader table_loader);

  int CountIndexEntries();
  int ReadDicTblNames();

  // ---- the definition files
  void HandleSecIniFile();
  void HandlePageSizeInxIniFile();
  // Accepts the main file: found (under either name) and of the current
  // version. Shows and logs why not.
  bool AcceptMainInxFile(const std::string& path, std::string& resolved);
  static bool IsCurrentInxFile(const std::string& resolved);
  bool LoadTblNamesToLst(std::string& message, int& number);
  bool LoadDicTblNamesToLst(std::string& message, int& number);
  void LoadTblInxToLst(const std::string& section);
  void LoadPrimaryKeyInx(const std::string& section);
  void AddSecInx(const TStringList& to_add, const std::string& read_under,
                 const std::string& section);

  // ---- index creation
  void BuildIndexes(const std::string& table);
  void AddIndexOfEntry(int line);

  // ---- full-text indexes
  void BldFtxInx(const std::string& table_name);
  // The statement for the full-text entry at `line` of InxLst, and the
  // quoted noise words of its option section (empty without one).
  std::string FtsStatement(const std::string& table, int line);
  std::string FtsNoiseWords(const std::string& table, const std::string& index_name);

  // ---- records without a record id
  // Repairs the failure `error` of the entry at `line` of InxLst when it can.
  // False when it cannot; when a repair was tried and failed, `failure` is
  // the message of what stopped it.
  bool RbldInxOnErr(const std::exception& error, const std::string& table, int line,
                    std::string& failure);
  void RmvNullRecId(const std::string& table);
  bool MakeAfReInx();
  bool MakeAfReInxDelNullRecId();

  // ---- index removal
  void DeleteIndexes(const std::string& table);
  bool DelInxFile(const std::string& path, std::string& error_text);

  // ---- index page size
  bool IsNeedNewPageSize(const std::string& table, int& size);
  bool SetNewPageSize(const std::string& table, int& size);
  bool HandlePageSizeInx(const std::string& table, int size);

  // ---- components
  TAdsTable* MainTbl = nullptr;
  TAdsQuery* AdsQuery1 = nullptr;
  TAdsQuery* AdsQuery2 = nullptr;

  // ---- the eight lists
  TStringList TblNamesLst;
  TStringList DicTblNamesLst;
  TStringList InxLst;
  TStringList SecInxLst;
  TStringList SecTblInxLst;
  TStringList FtsNoiseLst;
  TStringList OptSectionsLst;
  TStringList Not4RmvLst;

  // ---- the definition files
  std::unique_ptr<TIniFile> InxIniFile;
  std::unique_ptr<TIniFile> SecIniFile;
  bool HasSecIniFile = false;
  std::unique_ptr<TIniFile> PageSizeIniFile;
  bool HasPageSizeIniFile = false;

  TDatProgProgressFrm* ProgressFrm = nullptr;
  bool ErrorOccurred = false;

 private:
  void ShowProgress(const std::string& table, const std::string& index);
  // Logs how many records the last delete of AdsQuery2 removed from `table`.
  void LogRemovedRecords(const std::string& table);
};

// "delete from <table without extension> where RECID is null  or RECID = ''".
std::string DeleteNullRecIdStatement(const std::string& table);

// The file names of the three definition files in DBSys.
inline constexpr const char* kMainInxFileName = "VorlexInx.ini";
inline constexpr const char* kSecInxFileName = "VorlexInx2.ini";
inline constexpr const char* kPageSizeInxFileName = "VorlexInx3.ini";
inline constexpr const char* kDicTablesName = "DicTables.ADT";
inline constexpr int kOutOfDateHelpLink = 203000000;
