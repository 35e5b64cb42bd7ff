// Removing a table's index file before its indexes are built afresh.
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "ui/MessageBoxes.h"

namespace {

constexpr int kDeleteAttempts = 4;
constexpr unsigned kDeleteRetryWaitMs = 1000;

// The index file of a table: the table's name without its extension, with
// ".Adi", in the database folder; the file on disk when its name differs in
// case only.
std::string IndexFileOf(const std::string& table) {
  const size_t dot = table.rfind('.');
  const std::string base = dot == std::string::npos ? table : table.substr(0, dot);
  const std::string path = IncludeBackslash(GetDBPath()) + base + ".Adi";
  const std::string on_disk = LocateFile(path);
  return on_disk.empty() ? path : on_disk;
}

}  // namespace

bool TDatProgBuildIndex_DataModule::DelInxFile(const std::string& path, std::string& error_text) {
  error_text.clear();
  int attempts = 0;
  bool done = false;
  while (attempts < kDeleteAttempts && !done) {
    if (platform::DeleteFile(path) || !platform::FileExists(path)) {
      done = true;
    } else {
      if (error_text.empty()) error_text = "ErrorCodes:";
      error_text += IntToStr(platform::GetLastError()) + " ";
      platform::Sleep(kDeleteRetryWaitMs);
    }
    ++attempts;
  }
  if (!error_text.empty()) {
    WriteLog("DelInxFile " + path, error_text + " " + BoolToYN(done) + " " + IntToStr(attempts));
  }
  return done;
}

void TDatProgBuildIndex_DataModule::DeleteIndexes(const std::string& table) {
  const std::string path = IndexFileOf(table);
  std::string error_text;
  if (DelInxFile(path, error_text)) return;
  const int last_error = platform::GetLastError();
  ui::ShowErrorMessage("Table " + table + " is in use");
  WriteLog("DeleteIndexes " + error_text + " " + IntToStr(last_error),
           "the " + path + " not deleted");
  ErrorOccurred = true;
}
