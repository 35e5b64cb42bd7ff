#include <gtest/gtest.h>

#include "common/DatGenFilesFunctions.h"
#include "support/TempDir.h"

#ifndef RI_PROJECT_VERSION
#error "the test needs the project version (RI_PROJECT_VERSION)"
#endif

namespace {

// A small ELF file built byte by byte: an ELF header, a note region, one
// PT_NOTE program header and a section table (a null section and one
// SHT_NOTE section), in either class and byte order.
struct ElfSpec {
  bool Is64 = true;
  bool BigEndian = false;
  bool Sections = true;
  bool Segments = true;
  unsigned Align = 4;
  bool OtherNoteFirst = false;  // a GNU-style note before ours
  std::string NoteName = "FileVersion";
  uint32_t NoteType = 1;
};

class ElfBytes {
 public:
  ElfBytes(bool big_endian) : big_(big_endian) {}

  void Put(size_t at, uint64_t value, size_t width) {
    if (bytes_.size() < at + width) bytes_.resize(at + width);
    for (size_t i = 0; i < width; ++i) {
      const size_t shift = 8 * (big_ ? width - 1 - i : i);
      bytes_[at + i] = static_cast<char>((value >> shift) & 0xFF);
    }
  }

  void PutText(size_t at, const std::string& text) {
    if (bytes_.size() < at + text.size()) bytes_.resize(at + text.size());
    bytes_.replace(at, text.size(), text);
  }

  size_t Size() const { return bytes_.size(); }
  void PadTo(size_t align) { bytes_.resize((bytes_.size() + align - 1) / align * align); }
  const std::string& Text() const { return bytes_; }

  // Appends a note; returns its offset.
  size_t AddNote(const std::string& name, uint32_t type, const std::string& desc, size_t align) {
    PadTo(align);
    const size_t at = Size();
    Put(at, name.size() + 1, 4);
    Put(at + 4, desc.size(), 4);
    Put(at + 8, type, 4);
    PutText(at + 12, name + '\0');
    PadTo(align);
    PutText(Size(), desc);
    PadTo(align);
    return at;
  }

