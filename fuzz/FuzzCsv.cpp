// The CSV reader of `dbtool import`: the bytes read record by record, then
// imported as a table (header of NAME:TYPE[:LENGTH] cells, then rows) and
// the table dumped back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Csv.h"
#include "FuzzTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string csv = fuzz::ScratchPath("fuzz.csv");
  static const std::string table = fuzz::ScratchPath("Imported.ADT");
  fuzz::WriteBytes(csv, data, size);

  if (std::FILE* file = std::fopen(csv.c_str(), "rb")) {
    dbtool::CsvReader reader(file);
    dbtool::CsvRecord record;
    while (reader.Next(record)) {
      for (size_t i = 0; i < record.Size(); ++i) {
        if (record.Cells[i].Offset + record.Cells[i].Length > record.Text.size()) std::abort();
        record.CellText(i);
      }
    }
    if (reader.BytesRead() > size) std::abort();
    std::fclose(file);
  }

  if (fuzz::Dbtool({"import", table, csv, "--replace"}) == 0) {
    fuzz::Dbtool({"dump", table});
    fuzz::Dbtool({"count", table});
  }
  return 0;
}
