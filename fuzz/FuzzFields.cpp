// The fields extractor: the first two bytes are the quote and separator
// characters, the rest one record; every field reported must lie within it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/DatGenFieldsExtractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string record(reinterpret_cast<const char*>(data) + 2, size - 2);
  TFieldsExtractor extractor;
  extractor.SetDelimiters(std::string(1, static_cast<char>(data[0])),
                          std::string(1, static_cast<char>(data[1])));
  int last = 0;
  extractor.SetFieldCallback([&](TFieldsExtractor&, int number, const std::string& text) {
    if (number != last + 1 || text.size() > record.size())
      std::abort();  // fields in order, from the record
    last = number;
  });
  extractor.ExtractFieldsFromRec(record);
  return 0;
}
