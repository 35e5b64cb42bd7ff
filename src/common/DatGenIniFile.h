// TIniFile: reads a Windows-style INI file the way the private-profile
// functions do. The file is read once, when the object is made; a missing or
// unreadable file reads as empty. Bytes are taken as they stand (no code-page
// conversion).
//
// The rules:
// - Lines end with CR LF, LF or CR. A UTF-8 byte-order mark at the very start
//   of the file is skipped.
// - Blanks (any character of code 32 or below) around a line, a section name,
//   a key and a value are ignored.
// - A line whose first character is "[" and that holds a "]" opens a section
//   named by the text between them; text after the "]" is ignored. A "[" line
//   without "]" is ignored.
// - A line whose first character is ";" is a comment and ignored.
// - Any other line holding "=" is an entry: the key is the text before the
//   first "=", the value the text after it (further "=" belong to the value).
//   A line without "=" is not an entry and is ignored.
// - Lines before the first section belong to no section and are never read.
// - Section names and keys are compared without regard to case.
// - A section name that occurs again later in the file does not open a new
//   section: the first occurrence is the section and the lines under the
//   repeated header are ignored. ReadSections lists each section once.
// - Within a section, ReadString and ReadInteger take the first entry with
//   the key; ReadSectionValues and ReadSection give every entry, repeated keys
//   included, in file order.
// - ReadString removes one pair of quotes (" or ') enclosing the whole value;
//   ReadSectionValues gives values exactly as written.
//
// Loading and every lookup take time in proportion to the size of the file
// and of the name looked up, however many sections and keys it holds: names
// are found through a table keyed by a case-blind form of the name, and only
// the names under the same form are compared by the rules above.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class TStringList;

class TIniFile {
 public:
  explicit TIniFile(const std::string& FileName);

  const std::string& FileName() const { return file_name_; }

  // The three list reads replace the list's lines.

  // All section names, in file order.
  void ReadSections(TStringList& Sections) const;

  // The keys of a section, in file order.
  void ReadSection(const std::string& Section, TStringList& Keys) const;

  // The entries of a section, in file order, each as key "=" value.
  void ReadSectionValues(const std::string& Section, TStringList& Lines) const;

  bool SectionExists(const std::string& Section) const;
  bool ValueExists(const std::string& Section, const std::string& Key) const;

  // The value of a key, `Default` when the section or the key is missing. A
  // key present with an empty value gives an empty text.
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;

  // The value read as a whole number (decimal, or hexadecimal after "0x");
  // `Default` when it is missing or not a number.
  int ReadInteger(const std::string& Section, const std::string& Key, int Default) const;

  // How many section names and keys every TIniFile of the process has compared
  // so far, loading and looking up: the measure of the work done per name.
  static std::uint64_t NameComparisons();

 private:
  // Positions of the names sharing one case-blind form, in file order.
  using NameTable = std::unordered_map<std::string, std::vector<size_t>>;

  struct Section {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Entries;  // key, value as written (trimmed)
    NameTable Keys;                                            // positions in Entries
  };

  const Section* FindSection(const std::string& name) const;
  const std::string* FindValue(const std::string& section, const std::string& key) const;

  std::string file_name_;
  std::vector<Section> sections_;
  NameTable section_names_;  // positions in sections_
};
