// The engine's SQL statements: the text run on a connection to a folder
// holding a fresh copy of the reference table, then the table checked.
#include <cstdint>
#include <string>

#include "FuzzTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string statement(reinterpret_cast<const char*>(data), size);
  fuzz::CopyReferenceTable(true);
  if (fuzz::Dbtool({"sql", fuzz::ScratchFolder(), statement}) == 0)
    fuzz::Dbtool({"verify", fuzz::ScratchPath("Contacts.ADT")});
  return 0;
}
