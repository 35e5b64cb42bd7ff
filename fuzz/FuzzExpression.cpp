// Filters and index expressions: the text as a filter of the reference
// table (lexer, parser, compiler and evaluator over every record), then as
// the expression of a new index tag (parsed, keys built and checked).
#include <cstdint>
#include <string>

#include "FuzzTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static const std::string table = fuzz::ScratchPath("Contacts.ADT");
  fuzz::CopyReferenceTable(true);
  fuzz::Dbtool({"count", table, "--filter", text});
  fuzz::Dbtool({"dump", table, "--filter", text, "--deleted"});
  if (fuzz::Dbtool({"index", table, "X", text}) == 0) fuzz::Dbtool({"verify", table});
  return 0;
}
