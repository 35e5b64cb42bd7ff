// dbtool dump TABLE.ADT [--filter EXPR] [--deleted] [--crlf]
//
// Writes the header import reads, then one line per record (RecordCsv.h).
#include <cerrno>
#include <cstring>
#include <optional>

#include "Commands.h"
#include "RecordCsv.h"
#include "TableAtPath.h"
#include "TablePassword.h"
#include "engine/ConditionEval.h"

namespace dbtool {

int RunDump(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared);
  if (!opened) return ReportError(io, opened.status());
  const engine::Table& table = *opened->Table;
  const engine::TableSchema& schema = table.Schema();
  std::optional<engine::CompiledCondition> filter;
  if (args.Has("--filter")) {
    auto compiled =
        engine::CompileCondition(args.Value("--filter"), schema, table.Environment().Chars);
    if (!compiled) return ReportError(io, compiled.status());
    filter.emplace(std::move(compiled.value()));
  }
  const auto failed_write = [&io] {
    return ReportError(io, std::string("cannot write the dump: ") + std::strerror(errno));
  };

  RecordCsvWriter writer(io.Out, schema, args.Has("--crlf"));
  if (!writer.WriteHeader()) return failed_write();
  engine::TableScanner scanner = table.Scan(args.Has("--deleted"));
  while (scanner.Next()) {
    const engine::RecordView record = scanner.Record();
    if (filter && !filter->Matches(record)) continue;
    if (!writer.WriteRecord(record)) return failed_write();
  }
  if (!scanner.status()) return ReportError(io, scanner.status());
  if (!writer.Finish()) return failed_write();
  return kExitOk;
}

}  // namespace dbtool
