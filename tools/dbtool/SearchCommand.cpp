// dbtool search TABLE.ADT TAG WORDS... [--crlf]
//
// The live records that hold every one of WORDS, found through the
// full-text tag TAG, as CSV in the form dump writes, in record order. The
// words are split and folded like the indexed texts; words the tag does not
// index (noise words, words outside its lengths) are left out, and a search
// left with none is an error.
#include <cerrno>
#include <cstring>

#include "Commands.h"
#include "RecordCsv.h"
#include "TableAtPath.h"
#include "TablePassword.h"

namespace dbtool {

int RunSearch(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  std::string words;
  for (size_t i = 2; i < args.Positional.size(); ++i) {
    if (!words.empty()) words += ' ';
    words += args.Positional[i];
  }
  const auto failed_write = [&io] {
    return ReportError(io, std::string("cannot write the records: ") + std::strerror(errno));
  };
  if (opened->Remote) {
    // Searched on the server; the records come in batches.
    engine::RemoteTable& remote = *opened->Remote;
    RecordCsvWriter writer(io.Out, remote.Schema(), args.Has("--crlf"));
    bool header = false;
    bool ok = true;
    const engine::Status status = remote.SearchFullText(
        args.Positional[1], words, [&](uint32_t, const engine::RecordView& record) {
          ok = (header || (header = writer.WriteHeader())) && writer.WriteRecord(record);
          return ok;
        });
    if (!ok) return failed_write();
    if (!status.ok()) {
      if (header) writer.Finish();  // the records before the error are shown; the error follows
      return ReportError(io, status);
    }
    if (!header && !writer.WriteHeader()) return failed_write();
    if (!writer.Finish()) return failed_write();
    return kExitOk;
  }
  const engine::Table& table = *opened->Table;
  auto found = table.SearchFullText(args.Positional[1], words);
  if (!found) return ReportError(io, found.status());

  RecordCsvWriter writer(io.Out, table.Schema(), args.Has("--crlf"));
  if (!writer.WriteHeader()) return failed_write();
  std::vector<uint8_t> record;
  for (uint32_t recno : *found) {
    if (engine::Status read = table.ReadRecord(recno, record); !read) {
      writer.Finish();  // the records before the error are shown; the error follows
      return ReportError(io, read);
    }
    if (!writer.WriteRecord(engine::RecordView(table.Schema(), record.data())))
      return failed_write();
  }
  if (!writer.Finish()) return failed_write();
  return kExitOk;
}

}  // namespace dbtool
