// Reading the index definition files into the data module's lists.
//
// "VorlexInx.ini" (required) lists the tables to rebuild, one section per
// table, its entries the table's indexes; "*Not4Rmv" lists the tables whose
// records without a record id may be removed, and "*OP..." sections carry
// options. "VorlexInx2.ini" (optional) adds index entries to the tables;
// "VorlexInx3.ini" (optional) sets index page sizes.
#include "rebuild/DatProgBuildIndex_DM.h"

#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenIniFile.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "diag/DatHE_Unit.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"
#include "ui/MessageBoxes.h"

namespace {

// The out-of-date message (resource string 65198); "%s" is the product name.
constexpr const char* kOutOfDateText =
    "This index rebuild program is out of date and cannot be used with the version of %s you have "
    "installed.\r\nPlease download the latest program and try again";

// Looks an optional definition file up in DBSys and opens it when found.
bool OpenOptionalInxFile(const char* file_name, const char* found_tag, const char* summary_tag,
                         std::unique_ptr<TIniFile>& file) {
  const std::string joined = JoinPath(GetDBSysPath(), file_name);
  std::string resolved;
  const bool found = ResolveFileName(joined, true, resolved);
  if (found) {
    file = std::make_unique<TIniFile>(resolved);
    WriteLog(found_tag, resolved);
  }
  WriteLog(std::string(summary_tag) + resolved + " " + BoolToYN(found), joined + "\r\n" + resolved);
  return found;
}

}  // namespace

void TDatProgBuildIndex_DataModule::HandleSecIniFile() {
  HasSecIniFile =
      OpenOptionalInxFile(kSecInxFileName, "HandleSecIniFile", "GenInxFile-2: ", SecIniFile);
}

void TDatProgBuildIndex_DataModule::HandlePageSizeInxIniFile() {
  HasPageSizeIniFile = OpenOptionalInxFile(kPageSizeInxFileName, "HandlePageSizeInxIniFile",
                                           "GenInxFile-3: ", PageSizeIniFile);
}

bool TDatProgBuildIndex_DataModule::IsCurrentInxFile(const std::string& resolved) {
  return ReadTextFileToString(resolved).find("ixPrimary") == std::string::npos;
}

bool TDatProgBuildIndex_DataModule::AcceptMainInxFile(const std::string& path,
                                                      std::string& resolved) {
  const bool found = ResolveFileName(path, true, resolved);
  WriteLog("GenInxFile-1: " + resolved + " " + BoolToYN(found), path + "\r\n" + resolved);
  std::string message;
  if (!found) {
    message = " File " + ExtractFileName(resolved) + " does not exist " + "\n\r" +
              " Install in folder " + "\n\r" + ExcludeBackslash(ExtractFilePath(resolved)) +
              "\n\r" + " and try again ";
  } else if (!IsCurrentInxFile(resolved)) {
    message = "File" + ExtractFileName(resolved) + "\n\r" +
              "you have installed belongs to a previous version" + "\n\r" +
              "Replace with newer version" + "\n\r" + "and try again";
  } else {
    return true;
  }
  WriteLog(this, "1.", message, nullptr);
  ui::ShowErrorMessage(message);
  return false;
}

bool TDatProgBuildIndex_DataModule::LoadTblNamesToLst(std::string& message, int& number) {
  message.clear();
  number = 0;
  Not4RmvLst.Clear();
  InxIniFile->ReadSectionValues(kNot4RmvSection, Not4RmvLst);
  Not4RmvLst.Add(MakeKeyValue(kNot4RmvSection, kNot4RmvSection));

  OptSectionsLst.Clear();
  TblNamesLst.Clear();
  InxIniFile->ReadSections(TblNamesLst);
  for (int i = TblNamesLst.Count() - 1; i >= 0; --i) {
    const std::string name = TblNamesLst[i];
    if (SameText(name, kNot4RmvSection)) {
      TblNamesLst.Delete(i);
    } else if (ContainsText(name, kOptionSectionMarker)) {
      OptSectionsLst.Add(name);
      TblNamesLst.Delete(i);
    } else {
      std::string table;
      if (!SectionTableName(Trim(name), table)) {
        message = ReplaceText(kOutOfDateText, "%s", GetProductName(), 0);
        number = kOutOfDateHelpLink;
        WriteLog("LoadTblNamesToLst", message + "\r\n" + name + "\r\n" + "" + "\r\n" + "\r\n" +
                                          IntToStr(i) + "\r\n" + TblNamesLst.Text());
        return false;
      }
      TblNamesLst.SetString(i, name + "=" + table);
    }
  }
  return true;
}

bool TDatProgBuildIndex_DataModule::LoadDicTblNamesToLst(std::string& message, int& number) {
  message.clear();
  number = 0;
  TblNamesLst.Clear();
  for (const std::string& line : DicTblNamesLst) TblNamesLst.Add(line);
  return true;
}

void TDatProgBuildIndex_DataModule::LoadTblInxToLst(const std::string& section) {
  InxLst.Clear();
  SecInxLst.Clear();
  SecTblInxLst.Clear();
  InxIniFile->ReadSectionValues(section, InxLst);
  if (!HasSecIniFile) return;
  std::string table;
  SectionTableName(section, table);  // accepted when the table list was loaded
  SecIniFile->ReadSectionValues(section, SecInxLst);
  if (section != table) SecIniFile->ReadSectionValues(table, SecTblInxLst);
  AddSecInx(SecInxLst, section, section);
  AddSecInx(SecTblInxLst, table, section);
}

void TDatProgBuildIndex_DataModule::LoadPrimaryKeyInx(const std::string& /*section*/) {
  InxLst.Clear();
  InxLst.Add(kPrimaryKeyEntry);
}

void TDatProgBuildIndex_DataModule::AddSecInx(const TStringList& to_add,
                                              const std::string& read_under,
                                              const std::string& section) {
  if (to_add.Empty()) return;
  const std::string before = InxLst.Text();
  const int count_before = InxLst.Count();
  for (const std::string& line : to_add) InxLst.Add(line);
  WriteLog("ADD-X " + read_under + " " + section + " ",
           "\r\n*GEN-BF*" + IntToStr(count_before) + "\r\n" + before + "\r\n" + "*Add*" +
               IntToStr(to_add.Count()) + "\r\n" + to_add.Text() + "\r\n" + "*GEN-AF*" +
               IntToStr(InxLst.Count()) + "\r\n" + InxLst.Text());
}
