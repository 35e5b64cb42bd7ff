// Conversion between the system's ANSI text (windows-1252, or windows-1255
// when the program runs in Hebrew; see platform::AnsiCodePage) and UTF-8, for
// the boundary where text meets widgets, the clipboard or the terminal.
#pragma once

#include <string>

// Every byte maps to one character, so ANSI text always converts.
std::string AnsiToUtf8(const std::string& ansi);

// Characters the code page lacks become "?"; malformed UTF-8 does too.
std::string Utf8ToAnsi(const std::string& utf8);
