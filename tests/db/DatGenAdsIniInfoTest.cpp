// The engine configuration file's part of the connection entry in the log.
#include <sys/time.h>

#include <ctime>

#include <gtest/gtest.h>

#include "../common/LocaleFixture.h"
#include "db/DatGenDBConnectionDM.h"
#include "support/InstallationTree.h"

namespace {

// Sets a file's last-write time to a local date and time.
void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                       int second) {
  tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  const timeval times[2] = {{mktime(&parts), 0}, {mktime(&parts), 0}};
  ASSERT_EQ(utimes(path.c_str(), times), 0);
}

TEST(AdsIniInfo, FoundWhateverTheCaseAndDatedInTheLocaleFormat) {
  const ScopedLocale locale("dd.MM.yyyy");
  InstallationTree tree;
  const std::string file = tree.WriteFile("App/ADS.INI", "[SETTINGS]\r\nPort=6262\r\n");
  SetLocalWriteTime(file, 2024, 2, 3, 14, 5, 9);
  EXPECT_EQ(GetAdsIniInfo(), file + " 03.02.2024 14:05:09\r\n\r\n[SETTINGS]\r\nPort=6262");
}

TEST(AdsIniInfo, MissingFileIsNamed) {
  InstallationTree tree;
  EXPECT_EQ(GetAdsIniInfo(), "NO ADS " + tree.Folder("App") + "ads.ini");
}

}  // namespace
