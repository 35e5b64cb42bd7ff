// An ordered list of text lines that doubles as a name=value list.
//
// Duplicates are kept. A line's name is the text before its first "=", its
// value the text after it (a line without "=" has that whole line as its name
// and an empty value). Look-ups by name or by line ignore case (ASCII and the
// ANSI letters alike) and answer the first match.
#pragma once

#include <string>
#include <vector>

class TStringList {
 public:
  TStringList() = default;

  int Count() const { return static_cast<int>(lines_.size()); }
  bool Empty() const { return lines_.empty(); }

  // The line at `index`; REQUIRES: 0 <= index < Count().
  const std::string& operator[](int index) const { return lines_.at(static_cast<size_t>(index)); }
  const std::string& Strings(int index) const { return (*this)[index]; }
  void SetString(int index, std::string line) {
    lines_.at(static_cast<size_t>(index)) = std::move(line);
  }

  // Appends a line; returns its index.
  int Add(std::string line);
  void Insert(int index, std::string line);
  void Delete(int index);
  void Clear() { lines_.clear(); }

  // Index of the first line equal to `line` ignoring case, or -1.
  int IndexOf(const std::string& line) const;

  // Index of the first line holding "=" whose name equals `name` ignoring
  // case, or -1. Lines without "=" are passed over.
  int IndexOfName(const std::string& name) const;

  // Name and value of the line at `index`.
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;

  // The value of the first line named `name`, or empty.
  std::string Values(const std::string& name) const;

  // Sets the value of the first line named `name`, appending name=value when
  // there is none; an empty value removes that line.
  void SetValue(const std::string& name, const std::string& value);

  // All lines joined, each followed by CR LF.
  std::string Text() const;

  // Replaces the lines by those of `text` (CR LF, LF or CR end a line).
  void SetText(const std::string& text);

  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

 private:
  std::vector<std::string> lines_;
};
