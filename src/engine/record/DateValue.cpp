#include "engine/record/DateValue.h"

#include <cstdio>

namespace engine {

namespace {

constexpr int64_t kJulianDayOfUnixEpoch = 2440588;  // 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date (the era arithmetic
// below counts 400-year cycles from 0000-03-01, so leap days fall at the end
// of each counted year).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

int32_t DayNumberFromCivil(int year, int month, int day) {
  return static_cast<int32_t>(DaysFromCivil(year, month, day) + kJulianDayOfUnixEpoch);
}

CivilDate CivilFromDayNumber(int32_t day_number) {
  const int64_t z = static_cast<int64_t>(day_number) - kJulianDayOfUnixEpoch + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  return CivilDate{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

std::optional<int32_t> ParseIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  int parts[3] = {0, 0, 0};
  const int starts[3] = {0, 5, 8};
  const int lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < lengths[p]; ++i) {
      const char c = text[starts[p] + i];
      if (c < '0' || c > '9') return std::nullopt;
      parts[p] = parts[p] * 10 + (c - '0');
    }
  }
  const int y = parts[0], m = parts[1], d = parts[2];
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
  return DayNumberFromCivil(y, m, d);
}

void AppendIsoDate(std::string& out, int32_t day_number) {
  const CivilDate c = CivilFromDayNumber(day_number);
  if (c.Year >= 1 && c.Year <= 9999) {
    char buf[10] = {static_cast<char>('0' + c.Year / 1000),
                    static_cast<char>('0' + c.Year / 100 % 10),
                    static_cast<char>('0' + c.Year / 10 % 10),
                    static_cast<char>('0' + c.Year % 10),
                    '-',
                    static_cast<char>('0' + c.Month / 10),
                    static_cast<char>('0' + c.Month % 10),
                    '-',
                    static_cast<char>('0' + c.Day / 10),
                    static_cast<char>('0' + c.Day % 10)};
    out.append(buf, 10);
    return;
  }
  char buf[40];
  const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.Year, c.Month, c.Day);
  out.append(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string FormatIsoDate(int32_t day_number) {
  std::string out;
  AppendIsoDate(out, day_number);
  return out;
}

}  // namespace engine
