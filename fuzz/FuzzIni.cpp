// The INI reader (settings, index definition, stop-marker files): any bytes
// as a file, every section and key read back.
#include <cstdint>

#include "FuzzSupport.h"
#include "common/DatGenIniFile.h"
#include "common/TStringList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzz::ScratchPath("fuzz.ini");
  fuzz::WriteBytes(path, data, size);
  const TIniFile ini(path);
  TStringList sections;
  ini.ReadSections(sections);
  for (const std::string& section : sections) {
    TStringList keys;
    TStringList lines;
    ini.ReadSection(section, keys);
    ini.ReadSectionValues(section, lines);
    for (const std::string& key : keys) {
      ini.ReadString(section, key, "");
      ini.ReadInteger(section, key, 0);
      ini.ValueExists(section, key);
    }
    ini.SectionExists(section);
  }
  ini.ReadString("DATABASE", "Path", "");
  return 0;
}
