// What the fuzz targets share: a scratch folder of the process and the
// files in it rewritten with each input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// A folder of this process under the system's temporary folder, made on
// first use and removed when the process ends.
const std::string& ScratchFolder();

// A new folder under the system's temporary folder whose name starts with
// `prefix`, removed when the process ends.
std::string MakeFolder(const char* prefix);

// ScratchFolder() + "/" + name.
std::string ScratchPath(const std::string& name);

// Writes `size` bytes to `path`, replacing what was there.
void WriteBytes(const std::string& path, const uint8_t* data, size_t size);
void WriteText(const std::string& path, std::string_view text);

}  // namespace fuzz
