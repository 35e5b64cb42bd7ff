// dbtool index TABLE.ADT TAG EXPR [--unique] [--descending] [--ci] [--primary] [--pagesize N]
// dbtool reindex TABLE.ADT [--pagesize N]
//
// Both open the table exclusively. index adds the tag (replacing one of
// that name) with the page size given, or the table's index page size
// option (the page size of its index file, 0 without one); reindex
// rebuilds every tag, in the page size given or the file's own. An index
// file with damaged pages is rebuilt from its tag directory (said on
// standard error), so its tags are kept.
#include "Commands.h"
#include "IndexText.h"
#include "TableAtPath.h"
#include "TablePassword.h"

namespace dbtool {

namespace {

// The page size of --pagesize, or `fallback` without the option.
bool PageSizeOption(const Arguments& args, uint32_t fallback, uint32_t& page_size,
                    std::string& error) {
  if (!args.Has("--pagesize")) {
    page_size = fallback;
    return true;
  }
  uint64_t value = 0;
  if (!ParseCount(args.Value("--pagesize"), "--pagesize", 65535, value, error)) return false;
  page_size = static_cast<uint32_t>(value);
  return true;
}

// Lists the tags of the table's index file on Out.
int ShowTags(const engine::Table& table, Io& io) {
  auto indexes = table.Indexes();
  if (!indexes.ok()) return ReportError(io, indexes.status());
  if (*indexes) {
    for (const engine::IndexTagInfo& tag : (*indexes)->Tags())
      std::fprintf(io.Out, "%s\n", TagLine(tag, (*indexes)->PageSize()).c_str());
  }
  return kExitOk;
}

// The same for a table on a server.
int ShowRemoteTags(engine::RemoteTable& table, Io& io) {
  auto tags = table.Tags();
  if (!tags.ok()) return ReportError(io, tags.status());
  for (const engine::IndexTagInfo& tag : tags->Tags)
    std::fprintf(io.Out, "%s\n", TagLine(tag, tags->PageSize).c_str());
  return kExitOk;
}

// Says on Err that the index file is damaged and is rebuilt from its tag
// directory (the engine does so; an unreadable directory is its error).
void NoteDamagedIndexFile(const engine::Table& table, Io& io) {
  if (!table.IndexFileDamaged()) return;
  auto indexes = table.Indexes();
  std::fprintf(io.Err, "dbtool: %s; its tags are rebuilt from its tag directory\n",
               indexes.ok()
                   ? ("the index file " + table.IndexFilePath() + " has damaged pages").c_str()
                   : indexes.status().Message().c_str());
}

engine::IndexTagDefinition DefinitionOf(const Arguments& args) {
  engine::IndexTagDefinition definition;
  definition.Name = args.Positional[1];
  definition.Expression = args.Positional[2];
  definition.Options.Unique = args.Has("--unique");
  definition.Options.Descending = args.Has("--descending");
  definition.Options.CaseInsensitive = args.Has("--ci");
  definition.Options.Primary = args.Has("--primary");
  return definition;
}

}  // namespace

int RunIndex(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Exclusive, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  if (opened->Remote) {
    // Built on the server, next to the files.
    engine::RemoteTable& remote = *opened->Remote;
    uint32_t page_size = 0;
    std::string error;
    if (!PageSizeOption(args, remote.IndexPageSize(), page_size, error))
      return ReportError(io, error);
    if (engine::Status status = remote.SetIndexPageSize(page_size); !status.ok())
      return ReportError(io, status);
    if (engine::Status status = remote.AddIndex(DefinitionOf(args), page_size); !status.ok())
      return ReportError(io, status);
    return ShowRemoteTags(remote, io);
  }
  engine::Table& table = *opened->Table;
  uint32_t page_size = 0;
  std::string error;
  if (!PageSizeOption(args, table.IndexPageSize(), page_size, error)) return ReportError(io, error);
  if (engine::Status status = table.SetIndexPageSize(page_size); !status.ok())
    return ReportError(io, status);

  NoteDamagedIndexFile(table, io);
  if (engine::Status status = table.AddIndex(DefinitionOf(args), table.IndexPageSize());
      !status.ok())
    return ReportError(io, status);
  return ShowTags(table, io);
}

int RunReindex(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Exclusive, false, /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  uint32_t page_size = 0;
  std::string error;
  if (!PageSizeOption(args, 0, page_size, error)) return ReportError(io, error);
  if (opened->Table) NoteDamagedIndexFile(*opened->Table, io);
  const engine::Status status =
      opened->Remote ? opened->Remote->Reindex(page_size) : opened->Table->Reindex(page_size);
  if (!status.ok()) {
    if (status.Code() == engine::AE_ALREADY_SO) {
      std::fprintf(io.Out, "%s\n", CodedMessage(status).c_str());
      return kExitOk;
    }
    return ReportError(io, status);
  }
  return opened->Remote ? ShowRemoteTags(*opened->Remote, io) : ShowTags(*opened->Table, io);
}

}  // namespace dbtool
