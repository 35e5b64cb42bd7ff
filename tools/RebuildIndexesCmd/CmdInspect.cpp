#include "CmdInspect.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>

#include "CmdReport.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenStringsFunctions.h"
#include "engine/env/Connection.h"
#include "engine/index/IndexFile.h"
#include "engine/index/IndexVerify.h"
#include "engine/table/Table.h"
#include "engine/table/TableCursor.h"

namespace {

namespace fs = std::filesystem;

// The file of the database folder named `name`, ignoring case; empty when none.
std::string FileInDatabase(const std::string& name) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(GetDBPath(), error)) {
    if (SameText(entry.path().filename().string(), name)) return entry.path().string();
  }
  return {};
}

std::string IndexFileName(const std::string& table) {
  return ChangeFileExt(table, "") + ".ADI";
}

// Live records whose record id is NULL or blank; -1 when the table has no
// RECID field, or it cannot be read (with `error` set).
long RecordsWithoutRecId(const engine::Table& table, std::string& error) {
  if (!table.Schema().FindField("RECID")) return -1;
  engine::TableCursor cursor(table);
  if (engine::Status status = cursor.SetFilter("RECID IS NULL OR RECID = ''"); !status.ok()) {
    error = ErrorWithCode(status.Code(), status.Message());
    return -1;
  }
  auto count = cursor.CountMatching();
  if (!count.ok()) {
    error = ErrorWithCode(count.status().Code(), count.status().Message());
    return -1;
  }
  return static_cast<long>(*count);
}

std::string OptionsText(const engine::IndexTagOptions& options) {
  std::string text;
  if (options.Unique) text += " unique";
  if (options.Descending) text += " descending";
  if (options.CaseInsensitive) text += " case-insensitive";
  return text.empty() ? " none" : text;
}

std::string PlannedOptionsText(const TPlannedTag& tag) {
  engine::IndexTagOptions options;
  options.Unique = tag.Unique;
  options.Descending = tag.Descending;
  options.CaseInsensitive = tag.CaseInsensitive;
  return OptionsText(options);
}

// What is wrong with one table's index file; empty when nothing is.
std::vector<std::string> TableProblems(const engine::Connection& connection,
                                       const TPlannedTable& planned) {
  std::vector<std::string> problems;
  if (FileInDatabase(planned.Table).empty()) return {"the table is missing"};
  const std::string index_path = FileInDatabase(IndexFileName(planned.Table));
  if (index_path.empty()) {
    if (!planned.Tags.empty())
      problems.push_back("the index file " + IndexFileName(planned.Table) + " is missing");
  } else {
    auto file = engine::IndexFile::Open(index_path);
    if (!file.ok()) {
      problems.push_back("the index file cannot be read: " +
                         ErrorWithCode(file.status().Code(), file.status().Message()));
    } else {
      const auto& tags = (*file)->Tags();
      for (const TPlannedTag& tag : planned.Tags) {
        const auto found = std::find_if(
            tags.begin(), tags.end(),
            [&](const engine::IndexTagInfo& info) { return SameText(info.Name, tag.Name); });
        if (found == tags.end()) {
          problems.push_back("tag " + tag.Name + " is missing");
          continue;
        }
        if (tag.FullText != (found->Kind != engine::IndexTagKind::BTree)) {
          problems.push_back("tag " + tag.Name + " is " + (tag.FullText ? "not " : "") +
                             "a full-text index");
        }
        if (!SameText(found->Expression, tag.Expression)) {
          problems.push_back("tag " + tag.Name + " is on " + found->Expression + ", not " +
                             tag.Expression);
        }
        if (!tag.FullText && OptionsText(found->Options) != PlannedOptionsText(tag)) {
          problems.push_back("tag " + tag.Name + " has options" + OptionsText(found->Options) +
                             ", not" + PlannedOptionsText(tag));
        }
      }
      if (planned.PageSize > 0 && (*file)->PageSize() != static_cast<uint32_t>(planned.PageSize)) {
        problems.push_back("page size " + std::to_string((*file)->PageSize()) + ", not " +
                           std::to_string(planned.PageSize));
      }
    }
  }
  auto opened =
      engine::Table::Open(connection, fs::path(FileInDatabase(planned.Table)).filename().string(),
                          engine::OpenMode::Shared);
  if (!opened.ok()) {
    problems.push_back("the table cannot be opened: " +
                       ErrorWithCode(opened.status().Code(), opened.status().Message()));
    return problems;
  }
  if (!index_path.empty()) {
    const auto check = (*opened)->VerifyIndexes();
    if (check && !check->Ok()) {
      for (const std::string& line : check->Lines()) {
        if (line.find(": OK") == std::string::npos) problems.push_back("verify: " + line);
      }
    }
  }
  std::string error;
  const long without_recid = RecordsWithoutRecId(**opened, error);
  if (!error.empty()) problems.push_back("record ids cannot be counted: " + error);
  if (without_recid > 0)
    problems.push_back(std::to_string(without_recid) + " records without a record id");
  return problems;
}

