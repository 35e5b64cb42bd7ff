// Small file-system services every subsystem shares: folder texts with and
// without a trailing delimiter, the running module's name, file dates, sizes
// and version numbers, whole-file reads, a forced delete, a conditional move
// for log rotation, and the tests on UNC paths.
//
// None of these raises to its caller: failures give a neutral result (0, an
// empty text, false, nothing done).
//
// The folder functions use the system's delimiter (platform::PathDelim). The
// UNC helpers stay textual on the backslash form ("\\host\share\...") on every
// system, because the connection paths they look at are written that way.
#pragma once

#include <cstdint>
#include <string>

#include "common/DatGenDateTime.h"
#include "platform/Platform.h"

// ---------------------------------------------------------------- constants

inline constexpr char PathDelim = platform::PathDelim;
inline constexpr char ExtDelim = '.';

// The characters a file name may not hold.
inline constexpr const char* kInvalidFileChars = "\"*/:<>?\\|";

// ---------------------------------------------------------------- path texts

// `Path` with a delimiter appended when it is not empty and does not end with
// one.
std::string IncludeBackslash(const std::string& Path);

// `Path` without its last character when that is a delimiter.
std::string ExcludeBackslash(const std::string& Path);

// Folder + delimiter + Name when the folder is not empty and does not end with
// a delimiter, else Folder + Name. Nothing is stripped from Name.
std::string JoinPath(const std::string& Folder, const std::string& Name);

// The folder part of a file name, with its trailing delimiter ("" when the
// name has no folder), and the name without its folder.
std::string ExtractFilePath(const std::string& FileName);
std::string ExtractFileName(const std::string& FileName);

// The extension of the file-name part, with its dot ("" when there is none; a
// dot in a folder name does not count), and the name without it.
std::string ExtractFileExt(const std::string& FileName);
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);

// `Text` with every character of kInvalidFileChars removed.
std::string RemoveInvalidFileChars(const std::string& Text);

// ---------------------------------------------------------------- looking files up

// True when a directory search for `NameOrPattern` finds any kind of entry.
// The file-name part may hold the wildcards "*" and "?", which match without
// regard to case.
bool FileFound(const std::string& NameOrPattern);

// The name under which a file (not a folder) exists: `FileName` itself, else
// the entry of its folder whose name equals the file name ignoring case.
// Empty when there is none. Well-known files, tables and index files are
// looked up this way.
std::string LocateFile(const std::string& FileName);

// Creating a folder with every missing parent, and testing that one exists.
bool ForceFolder(const std::string& Path);
bool FolderExists(const std::string& Path);

// ---------------------------------------------------------------- file facts

// The last-write date and time of a file, 0 when there is no such file (a
// folder included) or its date cannot be read.
TDateTime GetFileDateTime(const std::string& FileName);

// The size a directory search reports, as 32-bit signed: the low 32 bits of
// the real size, so a file of 2 GiB or more gives a negative number. 0 when
// nothing is found and for a folder.
int32_t GetFileSizeByName(const std::string& FileName);

// Sets or clears the read-only state of a file (its write permission bits).
// Nothing is done for a folder or a missing name; failures are ignored.
void SetFileReadOnly(const std::string& FileName, bool ReadOnly);

// ---------------------------------------------------------------- versions

// A file's version: four numbers and their text "Major.Minor.Release.Build".
struct TFileVerInfo {
  int32_t Major = 0;    // high word of the most significant double word
  int32_t Minor = 0;    // low word of the most significant double word
  int32_t Release = 0;  // high word of the least significant double word
  int32_t Build = 0;    // low word of the least significant double word
  std::string VersionText;
};

// Reads the version note our build writes into every executable (see
// cmake/VersionNote.cmake) from any ELF file. Zeros, and the text "0.0.0.0",
// for a file without the note, a file that is not ELF, or one that cannot be
// read.
TFileVerInfo GetFileVerInfo(const std::string& FileName);

// True when the four numbers are all 0.
bool IsFileVerInfoEmpty(const TFileVerInfo& Info);

// Sets the four numbers to 0 and the text to empty.
void ClearFileVerInfo(TFileVerInfo& Info);

// ---------------------------------------------------------------- reading, writing, moving

// The file's lines (CR LF, LF or CR end a line) joined with CR LF, none after
// the last; empty on any failure.
std::string ReadTextFileToString(const std::string& FileName);

// Writes `Text` to the file, creating or overwriting it, no line end added.
// 0 on success, else the system's error code.
int WriteTextToFile(const std::string& FileName, const std::string& Text);

// The name with "-" and the current local time formatted by `Pattern`
// (FormatDateTime letters) put before its extension:
// MakeTimeStampedFileName("Report.txt", "ddmmyyy_hhmmss") at 14:05:09 on
// 3 April 2020 gives "Report-03042020_140509.txt".
std::string MakeTimeStampedFileName(const std::string& FileName, const std::string& Pattern);

// Moves `Source` to `Target` when GetFileSizeByName(Source) is at least
// `MinSize`; the outcome is not reported.
void MoveFileIfSizeAtLeast(const std::string& Source, const std::string& Target, int32_t MinSize);

// Makes a file disappear from its name, trying each step once:
//   1. delete it;
//   2. a missing file gives false;
//   3. clear its read-only state and delete it again;
//   4. move it aside to MakeTimeStampedFileName(FileName, "ddmmyyy_hhmmss").
// True when the file is gone from its name (deleted or moved aside).
bool DeleteFileForce(const std::string& FileName);

// ---------------------------------------------------------------- the running module

// The full file name of the module holding this code; for our programs that
// is the executable. Asked once, then kept for the run.
std::string GetModuleName();

// True when the module's file name has the extension ".DLL", ignoring case.
bool IsModuleDll();

// Prefix + (for a DLL: the module's name without folder and extension, "_") +
// the executable's name without folder and extension + Suffix.
std::string MakeModuleFileName(const std::string& Prefix, const std::string& Suffix);

// Makes `FileName` the module's file name for the rest of the run, or, with
// an empty text, asks the system again at the next use. For programs that
// work on behalf of an installation's executable, and for tests that place
// the program inside a temporary installation.
void OverrideModuleName(const std::string& FileName);

// ---------------------------------------------------------------- UNC paths (backslash form)

// The path begins with two backslashes.
bool IsUNCPath(const std::string& Path);

// The host of a UNC path: from its third character up to the next backslash
// (or the end); empty for any other path.
std::string GetUNCHost(const std::string& Path);

// A UNC path whose host is four dotted whole numbers, the first at least 1
// and the others at least 0 (no upper bound).
bool IsUNCPathWithIP(const std::string& Path);

// "\\" + Host + ":" + Port, a backslash when that does not end with one, then
// Path.
std::string MakeServerPath(const std::string& Host, const std::string& Port,
                           const std::string& Path);
