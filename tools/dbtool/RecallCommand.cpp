// dbtool recall TABLE.ADT [--filter EXPR]
//
// Brings back deleted records (those the filter lets through), then rebuilds
// the table's tags so that they hold the recalled records' keys too. A
// unique tag that the recalled records would break is refused by the
// rebuild: the records are then deleted again and nothing changes. On a
// table through a server the whole recall runs there.
#include "Commands.h"
#include "TableAtPath.h"
#include "TablePassword.h"
#include "engine/table/TableRecall.h"

namespace dbtool {

int RunRecall(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Exclusive, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  const std::string filter = args.Value("--filter");
  auto recalled = opened->Remote ? opened->Remote->RecallDeleted(filter)
                                 : engine::RecallDeletedRecords(*opened->Table, filter);
  if (!recalled) return ReportError(io, recalled.status());
  std::fprintf(io.Out, "%u records recalled\n", *recalled);
  return kExitOk;
}

}  // namespace dbtool
