// dbtool scan TABLE.ADT TAG [--from VALUE] [--limit N] [--crlf]
//
// The live records in the order of the tag, as CSV in the form dump writes,
// from the first key or from the first key at or after VALUE (the leading
// key parts' values separated by ";"), at most N records.
#include <cerrno>
#include <cstring>
#include <limits>

#include "Commands.h"
#include "IndexText.h"
#include "RecordCsv.h"
#include "TableAtPath.h"
#include "TablePassword.h"
#include "engine/table/TableIndexScan.h"

namespace dbtool {

int RunScan(const Arguments& args, Io& io) {
  uint64_t limit = std::numeric_limits<uint64_t>::max();
  std::string error;
  if (args.Has("--limit") && !ParseCount(args.Value("--limit"), "--limit",
                                         std::numeric_limits<uint32_t>::max(), limit, error)) {
    return ReportError(io, error);
  }
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  const auto failed_write = [&io] {
    return ReportError(io, std::string("cannot write the records: ") + std::strerror(errno));
  };
  if (opened->Remote) {
    // Read in the tag's order on the server, sent in batches.
    engine::RemoteTable& remote = *opened->Remote;
    // The header goes out with the first record (or at the end), so that a
    // scan refused at its start writes nothing, as locally.
    RecordCsvWriter writer(io.Out, remote.Schema(), args.Has("--crlf"));
    const std::string from = args.Value("--from");
    uint64_t written = 0;
    bool header = false;
    bool ok = true;
    const engine::Status status = remote.ScanInOrder(
        args.Positional[1], args.Has("--from") ? &from : nullptr,
        [&](uint32_t, const engine::RecordView& record) {
          if (written == limit) return false;
          ok = (header || (header = writer.WriteHeader())) && writer.WriteRecord(record);
          ++written;
          return ok;
        });
    if (!ok) return failed_write();
    if (!status.ok()) {
      if (header) writer.Finish();  // what was read before the error is shown; the error follows
      return ReportError(io, status);
    }
    if (!header && !writer.WriteHeader()) return failed_write();
    if (!writer.Finish()) return failed_write();
    return kExitOk;
  }
  const engine::Table& table = *opened->Table;
  auto scan = engine::TableIndexScan::Open(table, args.Positional[1]);
  if (!scan.ok()) return ReportError(io, scan.status());
  engine::TableIndexScan& in_order = **scan;
  engine::Status status =
      args.Has("--from") ? in_order.SeekText(args.Value("--from")) : in_order.First();

  RecordCsvWriter writer(io.Out, table.Schema(), args.Has("--crlf"));
  if (!writer.WriteHeader()) return failed_write();
  for (uint64_t written = 0; status.ok() && !in_order.Eof() && written < limit; ++written) {
    if (!writer.WriteRecord(in_order.Record())) return failed_write();
    status = in_order.Next();
  }
  if (!status.ok()) {
    writer.Finish();  // what was read before the error is shown; the error follows
    return ReportError(io, status);
  }
  if (!writer.Finish()) return failed_write();
  return kExitOk;
}

}  // namespace dbtool
