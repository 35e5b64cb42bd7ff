// The server's address and path worked out from a connect path: UNC paths,
// paths on mounted network shares (a mount table of the test's own) and
// local folders; the host look-up and its bounded wait.
#include <filesystem>
#include <future>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ConnectionFixture.h"
#include "db/DatGenServerAddress.h"
#include "platform/HostLookup.h"
#include "platform/MountTable.h"
#include "platform/Platform.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ServerAddressTest : public ConnectionFixture {
 protected:
  ~ServerAddressTest() override {
    platform::SetHostResolverHook(nullptr);
    platform::SetHostLookupTimeout(0);
    platform::SetMountTableFile("");
  }

  // Fails the test if the resolver is asked at all.
  void ForbidLookUps() {
    platform::SetHostResolverHook([](const std::string& host, platform::IPv4Address&) {
      ADD_FAILURE() << "looked up " << host;
      return false;
    });
  }
};

TEST_F(ServerAddressTest, UncPathWithNumericHostIsNotLookedUp) {
  ForbidLookUps();
  const TServerAddress server = GetServerAddress("\\\\10.0.0.7\\Data\\DB");
  EXPECT_EQ(server.Address, "10.0.0.7");
  EXPECT_EQ(server.ServerPath, "\\Data\\DB");
  const std::string exe = platform::ExecutableFileName();
  EXPECT_EQ(server.Diagnostic,
            "Gen:" + exe +
                "\r\nPath:\\\\10.0.0.7\\Data\\DB\r\nExtrDrv:\\\\10.0.0.7\\Data\r\n"
                "ExtrUnc:10.0.0.7\r\nIsUnc:IsIPPath:10.0.0.7\r\n"
                "xvPath:\\Data\\DB\r\nxxx:10.0.0.7\r\n");
}

TEST_F(ServerAddressTest, UncPathWithNameIsResolvedBySystem) {
  const TServerAddress server = GetServerAddress("\\\\localhost\\Data\\DB");
  EXPECT_EQ(server.Address, "127.0.0.1");
  EXPECT_EQ(server.ServerPath, "\\Data\\DB");
  EXPECT_THAT(server.Diagnostic, HasSubstr("IsUnc:GetHostIp:xvPath:\\Data\\DB\r\nxxx:127.0.0.1"));
}

TEST_F(ServerAddressTest, NameThatDoesNotResolveGivesNoAddressAndF2) {
  const TServerAddress server = GetServerAddress("\\\\nohost.invalid\\Data\\DB");
  EXPECT_EQ(server.Address, "");
  EXPECT_EQ(server.ServerPath, "\\Data\\DB");
  EXPECT_THAT(Log(), HasSubstr("GetHostIp-F2"));
  EXPECT_THAT(Log(), HasSubstr("nohost.invalid 0"));
}

TEST_F(ServerAddressTest, LocalDiskGivesLoopbackAndNoServerPath) {
  ForbidLookUps();
  const TServerAddress server = GetServerAddress(Tree / "DB");
  EXPECT_EQ(server.Address, "127.0.0.1");
  EXPECT_EQ(server.ServerPath, "");
  EXPECT_THAT(server.Diagnostic, HasSubstr("DriveType:3\r\nxxx:127.0.0.1\r\n"));
  EXPECT_THAT(server.Diagnostic, Not(HasSubstr("net:")));
  // A drive this system does not have: no root, and the same answer.
  const TServerAddress missing = GetServerAddress("R:\\DB");
  EXPECT_EQ(missing.Address, "127.0.0.1");
  EXPECT_THAT(missing.Diagnostic, HasSubstr("ExtrDrv:R:\r\nExtrUnc:\r\nDriveType:1\r\n"));
}

TEST_F(ServerAddressTest, MountedShareTakesItsUncFormFromTheMountTable) {
  const std::string root = std::filesystem::canonical(Tree.Root()).string();
  TempDir mounts;
  mounts.WriteFile(
      "mountinfo",
      "36 25 0:52 / " + root + " rw,relatime shared:1 - cifs //localhost/Data rw,vers=3.1.1\n");
  platform::SetMountTableFile(mounts / "mountinfo");
  const std::string path = root + "/DB";
  const TServerAddress server = GetServerAddress(path);
  EXPECT_EQ(server.Address, "127.0.0.1");
  EXPECT_EQ(server.ServerPath, "\\Data\\DB");
  EXPECT_THAT(server.Diagnostic,
              HasSubstr("ExtrDrv:" + root + "\r\nExtrUnc:\r\nDriveType:4\r\n1:net:" + path +
                        "\r\n2:net:\\\\localhost\\Data\\DB\r\n3:net:localhost\r\n"
                        "xvPath:\\Data\\DB\r\nxxx:127.0.0.1\r\n"));
}

TEST_F(ServerAddressTest, DriveParts) {
  EXPECT_EQ(ExtractDrivePart("R:\\DB"), "R:");
  EXPECT_EQ(ExtractDrivePart("\\\\SRV\\Data\\DB"), "\\\\SRV\\Data");
  EXPECT_EQ(ExtractDrivePart("\\\\SRV\\Data"), "\\\\SRV\\Data");
  EXPECT_EQ(ExtractDrivePart("\\\\SRV"), "\\\\SRV");
  EXPECT_EQ(ExtractDrivePart("DB"), "");
  EXPECT_FALSE(ExtractDrivePart("/tmp").empty());
}

TEST_F(ServerAddressTest, HostIpIsDottedDecimalOfTheFirstAddress) {
  platform::SetHostResolverHook([](const std::string&, platform::IPv4Address& address) {
    address = {192, 168, 1, 5};
    return true;
  });
  EXPECT_EQ(GetHostIp("srv"), "192.168.1.5");
}

TEST_F(ServerAddressTest, ResolverThatDoesNotAnswerIsGivenUpAfterTheBound) {
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  platform::SetHostResolverHook([released](const std::string&, platform::IPv4Address& address) {
    released.wait();
    address = {10, 1, 2, 3};
    return true;
  });
  platform::SetHostLookupTimeout(50);
  EXPECT_EQ(GetHostIp("slow.example"), "");
  EXPECT_THAT(Log(), HasSubstr("slow.example 0"));
  release->set_value();  // the resolver's thread ends on its own
}

TEST_F(ServerAddressTest, InvalidDomainIsNeverAskedOfTheResolver) {
  ForbidLookUps();
  platform::IPv4Address address{};
  for (const char* name : {"nohost.invalid", "NOHOST.INVALID.", "invalid", ""})
    EXPECT_FALSE(platform::LookupHostIPv4(name, address)) << name;
}

}  // namespace
