// The operating-system services the rest of the program uses, in one place.
//
// Everything above this layer talks to the system through these functions, so
// the program's Windows habits (a backslash delimiter, files in use that cannot
// be deleted, a last error code per thread, fixed waits) have one POSIX
// realisation here, and tests can replace the few that touch time.
//
// Text is bytes: every std::string here holds the system's single-byte ANSI
// text or a file-system path, never UTF-16.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// ---------------------------------------------------------------- paths

// The delimiter between folders on this system.
#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// ---------------------------------------------------------------- waits

// Blocks the calling thread for `ms` milliseconds, unless a test has installed
// a hook, in which case the hook is called instead and nothing waits.
void Sleep(unsigned ms);

// Replaces Sleep for the whole process; an empty hook restores real waiting.
void SetSleepHook(std::function<void(unsigned ms)> hook);

// ---------------------------------------------------------------- clocks

// Local wall-clock time broken into its parts (Month 1..12, Day 1..31).
struct LocalTime {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// The current local time, or what the clock hook answers.
LocalTime NowLocal();

// Replaces the wall clock for the whole process; an empty hook restores it.
void SetClockHook(std::function<LocalTime()> hook);

// Milliseconds since the system started, wrapped to 32 bits like the Windows
// tick count (so it restarts at zero after about 49.7 days).
uint32_t GetTickCount();

// Replaces the tick count; an empty hook restores it.
void SetTickCountHook(std::function<uint32_t()> hook);

// ---------------------------------------------------------------- text and locale

// The single-byte ANSI code page the program's text is in: 1252 by default,
// 1255 when the user's language is Hebrew.
int AnsiCodePage();
void SetAnsiCodePage(int code_page);

// The user's locale settings in the Windows picture format ("dd/MM/yyyy",
// "HH:mm:ss"), read from the C library's locale data.
struct LocaleSettings {
  std::string LongDateFormat;
  std::string ShortDateFormat;
  std::string LongTimeFormat;
  std::string ShortTimeFormat;
  std::string TimeAMString;
  std::string TimePMString;
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
};

// The settings in force: the system's, or those a test set.
LocaleSettings GetLocaleSettings();

// Makes `settings` the process's locale settings (tests; a program running in
// a chosen language). ResetLocaleSettings goes back to the system's.
void SetLocaleSettings(const LocaleSettings& settings);
void ResetLocaleSettings();

// ---------------------------------------------------------------- last error

// The error code of the last failed platform call on this thread (an errno
// value; a file in use is EBUSY). Calls that succeed leave it alone.
int GetLastError();
void SetLastError(int code);

// ---------------------------------------------------------------- files

// Whether a file (any kind of entry but a folder) or a folder exists.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates a folder and every missing parent; true when it exists afterwards.
bool ForceDirectories(const std::string& path);

// Size, last-write time and kind of a directory entry.
struct FileInfo {
  uint64_t Size = 0;
  LocalTime LastWrite;  // local time
  bool IsDirectory = false;
  bool ReadOnly = false;  // no write permission bit set
};

// Fills `info` for `path`; false (last error set) when it does not exist or
// cannot be read.
bool GetFileInfo(const std::string& path, FileInfo& info);

// Sets or clears the read-only state: the write permission bits (those of the
// owner, and of group and others where read permission is granted).
bool SetReadOnly(const std::string& path, bool read_only);

// Finds a file as a Windows program would: `path` itself when it exists,
// else the one entry of its folder whose name equals the file name ignoring
// the case of ASCII letters (the first in name order when there are several).
// Empty when there is none.
std::string FindFileIgnoringCase(const std::string& path);

// The OS lock the engine holds on every table and index file it opens: an
// open-file-description lock (fcntl OFD) over the whole file. A shared lock
// admits other shared locks; an exclusive one admits nothing. Descriptions
// conflict even inside one process, so two opens of the same file in this
// process exclude each other as two programs would.
enum class LockKind { Shared, Exclusive };

// Takes the lock on `fd` without waiting; false (last error EBUSY) when
// another open description holds a conflicting lock. An exclusive lock needs
// `fd` opened for writing.
bool LockFile(int fd, LockKind kind);

// Drops the lock taken on `fd` (closing the descriptor drops it too).
void UnlockFile(int fd);

// True when another open description holds any lock on the file, so that
// Windows would refuse to delete or move it as a file in use.
bool IsFileInUse(const std::string& path);

// Deletes a file. Refuses a folder, and a file in use (last error EBUSY);
// false with the last error set on any failure.
bool DeleteFile(const std::string& path);

// Moves (renames) a file. Fails when the target exists (EEXIST) or the source
// is in use (EBUSY), as the Windows move does.
bool MoveFile(const std::string& from, const std::string& to);

// How WriteToFile treats an existing file.
enum class WriteMode { Replace, Append };

// Writes `data` to a file, creating the file when it is missing: Replace
// empties an existing file first, Append adds at its end. The data goes in
// one write call (a regular file takes it whole), so appenders in other
// processes never split it. `existed`, when given, tells whether the file was
// there before. False (last error set) when the file cannot be opened or not
// all of `data` was written; a read-only file (no write permission bit) is
// refused with EACCES whoever the user, as on Windows.
bool WriteToFile(const std::string& path, const std::string& data, WriteMode mode,
                 bool* existed = nullptr);

// A file held open for appending, for a writer that must know whether the
// file existed before it decides what to write. Closed at the latest when
// the object goes.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens `path` for appending, creating it when missing; `existed` tells
  // whether it was there. False (last error set) when it cannot be opened.
  bool Open(const std::string& path, bool& existed);

  // Appends `data` in one write call; false (last error set) on failure.
  bool Append(const std::string& data);

  // Closes the file; false (last error set) when the system reports a
  // failure on closing.
  bool Close();

 private:
  int fd_ = -1;
};

// ---------------------------------------------------------------- process and system

// Full file name of the running executable.
std::string ExecutableFileName();

// Full file name of the executable or shared library holding `address`;
// empty when the system cannot tell.
std::string ModuleFileNameOf(const void* address);

// The user the process runs as, and this computer's name; empty when the
// system cannot give them.
std::string UserName();
std::string ComputerName();

// The operating system's version numbers in the Windows picture: platform id
// (2 for an NT-style system, which is what every system here reports), major,
// minor and build number from the kernel release, and a service-pack text
// (the kernel's version string).
struct OsVersion {
  int PlatformId = 2;
  int Major = 0;
  int Minor = 0;
  int Build = 0;
  std::string ServicePack;
};
OsVersion GetOsVersion();

// Thread ids as the kernel numbers them. MainThreadId is the process id, the
// id of the thread that started the process.
uint64_t CurrentThreadId();
uint64_t MainThreadId();

// True when the process runs inside a remote-control session: an SSH login or
// a remote desktop session, told from the environment.
bool InRemoteControlSession();

}  // namespace platform
