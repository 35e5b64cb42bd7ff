// dbtool info TABLE.ADT [--password-stdin]
//
// An encrypted table is described without its password as far as its
// header goes: its live and deleted counts and its index tags need the
// password.
#include <filesystem>

#include "Commands.h"
#include "FieldSpec.h"
#include "IndexText.h"
#include "TableAtPath.h"
#include "TablePassword.h"

namespace dbtool {

int RunInfo(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared, /*locked_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  engine::Table& table = *opened->Table;
  const bool locked = table.NeedsPassword();
  uint32_t live = 0;
  if (!locked) {
    auto counted = table.CountLiveRecords();
    if (!counted) return ReportError(io, counted.status());
    live = *counted;
  }

  const engine::TableHeader& header = table.Header();
  std::fprintf(io.Out, "Table:          %s\n", table.Path().c_str());
  std::fprintf(io.Out, "Format version: %u.%u\n", header.VersionMajor, header.VersionMinor);
  if (locked) {
    std::fprintf(io.Out, "Records:        %u (live and deleted: give the password)\n",
                 table.RecordCount());
  } else {
    std::fprintf(io.Out, "Records:        %u (%u live, %u deleted)\n", table.RecordCount(), live,
                 table.RecordCount() - live);
  }
  std::fprintf(io.Out, "Record length:  %u bytes\n", table.Schema().RecordLength());
  std::fprintf(io.Out, "Encrypted:      %s\n", table.IsEncrypted() ? "yes" : "no");
  std::fprintf(io.Out, "Fields:         %zu\n", table.Schema().FieldCount());
  for (const engine::FieldInfo& field : table.Schema().Fields()) {
    std::fprintf(io.Out, "  %s\n", FieldSpecText(field).c_str());
  }
  const engine::LockedFile* index = table.IndexFile();
  if (!index) {
    std::fprintf(io.Out, "Index file:     none\n");
    return kExitOk;
  }
  std::error_code ignored;  // the size is shown for information only
  const auto size = std::filesystem::file_size(index->Path(), ignored);
  std::fprintf(io.Out, "Index file:     %s (%llu bytes)\n",
               std::filesystem::path(index->Path()).filename().c_str(),
               static_cast<unsigned long long>(size));
  if (locked) {
    std::fprintf(io.Out, "Index tags:     (encrypted: give the password with %s)\n",
                 kPasswordStdinOption.Name);
    return kExitOk;
  }
  auto indexes = table.Indexes();
  if (!indexes.ok()) return ReportError(io, indexes.status());
  std::fprintf(io.Out, "Index tags:     %zu (page size %u)\n", (*indexes)->Tags().size(),
               (*indexes)->PageSize());
  for (const engine::IndexTagInfo& tag : (*indexes)->Tags())
    std::fprintf(io.Out, "  %s\n", TagLine(tag, (*indexes)->PageSize()).c_str());
  return kExitOk;
}

}  // namespace dbtool
