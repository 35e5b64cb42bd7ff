// dbtool dump TABLE.ADT [--filter EXPR] [--deleted] [--crlf]
//
// Writes the header import reads, then one line per record: NULL as an
// empty cell, the empty text as "", other values in their text form.
#include <cerrno>
#include <cstring>
#include <optional>

#include "Commands.h"
#include "Csv.h"
#include "FieldSpec.h"
#include "TableAtPath.h"
#include "engine/ConditionEval.h"
#include "engine/ValueText.h"

namespace dbtool {

namespace {

constexpr size_t kFlushAt = 1u << 20;

bool Write(std::FILE* to, const std::string& bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), to) == bytes.size();
}

}  // namespace

int RunDump(const Arguments& args, Io& io) {
  auto opened = OpenTableAt(args.Positional[0], engine::OpenMode::Shared);
  if (!opened) return ReportError(io, opened.status().Message());
  const engine::Table& table = *opened->Table;
  const engine::TableSchema& schema = table.Schema();
  std::optional<engine::CompiledCondition> filter;
  if (args.Has("--filter")) {
    auto compiled =
        engine::CompileCondition(args.Value("--filter"), schema, table.Environment().Chars);
    if (!compiled) return ReportError(io, compiled.status().Message());
    filter.emplace(std::move(compiled.value()));
  }
  const char* line_end = args.Has("--crlf") ? "\r\n" : "\n";

  std::string out;
  for (size_t i = 0; i < schema.FieldCount(); ++i) {
    if (i) out.push_back(',');
    out += FieldSpecText(schema.Field(i));
  }
  out += line_end;
  engine::TableScanner scanner = table.Scan(args.Has("--deleted"));
  while (scanner.Next()) {
    const engine::RecordView record = scanner.Record();
    if (filter && !filter->Matches(record)) continue;
    for (size_t i = 0; i < schema.FieldCount(); ++i) {
      if (i) out.push_back(',');
      if (record.IsNull(i)) continue;
      if (schema.Field(i).Type == engine::FieldType::Character) {
        AppendCsvText(out, record.TrimmedChars(i));
      } else {
        engine::AppendFieldText(out, record, i);
      }
    }
    out += line_end;
    if (out.size() >= kFlushAt) {
      if (!Write(io.Out, out))
        return ReportError(io, std::string("cannot write the dump: ") + std::strerror(errno));
      out.clear();
    }
  }
  if (!scanner.status()) return ReportError(io, scanner.status().Message());
  if (!Write(io.Out, out) || std::fflush(io.Out) != 0) {
    return ReportError(io, std::string("cannot write the dump: ") + std::strerror(errno));
  }
  return kExitOk;
}

}  // namespace dbtool
