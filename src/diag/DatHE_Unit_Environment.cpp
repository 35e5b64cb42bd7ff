// The environment block of the activity log: written once per process, with
// the first full entry, so that every run's record says where it ran. Its
// lines, joined with CR LF:
//
//    FirstWrite ddmmyyyy_hhmmss OS:<platform id> <major> <minor> <build> <service pack>  <user>
//    <computer>
//   (empty)
//   TC: <days> <hours>:<minutes>:<seconds>(<milliseconds>) <raw tick count>
//   <the program's full file name>
//   <the database folder>
//   (empty)
//    Sys Vlx
//   then ten lines, each a space and one of the user's locale settings: long
//   date format, short date format, long time format, short time format, AM
//   designator, PM designator, date separator, time separator, thousands
//   separator, decimal separator.
//
// The first line begins and ends with a space, and so does " Sys Vlx ". The
// writer puts an empty line before and after the block. A value the system
// cannot give is written as an empty text.
#include <cstdio>
#include <iterator>

#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"

std::string TickCountText(uint32_t TickCount) {
  const uint32_t days = TickCount / 86400000u;
  const uint32_t hours = TickCount / 3600000u % 24u;
  const uint32_t minutes = TickCount / 60000u % 60u;
  const uint32_t seconds = TickCount / 1000u % 60u;
  const uint32_t milliseconds = TickCount % 1000u;
  char text[96];
  std::snprintf(text, sizeof text, "TC: %u %u:%u:%u(%u) %u", days, hours, minutes, seconds,
                milliseconds, TickCount);
  return text;
}

std::string GetUserNameText() {
  return platform::UserName();
}

std::string GetComputerNameText() {
  return platform::ComputerName();
}

std::string THandleExceptions::BuildEnvironmentText() {
  if (FirstWriteText.empty())
    FirstWriteText = " FirstWrite " + FormatDateTime("ddmmyyyy_hhmmss", Now()) + " ";

  const platform::OsVersion os = platform::GetOsVersion();
  const std::string os_text = std::to_string(os.PlatformId) + " " + std::to_string(os.Major) + " " +
                              std::to_string(os.Minor) + " " + std::to_string(os.Build) + " " +
                              os.ServicePack + " ";
  const platform::LocaleSettings locale = platform::GetLocaleSettings();

  const std::string lines[] = {
      FirstWriteText + "OS:" + os_text + " " + GetUserNameText() + " " + GetComputerNameText() +
          " ",
      "",
      TickCountText(platform::GetTickCount()),
      GetModuleName(),
      GetDBPath(),
      "",
      " Sys Vlx ",
      " " + locale.LongDateFormat,
      " " + locale.ShortDateFormat,
      " " + locale.LongTimeFormat,
      " " + locale.ShortTimeFormat,
      " " + locale.TimeAMString,
      " " + locale.TimePMString,
      std::string(" ") + locale.DateSeparator,
      std::string(" ") + locale.TimeSeparator,
      std::string(" ") + locale.ThousandSeparator,
      std::string(" ") + locale.DecimalSeparator,
  };
  std::string block = lines[0];
  for (size_t i = 1; i < std::size(lines); ++i) block += "\r\n" + lines[i];
  return block;
}
