// dbtool verify TABLE.ADT
//
// Checks every tag of the table's index file (the table opened shared): its
// B+tree's structure, that its keys are exactly those of the live records,
// and uniqueness where the tag requires it; for a full-text tag, its pages
// and word tree, and that it holds exactly the words of the live records. One line per tag, "TAG:
// OK" or what is wrong; a single line when the file cannot be read at all. Exit 0 when every tag is
// sound or there is no index file, 1 when a check fails.
#include "Commands.h"
#include "TableAtPath.h"
#include "TablePassword.h"

namespace dbtool {

int RunVerify(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  if (opened->Remote) {
    // Checked on the server, next to the files.
    auto remote = opened->Remote->VerifyIndexes();
    if (!remote) return ReportError(io, remote.status());
    if (!remote->HasFile) {
      std::fprintf(io.Out, "%s has no index file: nothing to check\n",
                   opened->Remote->Name().c_str());
      return kExitOk;
    }
    for (const std::string& line : remote->Lines) std::fprintf(io.Out, "%s\n", line.c_str());
    if (remote->Lines.empty()) std::fprintf(io.Out, "the index file holds no tags\n");
    return remote->Ok ? kExitOk : kExitCheckFailed;
  }
  const auto check = opened->Table->VerifyIndexes();
  if (!check) {
    std::fprintf(io.Out, "%s has no index file: nothing to check\n", opened->Table->Name().c_str());
    return kExitOk;
  }
  for (const std::string& line : check->Lines()) std::fprintf(io.Out, "%s\n", line.c_str());
  if (check->Lines().empty()) std::fprintf(io.Out, "the index file holds no tags\n");
  return check->Ok() ? kExitOk : kExitCheckFailed;
}

}  // namespace dbtool
