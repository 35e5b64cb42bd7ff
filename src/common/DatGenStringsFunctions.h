// Small shared services on texts: yes/no texts, the date pattern of file
// names, token cutting, replacing, URL escaping and name=value look-ups, plus
// the case rules of the system's ANSI code page that they all rest on.
#pragma once

#include <string>
#include <vector>

class TStringList;

// ---------------------------------------------------------------- case and trimming

// Upper and lower case by the ANSI code page in use (windows-1252 maps the
// accented Latin letters too; other code pages only A..Z).
char AnsiUpperChar(char c);
std::string AnsiUpperCase(std::string text);
std::string AnsiLowerCase(std::string text);

// Equal ignoring case, by the same rules.
bool SameText(const std::string& a, const std::string& b);
bool StartsText(const std::string& prefix, const std::string& text);
bool ContainsText(const std::string& text, const std::string& part);

// Without leading and/or trailing blanks (every character of code 32 or below).
std::string Trim(const std::string& text);
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);

// The lines of a text: CR LF, LF or CR end a line; a line end at the very end
// adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);

// A whole number written in decimal (an optional sign, then digits, no
// blanks), within the 32-bit signed range; `fallback` for anything else.
int StrToIntDef(const std::string& text, int fallback);
std::string IntToStr(long long value);

// ---------------------------------------------------------------- yes/no and dates

// "Y" for true, "N" for false.
std::string BoolToYN(bool value);

// True when the text, upper-cased, is "Y" or "TRUE"; false for anything else.
bool YNToBool(const std::string& text);

// The date pattern of time-stamped file names, in the day/month order of the
// system's short date format ("ddmmyyyy" or "mmddyyyy"), with "-hhmmss" after
// it when `with_time`.
std::string GetFileDatePattern(bool with_time);

// ---------------------------------------------------------------- tokens and replacing

// Cuts the text before the first `delimiter` out of `source`, delimiter and
// all, and returns it; without a delimiter returns the whole source and leaves
// it empty.
std::string CutToken(std::string& source, const std::string& delimiter);

// CutToken, blanks trimmed, read as a whole number; `fallback` when it is not.
int CutTokenInt(std::string& source, const std::string& delimiter, int fallback);

// Every occurrence of `find`, left to right, case-sensitive; an empty `find`
// changes nothing.
std::string ReplaceAllCase(const std::string& text, const std::string& find,
                           const std::string& replacement);

// Flags of ReplaceText.
inline constexpr int rfReplaceAll = 1;
inline constexpr int rfIgnoreCase = 2;

// Replaces the first occurrence of `find`, or every one with rfReplaceAll;
// rfIgnoreCase compares upper-cased copies.
std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, int flags);

// The text after the first occurrence of `marker` (case-sensitive); empty when
// the marker does not occur.
std::string TextAfter(const std::string& text, const std::string& marker);

// Escapes a text for a web address: a run of CR, LF and tab characters
// becomes one space, and the characters of the escape set (the space among
// them) become "%" and two upper-case hex digits.
std::string EncodeUrl(const std::string& text);

// ---------------------------------------------------------------- name=value lists

// Looks `name` up in a name=value list ignoring case; on success gives the
// value and the line index, else an empty value and -1.
bool GetListValue(const TStringList& list, const std::string& name, std::string& value, int& index);

// key + "=" + value.
std::string MakeKeyValue(const std::string& key, const std::string& value);