uint64_t FreeBytes(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return 0;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace

void RestrictPlan(TRebuildPlan& plan, const std::vector<std::string>& names) {
  std::erase_if(plan.Tables,
                [&](const TPlannedTable& table) { return !TableNamed(table.Table, names); });
  std::erase_if(plan.Steps,
                [&](const TPlannedStep& step) { return !TableNamed(step.Table, names); });
}

int RunCheck(const TRebuildPlan& plan, std::FILE* out) {
  auto connection = engine::Connection::Connect(GetDBPath());
  if (!connection.ok()) {
    std::fprintf(out, "%s: %s\n", GetDBPath().c_str(),
                 ErrorWithCode(connection.status().Code(), connection.status().Message()).c_str());
    return 1;
  }
  int needing = 0;
  for (const TPlannedTable& planned : plan.Tables) {
    const std::vector<std::string> problems = TableProblems(**connection, planned);
    std::string line = planned.Table + ": ";
    if (problems.empty()) line += "OK";
    for (size_t i = 0; i < problems.size(); ++i) line += (i ? "; " : "") + problems[i];
    std::fprintf(out, "%s\n", line.c_str());
    if (!problems.empty()) ++needing;
  }
  std::fprintf(out, "%d of %zu tables need a rebuild\n", needing, plan.Tables.size());
  return needing ? 1 : 0;
}

int RunDryRun(const TRebuildPlan& plan, std::FILE* out) {
  auto connection = engine::Connection::Connect(GetDBPath());
  uint64_t largest = 0;
  std::fprintf(out, "Tables in the order of the run:\n");
  for (const TPlannedTable& planned : plan.Tables) {
    std::string state;
    const std::string path = FileInDatabase(planned.Table);
    if (path.empty()) {
      state = " (missing)";
    } else {
      std::error_code error;
      largest = std::max<uint64_t>(largest, fs::file_size(path, error));
      if (connection.ok()) {
        // An exclusive open answers whether another program has it now; the
        // table is closed again untouched.
        auto opened = engine::Table::Open(**connection, fs::path(path).filename().string(),
                                          engine::OpenMode::Exclusive);
        if (!opened.ok())
          state =
              " (in use: " + ErrorWithCode(opened.status().Code(), opened.status().Message()) + ")";
      }
    }
    std::fprintf(out, "  %s%s, page size %s\n", planned.Table.c_str(), state.c_str(),
                 planned.PageSize ? std::to_string(planned.PageSize).c_str() : "default");
  }
  std::fprintf(out, "Sections in the order of the run:\n");
  for (const TPlannedStep& step : plan.Steps) {
    std::fprintf(out, "  [%s] %s%s\n", step.Section.c_str(), step.Table.c_str(),
                 step.FullText ? ", full text" : "");
    for (const TPlannedTag& tag : step.Tags) {
      std::string line = "    " + tag.Name + ": " + tag.Expression;
      if (tag.FullText) {
        line += ", full text " + tag.OptionsText +
                (tag.NoiseWords.empty() ? "" : ", noise words " + tag.NoiseWords);
      } else {
        line += ", options" + PlannedOptionsText(tag);
      }
      std::fprintf(out, "%s\n", line.c_str());
    }
  }
  std::fprintf(out, "Records without a record id that the repair would remove:\n");
  bool any = false;
  for (const TPlannedTable& planned : plan.Tables) {
    if (!planned.RecIdRepair || !connection.ok()) continue;
    const std::string path = FileInDatabase(planned.Table);
    if (path.empty()) continue;
    auto opened = engine::Table::Open(**connection, fs::path(path).filename().string(),
                                      engine::OpenMode::Shared);
    if (!opened.ok()) continue;
    std::string error;
    const long count = RecordsWithoutRecId(**opened, error);
    if (count < 0 && error.empty()) continue;
    std::fprintf(out, "  %s: %s\n", planned.Table.c_str(),
                 error.empty() ? std::to_string(count).c_str() : error.c_str());
    any = true;
  }
  if (!any) std::fprintf(out, "  none\n");
  const uint64_t free_bytes = FreeBytes(GetDBPath());
  std::fprintf(
      out,
      "Disk space: the sort of the largest table needs up to %llu bytes; %llu bytes are free%s\n",
      static_cast<unsigned long long>(largest), static_cast<unsigned long long>(free_bytes),
      largest > free_bytes ? " (NOT ENOUGH)" : "");
  return 0;
}
