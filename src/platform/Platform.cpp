// POSIX realisation of the platform services. See Platform.h for the contract.
#include "platform/Platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <langinfo.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {

namespace {

// Hooks that tests install. Guarded, because the freeze watchdog of the crash
// reporter may read the clock from its own thread.
std::mutex g_hook_mutex;
std::function<void(unsigned)> g_sleep_hook;
std::function<LocalTime()> g_clock_hook;
std::function<uint32_t()> g_tick_hook;
std::optional<LocaleSettings> g_locale_override;
int g_code_page = 0;  // 0: not decided yet

thread_local int t_last_error = 0;

bool Fail(int code) {
  t_last_error = code;
  return false;
}

}  // namespace

// ---------------------------------------------------------------- waits

void Sleep(unsigned ms) {
  std::function<void(unsigned)> hook;
  {
    std::lock_guard lock(g_hook_mutex);
    hook = g_sleep_hook;
  }
  if (hook) {
    hook(ms);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SetSleepHook(std::function<void(unsigned)> hook) {
  std::lock_guard lock(g_hook_mutex);
  g_sleep_hook = std::move(hook);
}

// ---------------------------------------------------------------- clocks

LocalTime NowLocal() {
  {
    std::lock_guard lock(g_hook_mutex);
    if (g_clock_hook) return g_clock_hook();
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  LocalTime t;
  t.Year = parts.tm_year + 1900;
  t.Month = parts.tm_mon + 1;
  t.Day = parts.tm_mday;
  t.Hour = parts.tm_hour;
  t.Minute = parts.tm_min;
  t.Second = parts.tm_sec > 59 ? 59 : parts.tm_sec;  // a leap second reads as :59
  t.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return t;
}

void SetClockHook(std::function<LocalTime()> hook) {
  std::lock_guard lock(g_hook_mutex);
  g_clock_hook = std::move(hook);
}

uint32_t GetTickCount() {
  {
    std::lock_guard lock(g_hook_mutex);
    if (g_tick_hook) return g_tick_hook();
  }
  timespec up{};
  if (clock_gettime(CLOCK_BOOTTIME, &up) != 0) clock_gettime(CLOCK_MONOTONIC, &up);
  const uint64_t ms =
      static_cast<uint64_t>(up.tv_sec) * 1000u + static_cast<uint64_t>(up.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SetTickCountHook(std::function<uint32_t()> hook) {
  std::lock_guard lock(g_hook_mutex);
  g_tick_hook = std::move(hook);
}

// ---------------------------------------------------------------- text and locale

namespace {

bool UserLanguageIsHebrew() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value)
      return std::strncmp(value, "he", 2) == 0 || std::strncmp(value, "iw", 2) == 0;
  }
  return false;
}

// Turns a C library date or time format ("%m/%d/%y", "%H:%M:%S") into the
// Windows picture form ("MM/dd/yy", "HH:mm:ss").
std::string PictureFromStrftime(const char* format) {
  std::string out;
  for (const char* p = format; p && *p; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0') ++p;  // modifiers
    switch (*p) {
      case 'd':
        out += "dd";
        break;
      case 'e':
        out += "d";
        break;
      case 'm':
        out += "MM";
        break;
      case 'y':
        out += "yy";
        break;
      case 'Y':
        out += "yyyy";
        break;
      case 'b':
      case 'h':
        out += "MMM";
        break;
      case 'B':
        out += "MMMM";
        break;
      case 'a':
        out += "ddd";
        break;
      case 'A':
        out += "dddd";
        break;
      case 'H':
        out += "HH";
        break;
      case 'I':
        out += "hh";
        break;
      case 'l':
        out += "h";
        break;
      case 'M':
        out += "mm";
        break;
      case 'S':
        out += "ss";
        break;
      case 'p':
      case 'P':
        out += "tt";
        break;
      case 'D':
        out += "MM/dd/yy";
        break;
      case 'T':
        out += "HH:mm:ss";
        break;
      case 'R':
        out += "HH:mm";
        break;
      case 'r':
        out += "hh:mm:ss tt";
        break;
      case 'F':
        out += "yyyy-MM-dd";
        break;
      case '%':
        out += '%';
        break;
      case '\0':
        return out;
      default:
        break;
    }
  }
  return out;
}

// The first character of a picture that is not a letter, a blank or a quote.
char FirstSeparator(const std::string& picture, char fallback) {
  for (char c : picture) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && c != ' ' && c != '\'' && c != '"') return c;
  }
  return fallback;
}

// Removes the seconds (and the separator before them) from a time picture.
std::string WithoutSeconds(std::string picture) {
  const auto pos = picture.find("ss");
  if (pos == std::string::npos) return picture;
  size_t start = pos;
  if (start > 0 && picture[start - 1] != ' ') --start;
  picture.erase(start, pos + 2 - start);
  return picture;
}

LocaleSettings SystemLocaleSettings() {
  LocaleSettings s;
  s.ShortDateFormat = PictureFromStrftime(nl_langinfo(D_FMT));
  // Windows keeps four-digit years in the short date; so do we.
  if (s.ShortDateFormat.find("yyyy") == std::string::npos) {
    const auto pos = s.ShortDateFormat.find("yy");
    if (pos != std::string::npos) s.ShortDateFormat.replace(pos, 2, "yyyy");
  }
  if (s.ShortDateFormat.empty()) s.ShortDateFormat = "MM/dd/yyyy";
  s.DateSeparator = FirstSeparator(s.ShortDateFormat, '/');
  const bool month_first = !s.ShortDateFormat.empty() && (s.ShortDateFormat[0] == 'M');
  s.LongDateFormat = month_first ? "dddd, MMMM d, yyyy" : "dddd, d MMMM yyyy";
  s.LongTimeFormat = PictureFromStrftime(nl_langinfo(T_FMT));
  if (s.LongTimeFormat.empty()) s.LongTimeFormat = "HH:mm:ss";
  s.ShortTimeFormat = WithoutSeconds(s.LongTimeFormat);
  s.TimeSeparator = FirstSeparator(s.LongTimeFormat, ':');
  s.TimeAMString = nl_langinfo(AM_STR);
  s.TimePMString = nl_langinfo(PM_STR);
  const char* radix = nl_langinfo(RADIXCHAR);
  s.DecimalSeparator = (radix && *radix) ? radix[0] : '.';
  const char* thousands = nl_langinfo(THOUSEP);
  s.ThousandSeparator = (thousands && *thousands) ? thousands[0] : ',';
  return s;
}

}  // namespace

