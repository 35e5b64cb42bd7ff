// Records as the CSV lines dump and scan write: the header import reads,
// then per record NULL as an empty cell, the empty text as "", other values
// in their text form. Output is gathered and written in large blocks.
#pragma once

#include <cstdio>
#include <string>

#include "engine/record/Record.h"
#include "engine/record/TableSchema.h"

namespace dbtool {

class RecordCsvWriter {
 public:
  RecordCsvWriter(std::FILE* to, const engine::TableSchema& schema, bool crlf);

  // False when the output refused the bytes (errno tells why).
  bool WriteHeader();
  bool WriteRecord(const engine::RecordView& record);
  bool Finish();  // writes what is gathered and flushes

 private:
  bool FlushIfFull();

  std::FILE* to_;
  const engine::TableSchema& schema_;
  const char* line_end_;
  std::string out_;
};

}  // namespace dbtool
