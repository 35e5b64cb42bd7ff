// Dates as day numbers: the Julian day number of a day of the proleptic
// Gregorian calendar (2000-01-01 is 2451545). Day numbers order as the dates
// do, so a date key part is just the number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

struct CivilDate {
  int Year = 1;
  int Month = 1;  // 1..12
  int Day = 1;    // 1..31
};

int32_t DayNumberFromCivil(int year, int month, int day);
CivilDate CivilFromDayNumber(int32_t day_number);

// "YYYY-MM-DD" with a real day of the years 0001..9999; nothing else.
std::optional<int32_t> ParseIsoDate(std::string_view text);

// The "YYYY-MM-DD" form. A day number outside the years 0001..9999 (only a
// damaged file holds one) is written with as many year digits as it needs.
std::string FormatIsoDate(int32_t day_number);
void AppendIsoDate(std::string& out, int32_t day_number);

}  // namespace engine
