#include "common/DatGenIniFile.h"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "common/DatGenStringsFunctions.h"
#include "common/TStringList.h"

namespace {

std::atomic<std::uint64_t> g_name_comparisons{0};

// The form a name is filed under: ASCII letters in capitals and every byte
// from 128 up as one byte. Two names equal by SameText, under any code page,
// have the same form (the code page's case pairs all lie above 127), so the
// names under one form are the only ones that can match.
std::string NameForm(const std::string& name) {
  std::string form = name;
  for (char& c : form) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 'a' && byte <= 'z') {
      c = static_cast<char>(byte - 32);
    } else if (byte >= 0x80) {
      c = static_cast<char>(0x80);
    }
  }
  return form;
}

bool SameName(const std::string& a, const std::string& b) {
  g_name_comparisons.fetch_add(1, std::memory_order_relaxed);
  return SameText(a, b);
}

// The first of the names filed under the form of `name` that equals it, or
// -1; `at` gives the name at a position.
template <typename NameAt>
long FindName(const std::unordered_map<std::string, std::vector<size_t>>& table,
              const std::string& name, NameAt at) {
  const auto found = table.find(NameForm(name));
  if (found == table.end()) return -1;
  for (const size_t position : found->second) {
    if (SameName(at(position), name)) return static_cast<long>(position);
  }
  return -1;
}

}  // namespace

std::uint64_t TIniFile::NameComparisons() {
  return g_name_comparisons.load(std::memory_order_relaxed);
}

TIniFile::TIniFile(const std::string& FileName) : file_name_(FileName) {
  std::string content;
  try {
    std::ifstream in(FileName, std::ios::binary);
    if (in) content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (...) {
    content.clear();  // an unreadable file reads as an empty one
  }
  if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);

  Section* current = nullptr;  // none before the first header, or under a repeated one
  for (const std::string& raw : SplitLines(content)) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      if (close == std::string::npos) continue;
      const std::string name = Trim(line.substr(1, close - 1));
      if (FindSection(name)) {
        current = nullptr;
      } else {
        section_names_[NameForm(name)].push_back(sections_.size());
        sections_.push_back(Section{name, {}, {}});
        current = &sections_.back();
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos || current == nullptr) continue;
    std::string key = Trim(line.substr(0, equals));
    current->Keys[NameForm(key)].push_back(current->Entries.size());
    current->Entries.emplace_back(std::move(key), Trim(line.substr(equals + 1)));
  }
}

const TIniFile::Section* TIniFile::FindSection(const std::string& name) const {
  const long position = FindName(
      section_names_, name, [this](size_t at) -> const std::string& { return sections_[at].Name; });
  return position < 0 ? nullptr : &sections_[static_cast<size_t>(position)];
}

const std::string* TIniFile::FindValue(const std::string& section, const std::string& key) const {
  const Section* found = FindSection(section);
  if (!found) return nullptr;
  const long position = FindName(found->Keys, key, [found](size_t at) -> const std::string& {
    return found->Entries[at].first;
  });
  return position < 0 ? nullptr : &found->Entries[static_cast<size_t>(position)].second;
}

void TIniFile::ReadSections(TStringList& Sections) const {
  Sections.Clear();
  for (const Section& section : sections_) Sections.Add(section.Name);
}

void TIniFile::ReadSection(const std::string& Section, TStringList& Keys) const {
  Keys.Clear();
  if (const auto* found = FindSection(Section)) {
    for (const auto& entry : found->Entries) Keys.Add(entry.first);
  }
}

void TIniFile::ReadSectionValues(const std::string& Section, TStringList& Lines) const {
  Lines.Clear();
  if (const auto* found = FindSection(Section)) {
    for (const auto& [key, value] : found->Entries) Lines.Add(key + "=" + value);
  }
}

bool TIniFile::SectionExists(const std::string& Section) const {
  return FindSection(Section) != nullptr;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Key) const {
  return FindValue(Section, Key) != nullptr;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key,
                                 const std::string& Default) const {
  const std::string* value = FindValue(Section, Key);
  if (!value) return Default;
  const std::string& text = *value;
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

int TIniFile::ReadInteger(const std::string& Section, const std::string& Key, int Default) const {
  const std::string text = Trim(ReadString(Section, Key, ""));
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    long long value = 0;
    for (size_t i = 2; i < text.size(); ++i) {
      const char c = text[i];
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return Default;
      }
      value = value * 16 + digit;
      if (value > 0xFFFFFFFFLL) return Default;
    }
    return static_cast<int>(static_cast<uint32_t>(value));
  }
  return StrToIntDef(text, Default);
}