 private:
  bool big_;
  std::string bytes_;
};

struct BuiltElf {
  std::string Bytes;
  size_t NoteOffset = 0;    // our note
  size_t SectionTable = 0;  // offset of the section headers
  size_t SegmentTable = 0;  // offset of the program headers
};

BuiltElf BuildElf(const ElfSpec& spec, uint32_t ms, uint32_t ls) {
  ElfBytes elf(spec.BigEndian);
  const size_t header = spec.Is64 ? 64 : 52;
  const size_t word = spec.Is64 ? 8 : 4;
  elf.PutText(0, std::string("\x7F"
                             "ELF",
                             4));
  elf.Put(4, spec.Is64 ? 2 : 1, 1);
  elf.Put(5, spec.BigEndian ? 2 : 1, 1);
  elf.Put(6, 1, 1);
  elf.Put(16, 2, 2);   // executable
  elf.Put(18, 62, 2);  // machine
  elf.Put(20, 1, 4);
  elf.Put(header - 1, 0, 1);

  ElfBytes desc_words(spec.BigEndian);
  desc_words.Put(0, ms, 4);
  desc_words.Put(4, ls, 4);
  const size_t notes_at = (elf.Size() + 7) / 8 * 8;
  elf.PadTo(8);
  if (spec.OtherNoteFirst) elf.AddNote("GNU", 5, std::string(12, '\x01'), spec.Align);
  BuiltElf built;
  built.NoteOffset = elf.AddNote(spec.NoteName, spec.NoteType, desc_words.Text(), spec.Align);
  const size_t notes_size = elf.Size() - notes_at;

  elf.PadTo(8);
  built.SegmentTable = elf.Size();
  const size_t ph_size = spec.Is64 ? 56 : 32;
  if (spec.Segments) {
    const size_t p = built.SegmentTable;
    elf.Put(p, 4, 4);  // PT_NOTE
    elf.Put(p + (spec.Is64 ? 8 : 4), notes_at, word);
    elf.Put(p + (spec.Is64 ? 32 : 16), notes_size, word);
    elf.Put(p + (spec.Is64 ? 48 : 28), spec.Align, word);
    elf.Put(p + ph_size - 1, 0, 1);
  }
  built.SectionTable = elf.Size();
  const size_t sh_size = spec.Is64 ? 64 : 40;
  if (spec.Sections) {
    const size_t s = built.SectionTable + sh_size;  // entry 0 is the null section
    elf.Put(built.SectionTable + sh_size - 1, 0, 1);
    elf.Put(s + 4, 7, 4);  // SHT_NOTE
    elf.Put(s + (spec.Is64 ? 24 : 16), notes_at, word);
    elf.Put(s + (spec.Is64 ? 32 : 20), notes_size, word);
    elf.Put(s + (spec.Is64 ? 48 : 32), spec.Align, word);
    elf.Put(s + sh_size - 1, 0, 1);
  }
  // Table positions and sizes in the ELF header.
  elf.Put(spec.Is64 ? 32 : 28, spec.Segments ? built.SegmentTable : 0, word);
  elf.Put(spec.Is64 ? 40 : 32, spec.Sections ? built.SectionTable : 0, word);
  elf.Put(spec.Is64 ? 52 : 40, header, 2);
  elf.Put(spec.Is64 ? 54 : 42, ph_size, 2);
  elf.Put(spec.Is64 ? 56 : 44, spec.Segments ? 1 : 0, 2);
  elf.Put(spec.Is64 ? 58 : 46, sh_size, 2);
  elf.Put(spec.Is64 ? 60 : 48, spec.Sections ? 2 : 0, 2);
  built.Bytes = elf.Text();
  return built;
}

constexpr uint32_t kMs = (3u << 16) | 1u;   // 3.1
constexpr uint32_t kLs = (0u << 16) | 12u;  // 0.12

void ExpectVersion(const TFileVerInfo& info, int major, int minor, int release, int build,
                   const std::string& what) {
  EXPECT_EQ(info.Major, major) << what;
  EXPECT_EQ(info.Minor, minor) << what;
  EXPECT_EQ(info.Release, release) << what;
  EXPECT_EQ(info.Build, build) << what;
  EXPECT_EQ(info.VersionText, std::to_string(major) + "." + std::to_string(minor) + "." +
                                  std::to_string(release) + "." + std::to_string(build))
      << what;
}

TEST(FileVersion, ThisTestProgramCarriesTheProjectVersion) {
  const TFileVerInfo info = GetFileVerInfo(platform::ExecutableFileName());
  EXPECT_EQ(info.VersionText, RI_PROJECT_VERSION);
  EXPECT_FALSE(IsFileVerInfoEmpty(info));
}

TEST(FileVersion, FilesWithoutTheNoteGiveZeros) {
  TempDir dir;
  ElfSpec foreign;
  foreign.NoteName = "GNU";
  ElfSpec other_type;
  other_type.NoteType = 3;
  for (const std::string& path :
       {dir / "missing", dir.Path(), dir.WriteFile("empty", ""),
        dir.WriteFile("text.txt", "just some text, not an executable\n"),
        dir.WriteFile("foreign-note", BuildElf(foreign, kMs, kLs).Bytes),
        dir.WriteFile("other-type", BuildElf(other_type, kMs, kLs).Bytes)}) {
    const TFileVerInfo info = GetFileVerInfo(path);
    ExpectVersion(info, 0, 0, 0, 0, path);
    EXPECT_TRUE(IsFileVerInfoEmpty(info));
  }
}

TEST(FileVersion, NoteIsFoundInEitherClassByteOrderAndTable) {
  TempDir dir;
  struct Case {
    std::string what;
    ElfSpec spec;
  };
  for (const Case& c : std::vector<Case>{
           {"64-bit little-endian", ElfSpec{}},
           {"32-bit big-endian", ElfSpec{false, true}},
           {"32-bit little-endian, segments only", ElfSpec{false, false, false, true}},
           {"64-bit big-endian, sections only", ElfSpec{true, true, true, false}},
           {"8-aligned region after another note", ElfSpec{true, false, true, true, 8, true}},
       }) {
    const std::string path = dir.WriteFile("prog", BuildElf(c.spec, kMs, kLs).Bytes);
    ExpectVersion(GetFileVerInfo(path), 3, 1, 0, 12, c.what);
  }
}

// Every prefix of a good file, and files whose header fields point outside
// the file or claim absurd sizes: each gives zeros or the right numbers,
// never a read outside the file (the sanitizer build checks that).
TEST(FileVersion, TruncatedOrCorruptFilesNeverReadOutsideTheFile) {
  TempDir dir;
  const BuiltElf good = BuildElf(ElfSpec{}, kMs, kLs);
  for (size_t length = 0; length < good.Bytes.size(); ++length) {
    const TFileVerInfo info = GetFileVerInfo(dir.WriteFile("cut", good.Bytes.substr(0, length)));
    EXPECT_TRUE(IsFileVerInfoEmpty(info) || info.VersionText == "3.1.0.12") << length;
  }

  struct Patch {
    std::string what;
    size_t at;
    uint64_t value;
    size_t width;
    bool still_found;  // through the other table
  };
  const size_t section = good.SectionTable + 64;
  for (const Patch& p : std::vector<Patch>{
           {"section table far away", 40, ~0ull, 8, true},
           {"program table far away", 32, ~0ull, 8, true},
           {"huge section count", 60, 0xFFFF, 2, true},
           {"tiny section entries", 58, 1, 2, true},
           {"section beyond the end", section + 24, 1ull << 40, 8, true},
           {"section size huge", section + 32, ~0ull, 8, true},
           {"section size wraps the offset", section + 32, ~0ull - 100, 8, true},
           {"name size huge", good.NoteOffset, 0xFFFFFFFF, 4, false},
           {"descriptor size huge", good.NoteOffset + 4, 0xFFFFFFF0, 4, false},
           {"descriptor too short", good.NoteOffset + 4, 4, 4, false},
           {"not ELF", 1, 'X', 1, false},
           {"unknown class", 4, 9, 1, false},
       }) {
    ElfBytes patched(false);
    patched.PutText(0, good.Bytes);
    patched.Put(p.at, p.value, p.width);
    const TFileVerInfo info = GetFileVerInfo(dir.WriteFile("patched", patched.Text()));
    if (p.still_found) {
      ExpectVersion(info, 3, 1, 0, 12, p.what);
    } else {
      ExpectVersion(info, 0, 0, 0, 0, p.what);
    }
  }
}

TEST(FileVersion, HighAndLowWordsAreSplitAndClearEmptiesTheText) {
  TempDir dir;
  const std::string path =
      dir.WriteFile("prog", BuildElf(ElfSpec{}, 0xFFFF0000u, 0x0001FFFEu).Bytes);
  TFileVerInfo info = GetFileVerInfo(path);
  ExpectVersion(info, 65535, 0, 1, 65534, "words");
  ClearFileVerInfo(info);
  EXPECT_TRUE(IsFileVerInfoEmpty(info));
  EXPECT_EQ(info.VersionText, "");
}

}  // namespace
