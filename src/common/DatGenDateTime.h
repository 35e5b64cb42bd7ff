// Date-time values and their formatting with the system's picture letters.
//
// A TDateTime is the platform's 8-byte date-time value: days since
// 30 December 1899 with the time of day as the fraction, local time.
#pragma once

#include <string>

#include "platform/Platform.h"

using TDateTime = double;

// Builds the value for a local time (its parts must be a valid date).
TDateTime EncodeDateTime(const platform::LocalTime& t);

// Splits a value into its parts; the inverse of EncodeDateTime to the
// millisecond.
platform::LocalTime DecodeDateTime(TDateTime value);

// The current local time (the platform clock, which tests may replace).
TDateTime Now();

// Formats `value` with a picture of pattern letters:
//   d dd         day without / with leading zero
//   m mm         month, or minutes when the last letter before was an hour
//   n nn         minutes
//   yy           two-digit year; yyy and longer: the four-digit year
//   h hh         hour 0..23
//   s ss         seconds
//   z zzz        milliseconds (zzz: three digits)
//   /  :         the system's date and time separators
//   '..' ".."    quoted text copied as it stands
// Any other character is copied. Letters are taken without case.
std::string FormatDateTime(const std::string& pattern, TDateTime value);
std::string FormatDateTime(const std::string& pattern, const platform::LocalTime& t);
