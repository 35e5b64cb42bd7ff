// Paths on mounted network shares in their UNC form, from a mount table in
// the format of /proc/self/mountinfo.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/MountTable.h"
#include "support/TempDir.h"

namespace {

TEST(MountTable, PathsOnNetworkSharesTakeTheirUncForm) {
  TempDir dir;
  dir.WriteFile("mountinfo",
                "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                "40 22 0:50 / /mnt/crm rw,relatime shared:2 - cifs //srv/Data rw,vers=3.1.1\n"
                "41 40 0:51 / /mnt/crm/local rw,relatime shared:3 - ext4 /dev/sdb1 rw\n"
                "42 22 0:52 / /mnt/nfs\\040share rw - nfs4 10.0.0.7:/export/crm rw\n"
                "43 22 0:53 / /mnt/sub rw - smb3 //srv/Data/Sub/ rw\n");
  platform::SetMountTableFile(dir / "mountinfo");
  struct Case {
    const char* path;
    std::optional<std::string> unc;
  };
  const Case cases[] = {
      {"/mnt/crm/DB", "\\\\srv\\Data\\DB"},
      {"/mnt/crm", "\\\\srv\\Data"},
      {"/mnt/crmx/DB", std::nullopt},                          // another folder that starts alike
      {"/mnt/crm/local/DB", std::nullopt},                     // a local disk mounted deeper inside
      {"/mnt/nfs share/DB", "\\\\10.0.0.7\\export\\crm\\DB"},  // an escaped blank
      {"/mnt/sub/DB", "\\\\srv\\Data\\Sub\\DB"},
      {"/home/user/DB", std::nullopt},
      {"DB", std::nullopt},  // relative: never a share
  };
  for (const Case& c : cases) EXPECT_EQ(platform::UncPathOfMountedPath(c.path), c.unc) << c.path;
  platform::SetMountTableFile("");
}

TEST(MountTable, DriveTypeAndMountPointOfAPath) {
  TempDir dir;
  const std::string share = dir / "share";
  const std::string local = dir / "share/local";
  dir.WriteFile("share/local/x", "");
  dir.WriteFile("mountinfo", "40 22 0:50 / " + share + " rw - nfs4 srv:/export rw\n" +
                                 "41 40 0:51 / " + local + " rw - ext4 /dev/sdb1 rw\n");
  platform::SetMountTableFile(dir / "mountinfo");
  EXPECT_EQ(platform::DriveTypeOfPath(share), platform::kDriveRemote);
  EXPECT_EQ(platform::DriveTypeOfPath(local), platform::kDriveFixed);
  EXPECT_EQ(platform::DriveTypeOfPath(dir / "nothing"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::DriveTypeOfPath("R:"), platform::kDriveNoRootDir);
  // A path the table does not cover: the file system statfs reports.
  EXPECT_EQ(platform::DriveTypeOfPath(dir.Path()), platform::kDriveFixed);
  EXPECT_EQ(platform::MountPointOfPath(share + "/DB"), share);
  EXPECT_EQ(platform::MountPointOfPath(local + "/x"), local);
  EXPECT_EQ(platform::MountPointOfPath(dir.Path()), "");
  platform::SetMountTableFile("");
}

}  // namespace
