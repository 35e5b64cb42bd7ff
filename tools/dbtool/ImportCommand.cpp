// dbtool import TABLE.ADT FILE.csv [--replace]
//
// The table is loaded under a temporary name and renamed into place only
// when every row was read, so a bad row or an interrupted import leaves no
// table behind (and a replaced table as it was). Bad rows are reported by
// the line they start on, up to kMaxReported of them. Through a server the
// same load runs there (the records are sent in batches).
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "Commands.h"
#include "Csv.h"
#include "FieldSpec.h"
#include "TableAtPath.h"
#include "engine/record/ValueText.h"
#include "engine/sql/RemoteTable.h"
#include "engine/table/Table.h"
#include "engine/util/TableErrorCodes.h"

namespace dbtool {

namespace {

constexpr size_t kMaxReported = 20;
constexpr uint64_t kProgressEvery = 1u << 16;  // rows

// A local load or one through a server.
struct AnyLoad {
  std::optional<engine::TableLoad> Local;
  std::unique_ptr<engine::RemoteTableLoad> Remote;

  const engine::TableSchema& Schema() const { return Remote ? Remote->Schema() : Local->Schema(); }
  engine::Status Append(const engine::RecordBuilder& record) {
    return Remote ? Remote->Append(record) : Local->Append(record);
  }
  engine::Status Finish() { return Remote ? Remote->Finish().status() : Local->Finish(); }
};

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != stdin) std::fclose(file);
  }
};

}  // namespace

int RunImport(const Arguments& args, Io& io) {
  const std::string& table_path = args.Positional[0];
  const std::string& csv_path = args.Positional[1];
  std::unique_ptr<std::FILE, FileCloser> input(
      csv_path == "-" ? stdin : std::fopen(csv_path.c_str(), "rb"));
  if (!input) return ReportError(io, "cannot open \"" + csv_path + "\": " + std::strerror(errno));
  struct stat st {};
  const uint64_t input_size = fstat(fileno(input.get()), &st) == 0 && S_ISREG(st.st_mode)
                                  ? static_cast<uint64_t>(st.st_size)
                                  : 0;

  CsvReader reader(input.get());
  CsvRecord record;
  if (!reader.Next(record)) {
    return ReportError(
        io, csv_path + ": " + (reader.Error().empty() ? "no header line" : reader.Error()));
  }
  std::vector<engine::FieldDef> fields;
  for (size_t i = 0; i < record.Size(); ++i) {
    engine::FieldDef field;
    std::string error;
    std::string_view cell = record.CellText(i);
    // Spreadsheet programs start a UTF-8 file with a byte order mark; it is
    // not part of the first field's name.
    if (i == 0 && cell.substr(0, 3) == "\xEF\xBB\xBF") cell.remove_prefix(3);
    if (!ParseFieldSpec(cell, field, error)) {
      return ReportError(io, csv_path + ": line 1, column " + std::to_string(i + 1) + ": " + error);
    }
    fields.push_back(std::move(field));
  }

  auto connection = ConnectToFolderOf(table_path, /*remote_ok=*/true);
  if (!connection) return ReportError(io, connection.status());
  std::string folder, name;
  SplitTablePath(table_path, folder, name);
  // A table through a server is loaded there, the records sent in batches.
  AnyLoad load;
  engine::Status begun;
  if ((*connection)->IsRemote()) {
    auto remote = engine::RemoteTableLoad::Begin(**connection, name, fields, args.Has("--replace"));
    if (remote) load.Remote = std::move(remote.value());
    begun = remote.status();
  } else {
    auto local = engine::TableLoad::Begin(**connection, name, fields, args.Has("--replace"));
    if (local) load.Local.emplace(std::move(local.value()));
    begun = local.status();
  }
  if (!begun.ok()) {
    std::string message = CodedMessage(begun);
    if (begun.Code() == engine::AE_TABLE_EXISTS && !args.Has("--replace"))
      message += " (--replace replaces it)";
    return ReportError(io, message);
  }

  engine::RecordBuilder builder(load.Schema());
  std::vector<std::string> bad_rows;
  uint64_t rows = 0;
  while (bad_rows.size() < kMaxReported && reader.Next(record)) {
    std::string problem;
    builder.Clear();  // every field NULL
    if (record.Size() != fields.size()) {
      problem = std::to_string(record.Size()) + " cells where the header has " +
                std::to_string(fields.size());
    } else {
      for (size_t i = 0; i < record.Size(); ++i) {
        if (!record.IsQuoted(i) && record.Cells[i].Length == 0)
          continue;  // an empty unquoted cell is NULL
        engine::Status status = engine::SetFieldFromText(builder, i, record.CellText(i));
        if (!status) {
          problem = CodedMessage(status);
          break;
        }
      }
    }
    if (!problem.empty()) {
      bad_rows.push_back(csv_path + ": line " + std::to_string(record.Line) + ": " + problem);
      continue;
    }
    if (bad_rows.empty()) {
      if (engine::Status status = load.Append(builder); !status) return ReportError(io, status);
    }
    ++rows;
    if (io.ErrIsTerminal && rows % kProgressEvery == 0) {
      const int percent = input_size ? static_cast<int>(reader.BytesRead() * 100 / input_size) : 0;
      std::fprintf(io.Err, "\rimporting %s: %llu rows (%d%%)", name.c_str(),
                   static_cast<unsigned long long>(rows), percent);
      std::fflush(io.Err);
    }
  }
  if (io.ErrIsTerminal && rows >= kProgressEvery) std::fprintf(io.Err, "\r\033[K");
  if (!reader.Error().empty())
    return ReportError(io, csv_path + ": " + reader.Error() + "; nothing was imported");
  if (!bad_rows.empty()) {
    for (const std::string& line : bad_rows) std::fprintf(io.Err, "dbtool: %s\n", line.c_str());
    if (bad_rows.size() == kMaxReported)
      std::fprintf(io.Err, "dbtool: stopped after %zu bad rows\n", kMaxReported);
    return ReportError(io, "nothing was imported into " + table_path);
  }
  if (engine::Status status = load.Finish(); !status) return ReportError(io, status);
  std::fprintf(io.Out, "%s: %llu records imported\n", table_path.c_str(),
               static_cast<unsigned long long>(rows));
  return kExitOk;
}

}  // namespace dbtool
