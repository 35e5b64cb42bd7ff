// Pins the locale settings and the code page for one test, so results never
// depend on the machine's own locale.
#pragma once

#include "platform/Platform.h"

class ScopedLocale {
 public:
  explicit ScopedLocale(const std::string& short_date = "dd/MM/yyyy", char date_sep = '/',
                        char time_sep = ':', int code_page = 1252) {
    platform::LocaleSettings s;
    s.ShortDateFormat = short_date;
    s.LongDateFormat = "dddd, d MMMM yyyy";
    s.LongTimeFormat = "HH:mm:ss";
    s.ShortTimeFormat = "HH:mm";
    s.TimeAMString = "AM";
    s.TimePMString = "PM";
    s.DateSeparator = date_sep;
    s.TimeSeparator = time_sep;
    platform::SetLocaleSettings(s);
    previous_code_page_ = platform::AnsiCodePage();
    platform::SetAnsiCodePage(code_page);
  }
  ~ScopedLocale() {
    platform::ResetLocaleSettings();
    platform::SetAnsiCodePage(previous_code_page_);
  }

 private:
  int previous_code_page_ = 1252;
};
