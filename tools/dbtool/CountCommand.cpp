// dbtool count TABLE.ADT [--filter EXPR]
#include "Commands.h"
#include "TableAtPath.h"
#include "TablePassword.h"
#include "engine/table/TableCursor.h"

namespace dbtool {

int RunCount(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  if (opened->Remote) {
    // Counted on the server, next to the file.
    if (engine::Status status = opened->Remote->SetFilter(args.Value("--filter")); !status)
      return ReportError(io, status);
    auto count = opened->Remote->CountMatching();
    if (!count) return ReportError(io, count.status());
    std::fprintf(io.Out, "%u\n", *count);
    return kExitOk;
  }
  engine::TableCursor cursor(*opened->Table);
  if (engine::Status status = cursor.SetFilter(args.Value("--filter")); !status)
    return ReportError(io, status);
  auto count = cursor.CountMatching();
  if (!count) return ReportError(io, count.status());
  std::fprintf(io.Out, "%u\n", *count);
  return kExitOk;
}

}  // namespace dbtool
