// dbtool info TABLE.ADT [--password-stdin]
//
// An encrypted table is described without its password as far as its
// header goes: its live and deleted counts and its index tags need the
// password. A table through a server is described by the server.
#include <filesystem>

#include "Commands.h"
#include "FieldSpec.h"
#include "IndexText.h"
#include "TableAtPath.h"
#include "TablePassword.h"

namespace dbtool {

namespace {

// What info shows, gathered from a local table or from a server.
struct Description {
  std::string Path;
  unsigned VersionMajor = 0;
  unsigned VersionMinor = 0;
  uint32_t Records = 0;
  bool Locked = false;  // the password is needed for counts and tags
  uint32_t Live = 0;
  uint32_t RecordLength = 0;
  bool Encrypted = false;
  const engine::TableSchema* Schema = nullptr;
  std::string IndexFileName;  // empty: none
  uint64_t IndexFileBytes = 0;
  uint32_t PageSize = 0;
  std::vector<engine::IndexTagInfo> Tags;
};

engine::Status DescribeLocal(const engine::Table& table, Description& d) {
  d.Path = table.Path();
  d.VersionMajor = table.Header().VersionMajor;
  d.VersionMinor = table.Header().VersionMinor;
  d.Records = table.RecordCount();
  d.Locked = table.NeedsPassword();
  d.RecordLength = table.Schema().RecordLength();
  d.Encrypted = table.IsEncrypted();
  d.Schema = &table.Schema();
  if (!d.Locked) {
    auto counted = table.CountLiveRecords();
    if (!counted) return counted.status();
    d.Live = *counted;
  }
  const engine::LockedFile* index = table.IndexFile();
  if (!index) return engine::Status::Ok();
  std::error_code ignored;  // the size is shown for information only
  d.IndexFileBytes = std::filesystem::file_size(index->Path(), ignored);
  d.IndexFileName = std::filesystem::path(index->Path()).filename();
  if (d.Locked) return engine::Status::Ok();
  auto indexes = table.Indexes();
  if (!indexes.ok()) return indexes.status();
  d.PageSize = (*indexes)->PageSize();
  d.Tags = (*indexes)->Tags();
  return engine::Status::Ok();
}

engine::Status DescribeRemote(engine::RemoteTable& table, const std::string& path, Description& d) {
  auto info = table.Info();
  if (!info) return info.status();
  d.Path = path;
  d.VersionMajor = info->VersionMajor;
  d.VersionMinor = info->VersionMinor;
  d.Records = table.RecordCount();
  d.Locked = !info->Counted;
  d.Live = info->LiveRecords;
  d.RecordLength = table.Schema().RecordLength();
  d.Encrypted = table.IsEncrypted();
  d.Schema = &table.Schema();
  d.IndexFileName = info->IndexFileName;
  d.IndexFileBytes = info->IndexFileBytes;
  if (d.IndexFileName.empty() || d.Locked) return engine::Status::Ok();
  auto tags = table.Tags();
  if (!tags) return tags.status();
  d.PageSize = tags->PageSize;
  d.Tags = std::move(tags->Tags);
  return engine::Status::Ok();
}

}  // namespace

int RunInfo(const Arguments& args, Io& io) {
  auto opened = OpenTableFor(args, io, engine::OpenMode::Shared, /*locked_ok=*/true,
                             /*remote_ok=*/true);
  if (!opened) return ReportError(io, opened.status());
  Description d;
  const engine::Status described = opened->Remote
                                       ? DescribeRemote(*opened->Remote, args.Positional[0], d)
                                       : DescribeLocal(*opened->Table, d);
  if (!described.ok()) return ReportError(io, described);

  std::fprintf(io.Out, "Table:          %s\n", d.Path.c_str());
  std::fprintf(io.Out, "Format version: %u.%u\n", d.VersionMajor, d.VersionMinor);
  if (d.Locked) {
    std::fprintf(io.Out, "Records:        %u (live and deleted: give the password)\n", d.Records);
  } else {
    std::fprintf(io.Out, "Records:        %u (%u live, %u deleted)\n", d.Records, d.Live,
                 d.Records - d.Live);
  }
  std::fprintf(io.Out, "Record length:  %u bytes\n", d.RecordLength);
  std::fprintf(io.Out, "Encrypted:      %s\n", d.Encrypted ? "yes" : "no");
  std::fprintf(io.Out, "Fields:         %zu\n", d.Schema->FieldCount());
  for (const engine::FieldInfo& field : d.Schema->Fields()) {
    std::fprintf(io.Out, "  %s\n", FieldSpecText(field).c_str());
  }
  if (d.IndexFileName.empty()) {
    std::fprintf(io.Out, "Index file:     none\n");
    return kExitOk;
  }
  std::fprintf(io.Out, "Index file:     %s (%llu bytes)\n", d.IndexFileName.c_str(),
               static_cast<unsigned long long>(d.IndexFileBytes));
  if (d.Locked) {
    std::fprintf(io.Out, "Index tags:     (encrypted: give the password with %s)\n",
                 kPasswordStdinOption.Name);
    return kExitOk;
  }
  std::fprintf(io.Out, "Index tags:     %zu (page size %u)\n", d.Tags.size(), d.PageSize);
  for (const engine::IndexTagInfo& tag : d.Tags)
    std::fprintf(io.Out, "  %s\n", TagLine(tag, d.PageSize).c_str());
  return kExitOk;
}

}  // namespace dbtool
