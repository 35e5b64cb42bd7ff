// Writes the engine's character table ("Ansi.chr", for windows-1252) and its
// settings file ("adslocal.cfg", the defaults) into the folder given as the
// only argument. The build runs it so that both files sit beside ace32.dll.
#include <cstdio>
#include <fstream>
#include <string>

#include "engine/env/EngineConfig.h"
#include "engine/util/CharTable.h"

namespace {

bool WriteWhole(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  if (!WriteWhole(folder + "/Ansi.chr", engine::SerializeCharTable(engine::DefaultCharTable())) ||
      !WriteWhole(folder + "/" + engine::kEngineConfigFileName,
                  engine::DefaultEngineConfigText())) {
    std::perror(("cannot write the engine files into " + folder).c_str());
    return 1;
  }
  return 0;
}
