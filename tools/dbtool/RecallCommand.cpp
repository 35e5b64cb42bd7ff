// dbtool recall TABLE.ADT [--filter EXPR]
//
// Brings back deleted records (those the filter lets through), then rebuilds
// the table's tags so that they hold the recalled records' keys too. A
// unique tag that the recalled records would break is refused by the
// rebuild: the records are then deleted again and nothing changes.
#include <optional>
#include <vector>

#include "Commands.h"
#include "TableAtPath.h"
#include "TablePassword.h"
#include "engine/expr/ConditionEval.h"

namespace dbtool {

int RunRecall(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Exclusive);
  if (!opened) return ReportError(io, opened.status());
  engine::Table& table = *opened->Table;
  std::optional<engine::CompiledCondition> filter;
  if (args.Has("--filter")) {
    auto compiled =
        engine::CompileCondition(args.Value("--filter"), table.Schema(), table.Environment().Chars);
    if (!compiled) return ReportError(io, compiled.status());
    filter.emplace(std::move(compiled.value()));
  }

  std::vector<uint32_t> recalled;
  {
    engine::TableScanner scanner = table.Scan(true);
    while (scanner.Next()) {
      const engine::RecordView record = scanner.Record();
      if (!record.IsDeleted()) continue;
      if (filter && !filter->Matches(record)) continue;
      recalled.push_back(scanner.RecNo());
    }
    if (!scanner.status()) return ReportError(io, scanner.status());
  }
  const auto undo = [&table, &recalled] {
    for (const uint32_t recno : recalled) (void)table.DeleteRecord(recno);
    (void)table.Sync();
  };
  for (const uint32_t recno : recalled) {
    if (engine::Status status = table.RecallRecord(recno); !status.ok()) {
      undo();
      return ReportError(io, status);
    }
  }
  if (engine::Status status = table.Sync(); !status.ok()) {
    undo();
    return ReportError(io, status);
  }
  if (!recalled.empty()) {
    engine::Status status = table.Reindex(0);
    if (!status.ok() && status.Code() != engine::AE_ALREADY_SO) {
      // The tags stay as they were; so do the records.
      undo();
      if (engine::Status again = table.Reindex(0);
          !again.ok() && again.Code() != engine::AE_ALREADY_SO) {
        std::fprintf(io.Err, "dbtool: the tags could not be rebuilt again: %s\n",
                     CodedMessage(again).c_str());
      }
      return ReportError(io, status);
    }
  }
  std::fprintf(io.Out, "%zu records recalled\n", recalled.size());
  return kExitOk;
}

}  // namespace dbtool
