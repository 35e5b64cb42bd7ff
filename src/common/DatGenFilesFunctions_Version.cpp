// GetFileVerInfo: the four version numbers of a program, read from the ELF
// note that cmake/VersionNote.cmake writes into every executable we build.
//
// The note sits in the section ".note.file-version" (type SHT_NOTE, inside a
// PT_NOTE segment of the loaded image). Words are in the file's byte order:
//
//   OFFSET  SIZE  DESCRIPTION
//   0       4     name size: 12 ("FileVersion" and its NUL)
//   4       4     descriptor size: 8
//   8       4     note type: 1 (file version)
//   12      12    "FileVersion\0"
//   24      4     most significant double word:  Major << 16 | Minor
//   28      4     least significant double word: Release << 16 | Build
//
// The reader walks the section headers for SHT_NOTE sections, then the
// program headers for PT_NOTE segments (all that a stripped image may keep);
// within each it walks the notes (the descriptor and the next note each
// start at the region's alignment, 4 or 8). Every offset and size read from the file
// is checked against the file's length before it is used, so a truncated,
// corrupt or foreign file gives zeros and never a read outside the file.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/DatGenFilesFunctions.h"

namespace {

constexpr uint32_t kShtNote = 7;
constexpr uint32_t kPtNote = 4;
constexpr uint32_t kNoteTypeFileVersion = 1;
constexpr char kNoteName[] = "FileVersion";    // with its NUL: 12 bytes
constexpr uint64_t kMaxNoteRegion = 1u << 20;  // notes are small; a bigger region is not ours
constexpr uint32_t kMaxHeaders = 4096;

// A file read at offsets, every read checked against the file's length.
class BoundedFile {
 public:
  explicit BoundedFile(const std::string& name) : in_(name, std::ios::binary) {
    if (!in_) return;
    in_.seekg(0, std::ios::end);
    const std::streamoff end = in_.tellg();
    if (end > 0) size_ = static_cast<uint64_t>(end);
  }

  uint64_t Size() const { return size_; }

  // Reads `count` bytes at `offset`; false when they are not all inside the file.
  bool Read(uint64_t offset, uint64_t count, std::vector<unsigned char>& out) {
    if (offset > size_ || count > size_ - offset) return false;
    out.resize(static_cast<size_t>(count));
    if (count == 0) return true;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
    return static_cast<uint64_t>(in_.gcount()) == count;
  }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
};

// Little- or big-endian unsigned numbers out of a byte buffer; the caller has
// checked that the bytes are there.
struct Endian {
  bool Big = false;

  uint64_t Get(const std::vector<unsigned char>& bytes, size_t at, size_t width) const {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      const size_t index = Big ? at + i : at + width - 1 - i;
      value = (value << 8) | bytes[index];
    }
    return value;
  }
};

// Where one header table's fields sit, for the file's class (32 or 64 bit).
struct ElfLayout {
  bool Is64 = false;
  // ELF header
  size_t PhOff, ShOff, WordSize, PhEntSize, PhNum, ShEntSize, ShNum, HeaderSize;
  // section header: type, offset, size, alignment
  size_t ShType, ShOffset, ShSize, ShAlign, ShMinEntry;
  // program header: type, offset, size in file, alignment
  size_t PType, POffset, PFileSize, PAlign, PMinEntry;
};

constexpr ElfLayout kElf32{false, 28, 32, 4,  42, 44, 46, 48, 52, 4,
                           16,    20, 32, 40, 0,  4,  16, 28, 32};
constexpr ElfLayout kElf64{true, 32, 40, 8,  54, 56, 58, 60, 64, 4,
                           24,   32, 48, 64, 0,  8,  32, 48, 56};

struct Region {
  uint64_t Offset = 0;
  uint64_t Size = 0;
  uint64_t Align = 4;
};

uint64_t PadTo(uint64_t value, uint64_t align) {
  return (value + align - 1) / align * align;
}