int AnsiCodePage() {
  std::lock_guard lock(g_hook_mutex);
  if (g_code_page == 0) g_code_page = UserLanguageIsHebrew() ? 1255 : 1252;
  return g_code_page;
}

void SetAnsiCodePage(int code_page) {
  std::lock_guard lock(g_hook_mutex);
  g_code_page = code_page;
}

LocaleSettings GetLocaleSettings() {
  {
    std::lock_guard lock(g_hook_mutex);
    if (g_locale_override) return *g_locale_override;
  }
  return SystemLocaleSettings();
}

void SetLocaleSettings(const LocaleSettings& settings) {
  std::lock_guard lock(g_hook_mutex);
  g_locale_override = settings;
}

void ResetLocaleSettings() {
  std::lock_guard lock(g_hook_mutex);
  g_locale_override.reset();
}

// ---------------------------------------------------------------- last error

int GetLastError() {
  return t_last_error;
}
void SetLastError(int code) {
  t_last_error = code;
}

// ---------------------------------------------------------------- files

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return Fail(ENOENT);
  std::string current;
  size_t pos = 0;
  while (pos <= path.size()) {
    const size_t next = path.find('/', pos);
    current = path.substr(0, next == std::string::npos ? path.size() : next);
    if (!current.empty() && !DirectoryExists(current)) {
      if (mkdir(current.c_str(), 0777) != 0 && errno != EEXIST) return Fail(errno);
    }
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  return DirectoryExists(path) || Fail(ENOTDIR);
}

bool GetFileInfo(const std::string& path, FileInfo& info) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return Fail(path.empty() ? ENOENT : errno);
  info.Size = static_cast<uint64_t>(st.st_size);
  info.IsDirectory = S_ISDIR(st.st_mode);
  info.ReadOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  tm parts{};
  localtime_r(&st.st_mtim.tv_sec, &parts);
  info.LastWrite.Year = parts.tm_year + 1900;
  info.LastWrite.Month = parts.tm_mon + 1;
  info.LastWrite.Day = parts.tm_mday;
  info.LastWrite.Hour = parts.tm_hour;
  info.LastWrite.Minute = parts.tm_min;
  info.LastWrite.Second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
  info.LastWrite.Millisecond = static_cast<int>(st.st_mtim.tv_nsec / 1000000);
  return true;
}

bool SetReadOnly(const std::string& path, bool read_only) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Fail(errno);
  mode_t mode = st.st_mode & 07777;
  if (read_only) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
    if (mode & S_IRGRP) mode |= S_IWGRP;
    if (mode & S_IROTH) mode |= S_IWOTH;
  }
  if (chmod(path.c_str(), mode) != 0) return Fail(errno);
  return true;
}

