// dbtool salvage TABLE.ADT NEW [--password-stdin]
//
// Copies every live record of a damaged table that can still be read into
// the new table NEW in the same folder, and says what could not be read:
// one line per lost record ("record 17: state byte 64"), then a summary.
// Exit 0 when nothing was lost, 1 when records (or the certainty of the
// last commit) were lost, 2 when nothing could be copied at all.
#include "Commands.h"
#include "TablePassword.h"
#include "engine/table/TableSalvage.h"

namespace dbtool {

int RunSalvage(const Arguments& args, Io& io) {
  if (IsServerPath(args.Positional[0]))
    return ReportError(io,
                       "salvage works on local tables only, not on \"" + args.Positional[0] + "\"");
  std::string folder, name;
  SplitTablePath(args.Positional[0], folder, name);
  auto connection = engine::Connection::Connect(folder);
  if (!connection) return ReportError(io, connection.status());
  std::string password;
  if (args.Has(kPasswordStdinOption.Name)) {
    auto read = ReadPassword(io);
    if (!read) return ReportError(io, read.status());
    password = *read;
  }
  auto report = engine::SalvageTable(**connection, name, args.Positional[1], password);
  if (!report) return ReportError(io, report.status());
  if (!report->HeaderProblem.empty()) {
    std::fprintf(io.Out, "header: %s; every whole record the file holds was read\n",
                 report->HeaderProblem.c_str());
  }
  for (const engine::LostRecord& lost : report->Lost)
    std::fprintf(io.Out, "record %u: %s\n", lost.RecNo, lost.Reason.c_str());
  std::fprintf(io.Out,
               "%s: %u of %u records read, %u live records copied into %s, %u deleted left out, "
               "%zu could not be read\n",
               name.c_str(), report->Considered - static_cast<uint32_t>(report->Lost.size()),
               report->Considered, report->Copied, report->NewTable.c_str(), report->Deleted,
               report->Lost.size());
  return report->Complete() ? kExitOk : kExitCheckFailed;
}

}  // namespace dbtool
