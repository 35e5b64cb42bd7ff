#include "CmdPlan.h"

#include <memory>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenIniFile.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "engine/env/Connection.h"
#include "engine/table/Table.h"
#include "engine/table/TableCursor.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"

namespace {

TPlannedTable& PlannedTable(TRebuildPlan& plan, const std::string& table) {
  for (TPlannedTable& planned : plan.Tables) {
    if (SameText(planned.Table, table)) return planned;
  }
  plan.Tables.push_back(TPlannedTable{table, {}, {}, 0, false});
  return plan.Tables.back();
}

TPlannedTag TagOfEntry(const std::string& key, const std::string& value) {
  TPlannedTag tag;
  tag.Name = InxNameOf(key);
  tag.Expression = InxExpressionOf(value);
  tag.OptionsText = InxOptionsTextOf(value);
  const TIndexOptions options = InxOptionsOf(tag.OptionsText);
  tag.Unique = (options & ixUnique) != 0;
  tag.Descending = (options & ixDescending) != 0;
  tag.CaseInsensitive = (options & ixCaseInsensitive) != 0;
  return tag;
}

// The user tables the data dictionary lists ("Type = 'U'"), as the run's
// second pass reads them.
std::vector<std::string> DictionaryUserTables() {
  std::vector<std::string> tables;
  auto connection = engine::Connection::Connect(GetDBPath());
  if (!connection.ok()) return tables;
  auto opened = engine::Table::Open(**connection, kDicTablesName, engine::OpenMode::Shared);
  if (!opened.ok()) return tables;
  engine::TableCursor cursor(**opened);
  if (!cursor.SetFilter("Type = 'U' ").ok()) return tables;
  for (engine::Status status = cursor.First(); status.ok() && !cursor.Eof();
       status = cursor.Next()) {
    auto name = cursor.FieldText("Table_Name");
    if (name.ok()) tables.push_back(Trim(*name));
  }
  return tables;
}

}  // namespace

bool TableNamed(const std::string& table, const std::vector<std::string>& names) {
  const std::string bare = ChangeFileExt(table, "");
  for (const std::string& name : names) {
    if (SameText(name, table) || SameText(name, bare)) return true;
  }
  return false;
}

bool ReadRebuildPlan(TRebuildPlan& plan) {
  TDatProgBuildIndex_DataModule module(nullptr);
  std::string resolved;
  if (!module.AcceptMainInxFile(IncludeBackslash(GetDBSysPath()) + kMainInxFileName, resolved))
    return false;
  module.InxIniFile = std::make_unique<TIniFile>(resolved);
  std::string message;
  int number = 0;
  if (!module.LoadTblNamesToLst(message, number)) return false;

  bool dictionary_listed = false;
  for (int line = 0; line < module.TblNamesLst.Count(); ++line) {
    const std::string section = module.TblNamesLst.Names(line);
    std::string table = module.TblNamesLst.ValueFromIndex(line);
    module.LoadTblInxToLst(section);
    const size_t full_text = AnsiUpperCase(table).find(AnsiUpperCase(kFullTextMarker));
    const bool is_full_text = full_text != std::string::npos;
    if (is_full_text) table = table.substr(0, full_text);
    TPlannedTable& planned = PlannedTable(plan, table);
    planned.Sections.push_back(section);
    // A table section starts the index file afresh; a full-text section adds
    // to the file the table has.
    if (!is_full_text) planned.Tags.clear();
    TPlannedStep step{table, section, is_full_text, {}};
    for (int entry = 0; entry < module.InxLst.Count(); ++entry) {
      const std::string key = module.InxLst.Names(entry);
      TPlannedTag tag = TagOfEntry(key, module.InxLst.Values(key));
      if (is_full_text) {
        tag.FullText = true;
        tag.NoiseWords = module.FtsNoiseWords(ChangeFileExt(table, ""), key);
      }
      planned.Tags.push_back(tag);
      step.Tags.push_back(tag);
      if (IsPrimaryOnRecId(tag.Name, tag.Expression) && module.Not4RmvLst.IndexOfName(table) < 0) {
        planned.RecIdRepair = true;
      }
    }
    plan.Steps.push_back(step);
    if (SameText(table, kDicTablesName)) dictionary_listed = true;
  }
  // The second pass: each user table of the dictionary ends with PRIMARY on
  // the record id alone.
  if (dictionary_listed) {
    for (const std::string& table : DictionaryUserTables()) {
      TPlannedTable& planned = PlannedTable(plan, table);
      planned.Sections.push_back("(" + std::string(kDicTablesName) + ")");
      planned.Tags = {TagOfEntry(kPrimaryKeyEntryKey, "RECID*ixUnique")};
      plan.Steps.push_back(TPlannedStep{table, planned.Sections.back(), false, planned.Tags});
      if (module.Not4RmvLst.IndexOfName(table) < 0) planned.RecIdRepair = true;
    }
  }
  for (TPlannedTable& planned : plan.Tables) {
    if (module.PageSizeIniFile)
      planned.PageSize = module.PageSizeIniFile->ReadInteger(planned.Table, "InxPageSize", 0);
  }
  return true;
}
