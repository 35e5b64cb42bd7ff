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
#include "engine/expr/ConditionEval.h"

namespace dbtool {

namespace {

// A table on a server: the filter runs there, the records come in batches.
int DumpRemote(engine::RemoteTable& table, const engine::CharTable& chars, const Arguments& args,
               Io& io) {
  const auto failed_write = [&io] {
    return ReportError(io, std::string("cannot write the dump: ") + std::strerror(errno));
  };
  RecordCsvWriter writer(io.Out, table.Schema(), args.Has("--crlf"));
  if (!writer.WriteHeader()) return failed_write();
  bool written = true;
  engine::Status status;
  if (args.Has("--filter") && !args.Has("--deleted")) {
    if (status = table.SetFilter(args.Value("--filter")); !status.ok())
      return ReportError(io, status);
    for (status = table.First(); status.ok() && table.RecNo() > 0 && written;) {
      written = writer.WriteRecord(table.Record());
      if (status = table.Next(); table.Eof()) break;
    }
  } else if (args.Has("--filter")) {
    // Deleted records pass no cursor: the filter is applied here.
    auto compiled = engine::CompileCondition(args.Value("--filter"), table.Schema(), chars);
    if (!compiled) return ReportError(io, compiled.status());
    status = table.ScanRecords(true, [&](uint32_t, const engine::RecordView& record) {
      if (compiled->Matches(record)) written = writer.WriteRecord(record);
      return written;
    });
  } else {
    status =
        table.ScanRecords(args.Has("--deleted"), [&](uint32_t, const engine::RecordView& record) {
          written = writer.WriteRecord(record);
          return written;
        });
  }
  if (!written) return failed_write();
  if (!status.ok()) return ReportError(io, status);
  if (!writer.Finish()) return failed_write();
  return kExitOk;
}

}  // namespace

int RunDump(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  if (opened->Remote)
    return DumpRemote(*opened->Remote, opened->Connection->Environment()->Chars, args, io);
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
