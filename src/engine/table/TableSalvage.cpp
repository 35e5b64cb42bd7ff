// Salvage reads the damaged table record by record, so that one record that
// cannot be read costs that record alone, checks each one as far as its bytes
// allow (state byte, null bitmap, the values of its typed fields), and loads
// the sound live ones into a new table through an ordinary load, which
// appears whole or not at all.
#include "engine/table/TableSalvage.h"

#include <cmath>

#include "engine/record/DateValue.h"
#include "engine/record/Record.h"
#include "engine/table/Table.h"
#include "engine/table/TableRewrite.h"
#include "engine/util/LastError.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

namespace {

// Why the bytes of a record are no record of `schema`; empty when they are.
std::string RecordProblem(const TableSchema& schema, const uint8_t* bytes) {
  if (bytes[0] != kRecordLive && bytes[0] != kRecordDeleted)
    return "state byte " + std::to_string(bytes[0]);
  const size_t fields = schema.FieldCount();
  const size_t bitmap = (fields + 7) / 8;
  for (size_t bit = fields; bit < bitmap * 8; ++bit) {
    if ((bytes[1 + bit / 8] >> (bit % 8)) & 1u) return "null bits set past the last field";
  }
  static const int32_t kFirstDay = DayNumberFromCivil(1, 1, 1);
  static const int32_t kLastDay = DayNumberFromCivil(9999, 12, 31);
  const RecordView record(schema, bytes);
  for (size_t i = 0; i < fields; ++i) {
    const FieldInfo& field = schema.Field(i);
    const uint8_t* at = bytes + field.Offset;
    if (record.IsNull(i)) {
      for (uint32_t b = 0; b < field.Length; ++b) {
        if (at[b] != 0) return "field " + field.Name + " is NULL but holds bytes";
      }
      continue;
    }
    switch (field.Type) {
      case FieldType::Double:
        if (!std::isfinite(record.Double(i))) return "field " + field.Name + " holds no number";
        break;
      case FieldType::Date:
        if (record.Date(i) < kFirstDay || record.Date(i) > kLastDay)
          return "field " + field.Name + " holds no date";
        break;
      case FieldType::Logical:
        if (*at > 1) return "field " + field.Name + " holds no logical value";
        break;
      case FieldType::Character:
      case FieldType::Integer:
        break;
    }
  }
  return {};
}

}  // namespace

Result<SalvageReport> SalvageTable(const Connection& connection, std::string_view name,
                                   std::string_view new_name, std::string_view password) {
  SalvageReport report;
  auto strict = Table::Open(connection, name, OpenMode::Shared);
  if (!strict) {
    report.HeaderProblem = strict.status().Message();
    strict = Table::OpenForSalvage(connection, name);
    if (!strict) return strict.status();
  }
  Table& table = **strict;
  const bool encrypted = table.IsEncrypted();
  if (encrypted) {
    if (Status s = table.EnableEncryption(password); !s) return s;
  }
  std::vector<FieldDef> fields;
  for (const FieldInfo& field : table.Schema().Fields())
    fields.push_back(
        {field.Name, field.Type, field.Type == FieldType::Character ? field.Length : 0});
  auto load = TableLoad::Begin(connection, new_name, fields, false);
  if (!load) return load.status();
  report.NewTable = FileNameOfPath(load->TargetPath());

  std::vector<uint8_t> bytes;
  report.Considered = table.RecordCount();
  for (uint32_t recno = 1; recno <= table.RecordCount(); ++recno) {
    if (Status s = table.ReadRecord(recno, bytes); !s) {
      report.Lost.push_back({recno, s.Message()});
      continue;
    }
    if (std::string problem = RecordProblem(table.Schema(), bytes.data()); !problem.empty()) {
      report.Lost.push_back({recno, problem});
      continue;
    }
    if (bytes[0] == kRecordDeleted) {
      ++report.Deleted;
      continue;
    }
    if (Status s = load->Append(bytes.data()); !s) return s;
    ++report.Copied;
  }
  strict.value().reset();  // the damaged table is not needed any more
  if (Status s = load->Finish(); !s) return s;
  if (encrypted) {
    if (Status s = EncryptTable(connection, report.NewTable, password); !s) return s;
  }
  return report;
}

}  // namespace engine
