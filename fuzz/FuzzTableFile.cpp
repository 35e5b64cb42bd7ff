// A table file from arbitrary bytes (no index file): described, counted,
// dumped with and without its deleted records and filtered, and checked.
#include <cstdint>

#include "FuzzTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string table = fuzz::ScratchPath("Contacts.ADT");
  fuzz::CopyReferenceTable(false);
  fuzz::WriteBytes(table, data, size);
  if (fuzz::Dbtool({"info", table}) != 0) return 0;
  fuzz::Dbtool({"count", table});
  fuzz::Dbtool({"dump", table, "--deleted"});
  fuzz::Dbtool({"count", table, "--filter", "NAME > 'B' AND SCORE < 4"});
  fuzz::Dbtool({"verify", table});
  return 0;
}