// Looks for our note among the notes of one region; true with the two double
// words when found.
bool FindVersionNote(BoundedFile& file, const Endian& endian, const Region& region, uint32_t& ms,
                     uint32_t& ls) {
  if (region.Size == 0 || region.Size > kMaxNoteRegion) return false;
  std::vector<unsigned char> notes;
  if (!file.Read(region.Offset, region.Size, notes)) return false;
  const uint64_t align = region.Align == 8 ? 8 : 4;
  uint64_t at = 0;
  while (at + 12 <= notes.size()) {
    const uint64_t name_size = endian.Get(notes, static_cast<size_t>(at), 4);
    const uint64_t desc_size = endian.Get(notes, static_cast<size_t>(at) + 4, 4);
    const uint64_t type = endian.Get(notes, static_cast<size_t>(at) + 8, 4);
    const uint64_t name_at = at + 12;
    const uint64_t desc_at = PadTo(name_at + name_size, align);
    const uint64_t next = PadTo(desc_at + desc_size, align);
    if (desc_at > notes.size() || desc_size > notes.size() - desc_at)
      return false;  // runs past the region
    if (type == kNoteTypeFileVersion && name_size == sizeof kNoteName && desc_size >= 8 &&
        std::memcmp(notes.data() + name_at, kNoteName, sizeof kNoteName) == 0) {
      ms = static_cast<uint32_t>(endian.Get(notes, static_cast<size_t>(desc_at), 4));
      ls = static_cast<uint32_t>(endian.Get(notes, static_cast<size_t>(desc_at) + 4, 4));
      return true;
    }
    at = next;
  }
  return false;
}

// The note regions a header table lists: SHT_NOTE sections or PT_NOTE
// segments.
std::vector<Region> NoteRegions(BoundedFile& file, const Endian& endian, const ElfLayout& layout,
                                const std::vector<unsigned char>& header, bool sections) {
  std::vector<Region> regions;
  const uint64_t table =
      endian.Get(header, sections ? layout.ShOff : layout.PhOff, layout.WordSize);
  const uint64_t entry_size = endian.Get(header, sections ? layout.ShEntSize : layout.PhEntSize, 2);
  const uint64_t count = endian.Get(header, sections ? layout.ShNum : layout.PhNum, 2);
  const uint64_t min_entry = sections ? layout.ShMinEntry : layout.PMinEntry;
  if (table == 0 || table >= file.Size() || count == 0 || count > kMaxHeaders ||
      entry_size < min_entry) {
    return regions;
  }
  std::vector<unsigned char> entry;
  for (uint64_t i = 0; i < count; ++i) {
    if (!file.Read(table + i * entry_size, entry_size, entry)) break;
    const uint64_t type = endian.Get(entry, sections ? layout.ShType : layout.PType, 4);
    if (type != (sections ? kShtNote : kPtNote)) continue;
    Region region;
    region.Offset = endian.Get(entry, sections ? layout.ShOffset : layout.POffset, layout.WordSize);
    region.Size = endian.Get(entry, sections ? layout.ShSize : layout.PFileSize, layout.WordSize);
    region.Align = endian.Get(entry, sections ? layout.ShAlign : layout.PAlign, layout.WordSize);
    regions.push_back(region);
  }
  return regions;
}

bool ReadVersionNote(const std::string& file_name, uint32_t& ms, uint32_t& ls) {
  BoundedFile file(file_name);
  std::vector<unsigned char> ident;
  if (!file.Read(0, 16, ident)) return false;
  if (ident[0] != 0x7F || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F') return false;
  if ((ident[4] != 1 && ident[4] != 2) || (ident[5] != 1 && ident[5] != 2)) return false;
  const ElfLayout& layout = ident[4] == 2 ? kElf64 : kElf32;
  const Endian endian{ident[5] == 2};
  std::vector<unsigned char> header;
  if (!file.Read(0, layout.HeaderSize, header)) return false;
  for (bool sections : {true, false}) {
    for (const Region& region : NoteRegions(file, endian, layout, header, sections)) {
      if (FindVersionNote(file, endian, region, ms, ls)) return true;
    }
  }
  return false;
}

}  // namespace

TFileVerInfo GetFileVerInfo(const std::string& FileName) {
  TFileVerInfo info;
  try {
    uint32_t ms = 0, ls = 0;
    if (ReadVersionNote(FileName, ms, ls)) {
      info.Major = static_cast<int32_t>(ms >> 16);
      info.Minor = static_cast<int32_t>(ms & 0xFFFF);
      info.Release = static_cast<int32_t>(ls >> 16);
      info.Build = static_cast<int32_t>(ls & 0xFFFF);
    }
  } catch (...) {
    // Reading the version is best effort: any failure leaves the zeros.
  }
  info.VersionText = std::to_string(info.Major) + "." + std::to_string(info.Minor) + "." +
                     std::to_string(info.Release) + "." + std::to_string(info.Build);
  return info;
}
