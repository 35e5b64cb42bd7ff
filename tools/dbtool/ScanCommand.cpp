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
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared);
  if (!opened) return ReportError(io, opened.status());
  const engine::Table& table = *opened->Table;
  auto scan = engine::TableIndexScan::Open(table, args.Positional[1]);
  if (!scan.ok()) return ReportError(io, scan.status());
  engine::TableIndexScan& in_order = **scan;
  engine::Status status =
      args.Has("--from") ? in_order.SeekText(args.Value("--from")) : in_order.First();

  const auto failed_write = [&io] {
    return ReportError(io, std::string("cannot write the records: ") + std::strerror(errno));
  };
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
