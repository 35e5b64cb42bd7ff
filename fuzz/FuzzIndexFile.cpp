// An index file from arbitrary bytes beside the reference table: its tags
// listed, walked in key order from the start and from a key, and checked.
#include <cstdint>

#include "FuzzTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string table = fuzz::ScratchPath("Contacts.ADT");
  fuzz::CopyReferenceTable(false);
  fuzz::WriteBytes(fuzz::ScratchPath("Contacts.Adi"), data, size);
  if (fuzz::Dbtool({"info", table}) != 0) return 0;
  fuzz::Dbtool({"scan", table, "ID"});
  fuzz::Dbtool({"scan", table, "NAME", "--from", "c;2", "--limit", "3"});
  fuzz::Dbtool({"verify", table});
  fuzz::Dbtool({"count", table});
  return 0;
}
