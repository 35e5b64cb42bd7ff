#include "engine/table/TableRecall.h"

#include <optional>
#include <vector>

#include "engine/expr/ConditionEval.h"
#include "engine/util/EngineError.h"

namespace engine {

Result<uint32_t> RecallDeletedRecords(Table& table, std::string_view filter) {
  std::optional<CompiledCondition> condition;
  if (!filter.empty()) {
    auto compiled = CompileCondition(filter, table.Schema(), table.Environment().Chars);
    if (!compiled) return compiled.status();
    condition.emplace(std::move(compiled.value()));
  }

  std::vector<uint32_t> recalled;
  {
    TableScanner scanner = table.Scan(true);
    while (scanner.Next()) {
      const RecordView record = scanner.Record();
      if (!record.IsDeleted()) continue;
      if (condition && !condition->Matches(record)) continue;
      recalled.push_back(scanner.RecNo());
    }
    if (!scanner.status()) return scanner.status();
  }
  // Puts the flags back as they were. Best effort: the first failure is the
  // one reported, and a record left recalled is still a sound record.
  const auto undo = [&table, &recalled] {
    for (const uint32_t recno : recalled) table.DeleteRecord(recno).PermitUncheckedError();
    table.Sync().PermitUncheckedError();
  };
  for (const uint32_t recno : recalled) {
    if (Status status = table.RecallRecord(recno); !status.ok()) {
      undo();
      return status;
    }
  }
  if (Status status = table.Sync(); !status.ok()) {
    undo();
    return status;
  }
  if (!recalled.empty()) {
    Status status = table.Reindex(0);
    if (!status.ok() && status.Code() != AE_ALREADY_SO) {
      // The tags stay as they were; so do the records.
      undo();
      if (Status again = table.Reindex(0); !again.ok() && again.Code() != AE_ALREADY_SO) {
        return Status(status.Code(), status.Message() + "; the tags could not be rebuilt again: " +
                                         again.Message());
      }
      return status;
    }
  }
  return static_cast<uint32_t>(recalled.size());
}

}  // namespace engine