namespace {

bool SameAsciiNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

std::string FindFileIgnoringCase(const std::string& path) {
  struct stat st {};
  if (path.empty()) return {};
  if (lstat(path.c_str(), &st) == 0) return path;
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return {};
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {};
  std::string best;
  while (dirent* entry = readdir(dir)) {
    if (SameAsciiNoCase(name, entry->d_name) && (best.empty() || best > entry->d_name))
      best = entry->d_name;
  }
  closedir(dir);
  if (best.empty()) return {};
  return slash == std::string::npos ? best : path.substr(0, slash + 1) + best;
}

bool LockFile(int fd, LockKind kind) {
  struct flock fl {};
  fl.l_type = kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;  // the whole file, however long it grows
  if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
  return Fail((errno == EAGAIN || errno == EACCES) ? EBUSY : errno);
}

void UnlockFile(int fd) {
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fcntl(fd, F_OFD_SETLK, &fl);
}

bool IsFileInUse(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;  // conflicts with any lock, shared or exclusive
  fl.l_whence = SEEK_SET;
  // Our fresh description holds no lock, so any lock reported belongs to
  // another description: another process, or another open in this one.
  const bool in_use = fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  close(fd);
  return in_use;
}

bool DeleteFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return Fail(errno);
  if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
  if (S_ISREG(st.st_mode) && IsFileInUse(path)) return Fail(EBUSY);
  // A read-only file cannot be deleted on Windows; keep that rule so the
  // forced delete's "clear read-only, then retry" step means the same here.
  if (S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Fail(EACCES);
  if (unlink(path.c_str()) != 0) return Fail(errno);
  return true;
}

bool MoveFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (lstat(from.c_str(), &st) != 0) return Fail(errno);
  if (S_ISREG(st.st_mode) && IsFileInUse(from)) return Fail(EBUSY);
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return Fail(errno);
  // File systems without RENAME_NOREPLACE: check, then rename.
  struct stat target {};
  if (lstat(to.c_str(), &target) == 0) return Fail(EEXIST);
  if (rename(from.c_str(), to.c_str()) != 0) return Fail(errno);
  return true;
}

namespace {

// Opens an existing file first and creates it only when it is missing, so
// `existed` is exact even when another process creates it meanwhile. -1 with
// errno set on failure.
int OpenForWriting(const std::string& path, int mode_flags, bool& existed) {
  existed = true;
  // A read-only file cannot be written on Windows, whoever the user; the
  // superuser would write it here regardless of its permission bits.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;
    return -1;
  }
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | mode_flags);
  if (fd < 0 && errno == ENOENT) {
    existed = false;
    fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_CREAT | O_EXCL | mode_flags, 0666);
    if (fd < 0 && errno == EEXIST) {
      existed = true;
      fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | mode_flags);
    }
  }
  return fd;
}

// Writes all of `data`; false with errno set on failure.
bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteToFile(const std::string& path, const std::string& data, WriteMode mode, bool* existed) {
  if (path.empty()) return Fail(ENOENT);
  bool was_there = false;
  const int fd = OpenForWriting(path, mode == WriteMode::Append ? O_APPEND : O_TRUNC, was_there);
  if (fd < 0) return Fail(errno);
  if (existed) *existed = was_there;
  if (!WriteAll(fd, data)) {
    const int code = errno;
    close(fd);
    return Fail(code);
  }
  if (close(fd) != 0) return Fail(errno);
  return true;
}

bool AppendFile::Open(const std::string& path, bool& existed) {
  Close();
  if (path.empty()) return Fail(ENOENT);
  fd_ = OpenForWriting(path, O_APPEND, existed);
  return fd_ >= 0 || Fail(errno);
}

bool AppendFile::Append(const std::string& data) {
  if (fd_ < 0) return Fail(EBADF);
  return WriteAll(fd_, data) || Fail(errno);
}

bool AppendFile::Close() {
  if (fd_ < 0) return true;
  const int result = close(fd_);
  fd_ = -1;
  return result == 0 || Fail(errno);
}

// ---------------------------------------------------------------- process and system

std::string ExecutableFileName() {
  char buffer[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ModuleFileNameOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::string name = info.dli_fname;
  if (name.empty() || name[0] != '/') {
    // The main program reports itself by argv[0]; give its full name instead.
    char resolved[PATH_MAX + 1];
    if (realpath(name.c_str(), resolved)) return resolved;
    return ExecutableFileName();
  }
  return name;
}

std::string UserName() {
  struct passwd pw {};
  struct passwd* found = nullptr;
  char buffer[512 * 4];
  if (getpwuid_r(geteuid(), &pw, buffer, sizeof buffer, &found) == 0 && found)
    return found->pw_name;
  const char* env = std::getenv("USER");
  return env ? env : "";
}

std::string ComputerName() {
  char buffer[512];
  if (gethostname(buffer, sizeof buffer) != 0) return {};
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

OsVersion GetOsVersion() {
  OsVersion v;
  struct utsname names {};
  if (uname(&names) != 0) return v;
  // Kernel release "6.1.0-18-amd64": major, minor, then the patch level as
  // the build number.
  std::sscanf(names.release, "%d.%d.%d", &v.Major, &v.Minor, &v.Build);
  v.ServicePack = names.version;
  return v;
}

uint64_t CurrentThreadId() {
  return static_cast<uint64_t>(syscall(SYS_gettid));
}

uint64_t MainThreadId() {
  return static_cast<uint64_t>(getpid());
}

bool InRemoteControlSession() {
  for (const char* name : {"SSH_CONNECTION", "SSH_CLIENT", "SSH_TTY", "XRDP_SESSION"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace platform
