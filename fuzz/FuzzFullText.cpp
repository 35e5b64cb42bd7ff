// A full-text tag: the first line of the input holds the words searched,
// the rest is the index file beside the reference table (the seeds hold a
// full-text tag FTS); the tag is searched and checked.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzTables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string table = fuzz::ScratchPath("Contacts.ADT");
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t line_end = input.find('\n');
  const std::string words = line_end == std::string::npos ? input : input.substr(0, line_end);
  const std::string file = line_end == std::string::npos ? "" : input.substr(line_end + 1);
  fuzz::CopyReferenceTable(false);
  fuzz::WriteText(fuzz::ScratchPath("Contacts.Adi"), file);

  std::vector<std::string> args = {"search", table, "FTS"};
  std::istringstream split(words);
  for (std::string word; split >> word && args.size() < 20;) args.push_back(word);
  if (args.size() == 3) args.push_back("apple");
  fuzz::Dbtool(args);
  fuzz::Dbtool({"verify", table});
  return 0;
}
