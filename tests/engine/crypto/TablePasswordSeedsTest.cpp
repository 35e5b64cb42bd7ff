// The default table passwords: made at run time, and not to be found whole
// in the engine library that makes them.
#include <gtest/gtest.h>

#include <string>

#include "engine/crypto/TablePasswordSeeds.h"
#include "platform/Platform.h"
#include "support/TempDir.h"

namespace {

TEST(TablePasswordSeeds, PasswordsAreMadeTheSameEveryTime) {
  const std::string cworkers = engine::DefaultCWorkersPassword();
  const std::string syspm = engine::DefaultSysPMPassword();
  EXPECT_GE(cworkers.size(), 8u);
  EXPECT_EQ(syspm.size(), 20u);
  EXPECT_NE(cworkers, syspm);
  EXPECT_EQ(engine::DefaultCWorkersPassword(), cworkers);
  EXPECT_EQ(engine::DefaultSysPMPassword(), syspm);
  for (const char c : cworkers)
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << cworkers;
  for (const char c : syspm) EXPECT_TRUE(c >= ' ' && c <= '~') << syspm;
}

TEST(TablePasswordSeeds, NeitherPasswordStandsWholeInTheLibrary) {
  const std::string library =
      platform::ModuleFileNameOf(reinterpret_cast<const void*>(&engine::DefaultSysPMPassword));
  ASSERT_FALSE(library.empty());
  const std::string bytes = TempDir::ReadFile(library);
  ASSERT_GT(bytes.size(), 100000u) << library;
  EXPECT_EQ(bytes.find(engine::DefaultCWorkersPassword()), std::string::npos) << library;
  EXPECT_EQ(bytes.find(engine::DefaultSysPMPassword()), std::string::npos) << library;
}

}  // namespace
