// Writes the engine's character table ("Ansi.chr", for windows-1252) and its
// settings file ("adslocal.cfg", the defaults) into the folder given as the
// only argument. The build runs it so that both files sit beside ace32.dll.
#include <cstdio>
#include <string>

#include "engine/env/EngineConfig.h"
#include "engine/util/CharTable.h"
#include "engine/util/StagedFile.h"

namespace {

// Written beside under NAME.new-PID-N, so that a build stopped halfway
// leaves the old file or the new one.
constexpr engine::StagedNaming kNewFile{".new-", "", true, 0};

engine::Status WriteWhole(const std::string& path, const std::string& bytes) {
  engine::RemoveStaleStaged(path, kNewFile).status().PermitUncheckedError();  // leftovers only
  auto file = engine::CreateStaged(path, kNewFile);
  if (!file) return file.status();
  engine::Status status = file->WriteAt(0, bytes.data(), bytes.size());
  if (status) status = engine::PutStagedInPlace(*file, path, /*replace=*/true, kNewFile);
  if (!status && file->Path() != path) std::remove(file->Path().c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  engine::Status status =
      WriteWhole(folder + "/Ansi.chr", engine::SerializeCharTable(engine::DefaultCharTable()));
  if (status) {
    status =
        WriteWhole(folder + "/" + engine::kEngineConfigFileName, engine::DefaultEngineConfigText());
  }
  if (!status) {
    std::fprintf(stderr, "cannot write the engine files into %s: %s\n", folder.c_str(),
                 status.Message().c_str());
    return 1;
  }
  return 0;
}
