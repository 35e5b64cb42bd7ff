#include "common/DatGenDateTime.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kMsPerDay = 86400000.0;

// Days from 0001-01-01 (proleptic Gregorian) to the given date, and back.
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long year = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(year + (m <= 2));
}

const long kEpochOffset = DaysFromCivil(1899, 12, 30);

std::string Number(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

}  // namespace

TDateTime EncodeDateTime(const platform::LocalTime& t) {
  const long days = DaysFromCivil(t.Year, t.Month, t.Day) - kEpochOffset;
  const double ms = ((t.Hour * 60.0 + t.Minute) * 60.0 + t.Second) * 1000.0 + t.Millisecond;
  // Before the epoch the fraction still counts forward from midnight.
  return days >= 0 ? days + ms / kMsPerDay : days - ms / kMsPerDay;
}

platform::LocalTime DecodeDateTime(TDateTime value) {
  const double whole = std::trunc(value);
  long days = static_cast<long>(whole);
  long long ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  if (ms >= 86400000LL) {  // rounding reached the next day
    ms -= 86400000LL;
    days += value >= 0 ? 1 : -1;
  }
  platform::LocalTime t;
  CivilFromDays(days + kEpochOffset, t.Year, t.Month, t.Day);
  t.Millisecond = static_cast<int>(ms % 1000);
  t.Second = static_cast<int>(ms / 1000 % 60);
  t.Minute = static_cast<int>(ms / 60000 % 60);
  t.Hour = static_cast<int>(ms / 3600000);
  return t;
}

TDateTime Now() {
  return EncodeDateTime(platform::NowLocal());
}

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
  return FormatDateTime(pattern, DecodeDateTime(value));
}

std::string FormatDateTime(const std::string& pattern, const platform::LocalTime& t) {
  const platform::LocaleSettings locale = platform::GetLocaleSettings();
  std::string out;
  char last_letter = 0;  // upper-cased; decides whether "m" means minutes
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    char token = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    size_t run = 1;
    while (i + run < pattern.size() &&
           std::toupper(static_cast<unsigned char>(pattern[i + run])) == token)
      ++run;
    if (token >= 'A' && token <= 'Z') {
      if (token == 'M' && last_letter == 'H') token = 'N';
      last_letter = token;
    }
    switch (token) {
      case 'D':
        out += Number(t.Day, run >= 2 ? 2 : 1);
        // Runs longer than two are taken two at a time.
        if (run > 2) run = 2;
        break;
      case 'M':
        out += Number(t.Month, run >= 2 ? 2 : 1);
        if (run > 2) run = 2;
        break;
      case 'N':
        out += Number(t.Minute, run >= 2 ? 2 : 1);
        if (run > 2) run = 2;
        break;
      case 'Y':
        out += run <= 2 ? Number(t.Year % 100, 2) : Number(t.Year, 4);
        break;
      case 'H':
        out += Number(t.Hour, run >= 2 ? 2 : 1);
        if (run > 2) run = 2;
        break;
      case 'S':
        out += Number(t.Second, run >= 2 ? 2 : 1);
        if (run > 2) run = 2;
        break;
      case 'Z':
        out += Number(t.Millisecond, run >= 3 ? 3 : 1);
        if (run > 3) run = 3;
        break;
      case '/':
        out += locale.DateSeparator;
        run = 1;
        break;
      case ':':
        out += locale.TimeSeparator;
        run = 1;
        break;
      case '\'':
      case '"': {
        const size_t close = pattern.find(c, i + 1);
        const size_t end = close == std::string::npos ? pattern.size() : close;
        out.append(pattern, i + 1, end - i - 1);
        run = (close == std::string::npos ? end : end + 1) - i;
        break;
      }
      default:
        out += c;
        run = 1;
        break;
    }
    i += run;
  }
  return out;
}
