#include "common/TStringList.h"

#include "common/DatGenStringsFunctions.h"

int TStringList::Add(std::string line) {
  lines_.push_back(std::move(line));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string line) {
  lines_.insert(lines_.begin() + index, std::move(line));
}

void TStringList::Delete(int index) {
  lines_.erase(lines_.begin() + index);
}

int TStringList::IndexOf(const std::string& line) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(lines_[static_cast<size_t>(i)], line)) return i;
  }
  return -1;
}

int TStringList::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    // A line without "=" holds no name=value pair: it never answers for a
    // name, so a bare "Port" line cannot hide a later "Port=6262".
    if (lines_[static_cast<size_t>(i)].find('=') == std::string::npos) continue;
    if (SameText(Names(i), name)) return i;
  }
  return -1;
}

std::string TStringList::Names(int index) const {
  const std::string& line = (*this)[index];
  const auto eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = (*this)[index];
  const auto eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

std::string TStringList::Values(const std::string& name) const {
  const int index = IndexOfName(name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStringList::SetValue(const std::string& name, const std::string& value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
  } else if (index >= 0) {
    SetString(index, name + "=" + value);
  } else {
    Add(name + "=" + value);
  }
}

std::string TStringList::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TStringList::SetText(const std::string& text) {
  lines_ = SplitLines(text);
}
