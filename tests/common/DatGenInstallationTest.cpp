#include "common/DatGenInstallation_Unit.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenFilesFunctions.h"
#include "support/InstallationTree.h"

namespace {

TEST(InstallationFolders, DerivedFromTheExecutableWithoutSettingsFile) {
  InstallationTree tree(InstallationTree::Options{"RebuildTool", /*MakeLogs=*/false});
  const std::string root = tree.Root();
  EXPECT_EQ(InstallationDefaults().General.AppPath, root + "/App/");
  EXPECT_EQ(GetModulePath(), root + "/App/");
  EXPECT_EQ(GetDBPath(), root + "/DB");
  EXPECT_EQ(GetDBSysPath(), root + "/DBSys/");
  EXPECT_EQ(GetServerPath(), root + "/Server/");
  EXPECT_FALSE(FolderExists(root + "/Logs"));
  EXPECT_EQ(GetLogsPath(), root + "/Logs/");
  EXPECT_TRUE(FolderExists(root + "/Logs"));
  // The fields nobody sets keep their defaults.
  EXPECT_EQ(InstallationDefaults().General.LogFileName, "VLX.LOG");
}

TEST(InstallationFolders, DatabaseFolderFromTheSettingsFile) {
  struct Case {
    std::string settings;  // "" for no Path key
    std::string db, dbsys, server;
  };
  for (const Case& c : std::vector<Case>{
           {"[DATABASE]\r\nPath=/data/DB/\r\n", "/data/DB/", "/data/DBSys/", "/data/Server/"},
           {"[DATABASE]\r\nPath=/data/DB\r\n", "/data/DB", "/data/DBSys/", "/data/Server/"},
           {"[DATABASE]\r\nPath=DB\r\n", "DB", "DB/DBSys/", "DB/Server/"},
           {"[DATABASE]\r\nPath=\r\n", "", "/DBSys/",
            "/Server/"},  // present but empty: taken as it is
           {"[database]\r\n path = /x/Data \r\n", "/x/Data", "/x/DBSys/", "/x/Server/"},
       }) {
    InstallationTree tree;
    tree.WriteFile("App/VorlexCRM.ini", c.settings);
    tree.Reload();
    EXPECT_EQ(GetDBPath(), c.db) << c.settings;
    EXPECT_EQ(GetDBSysPath(), c.dbsys) << c.settings;
    EXPECT_EQ(GetServerPath(), c.server) << c.settings;
  }
}

TEST(InstallationFolders, MissingSectionOrKeyGivesTheDefault) {
  for (const std::string settings : {"[OTHER]\nPath=/x\n", "[DATABASE]\nDBPath=/x\n"}) {
    InstallationTree tree;
    tree.WriteFile("App/VorlexCRM.ini", settings);
    tree.Reload();
    EXPECT_EQ(GetDBPath(), tree.Root() + "/DB") << settings;
  }
}

TEST(InstallationFolders, SettingsFileUnderEitherName) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> files;  // name in App/, Path value
    std::string db;
  };
  for (const Case& c : std::vector<Case>{
           {{{"CRM.ini", "/alt"}}, "/alt"},
           {{{"CRM.ini", "/alt"}, {"VorlexCRM.ini", "/own"}}, "/own"},
           {{{"vorlexcrm.INI", "/own-lower"}}, "/own-lower"},
           {{{"crm.ini", "/alt-lower"}}, "/alt-lower"},
       }) {
    InstallationTree tree;
    for (const auto& [name, path] : c.files)
      tree.WriteFile("App/" + name, "[DATABASE]\nPath=" + path + "\n");
    tree.Reload();
    EXPECT_EQ(GetDBPath(), c.db);
  }
}

TEST(InstallationFolders, ProgramAtTheFileSystemRoot) {
  // Like a program in E:\ or E:\App\ on Windows, whose folders are E:\DB and
  // E:\DBSys\: the root's folders, never relative ones.
  for (const char* program : {"/RebuildTool", "/App/RebuildTool"}) {
    OverrideModuleName(program);
    LoadInstallationDefaults();
    EXPECT_EQ(GetDBPath(), "/DB") << program;
    EXPECT_EQ(GetDBSysPath(), "/DBSys/") << program;
    EXPECT_EQ(GetServerPath(), "/Server/") << program;
  }
  OverrideModuleName("");
  LoadInstallationDefaults();
}

TEST(InstallationFolders, ParentPath) {
  struct Case {
    std::string path, parent;
  };
  for (const Case& c : std::vector<Case>{
           {"/a/b/", "/a"},
           {"/a/b", "/a"},
           {"/a", ""},
           {"/", ""},
           {"DB", "DB"},
           {"DB/", "DB"},
           {"", ""},
           {"a//", "a"},
       }) {
    EXPECT_EQ(GetParentPath(c.path), c.parent) << c.path;
  }
}

TEST(InstallationFolders, LogsFolderIsLookedAtOnlyOnce) {
  InstallationTree tree;
  const std::string logs = GetLogsPath();
  ASSERT_TRUE(FolderExists(logs));
  ASSERT_EQ(rmdir(logs.c_str()), 0);
  EXPECT_EQ(GetLogsPath(), logs);
  EXPECT_FALSE(FolderExists(logs));
}

TEST(InstallationFolders, LogsFolderThatCannotBeMadeIsStillReturned) {
  InstallationTree tree(InstallationTree::Options{"RebuildTool", /*MakeLogs=*/false});
  tree.WriteFile("Logs", "a file where the folder should be");
  EXPECT_EQ(GetLogsPath(), tree.Root() + "/Logs/");
  EXPECT_FALSE(FolderExists(tree.Root() + "/Logs"));
}

TEST(WellKnownFiles, AlternateNameReplacesTheProductWordInTheNameOnly) {
  struct Case {
    std::string name, alternate;
  };
  for (const Case& c : std::vector<Case>{
           {"/d/DBSys/VorlexServer.sr1", "/d/DBSys/CRMServer.sr1"},
           {"vorlexcrm.ini", "CRM.ini"},
           {"VorlexInx2.ini", "CRMInx2.ini"},
           {"VorlexStop.INI", "CRMStop.INI"},
           {"/Vorlex/VORLEX/report.txt", "/Vorlex/VORLEX/report.txt"},
           {std::string("/d/") + kProductHebrewWord + "Inx.ini", "/d/CRMInx.ini"},
           {std::string("x") + kProductToken + ".ini", "xCRM.ini"},
           {"UserLog_VorlexSystem3.TXT", "UserLog_CRMSystem3.TXT"},
       }) {
    EXPECT_EQ(GetAltFileName(c.name), c.alternate) << c.name;
  }
}

TEST(WellKnownFiles, ResolveTakesOwnNameThenAlternateNameThenCase) {
  InstallationTree tree;
  const std::string dbsys = GetDBSysPath();
  std::string resolved;

  EXPECT_FALSE(ResolveFileName(dbsys + "VorlexInx.ini", true, resolved));
  EXPECT_EQ(resolved, dbsys + "CRMInx.ini");
  EXPECT_FALSE(ResolveFileName(dbsys + "VorlexInx.ini", false, resolved));
  EXPECT_EQ(resolved, dbsys + "VorlexInx.ini");

  tree.WriteFile("DBSys/crminx.INI", "");
  EXPECT_TRUE(ResolveFileName(dbsys + "VorlexInx.ini", true, resolved));
  EXPECT_EQ(resolved, dbsys + "crminx.INI");

  tree.WriteFile("DBSys/VORLEXINX.ini", "");
  EXPECT_TRUE(ResolveFileName(dbsys + "VorlexInx.ini", true, resolved));
  EXPECT_EQ(resolved, dbsys + "VORLEXINX.ini");

  ForceFolder(dbsys + "VorlexInx2.ini");  // a folder is not the file
  EXPECT_FALSE(ResolveFileName(dbsys + "VorlexInx2.ini", true, resolved));
}

TEST(WellKnownFiles, TableAndIndexFilesAreFoundIgnoringCase) {
  InstallationTree tree;
  tree.WriteFile("DB/lower.Adi", "index");
  EXPECT_EQ(LocateFile(JoinPath(GetDBPath(), ChangeFileExt("Lower.ADT", ".Adi"))),
            tree / "DB/lower.Adi");
}

TEST(WellKnownFiles, DeleteRemovesBothNames) {
  InstallationTree tree;
  const std::string stop = GetDBSysPath() + "VorlexStop.INI";
  tree.WriteFile("DBSys/VorlexStop.INI", "");
  tree.WriteFile("DBSys/CRMStop.INI", "");
  const std::string other = tree.WriteFile("DBSys/VorlexInx.ini", "");
  EXPECT_TRUE(DeleteWellKnownFile(stop));
  EXPECT_FALSE(FileFound(GetDBSysPath() + "*Stop.INI"));
  EXPECT_TRUE(platform::FileExists(other));
}

TEST(WellKnownFiles, DeleteOfEitherSingleNameOrAReadOnlyFile) {
  for (const std::string name : {"VorlexStop.INI", "CRMStop.INI", "crmstop.ini"}) {
    InstallationTree tree;
    const std::string path = tree.WriteFile("DBSys/" + name, "");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_TRUE(DeleteWellKnownFile(GetDBSysPath() + "VorlexStop.INI")) << name;
    EXPECT_FALSE(platform::FileExists(path)) << name;
  }
}

TEST(WellKnownFiles, DeleteWithNeitherNameTouchesNothing) {
  InstallationTree tree;
  const std::string other = tree.WriteFile("DBSys/VorlexInx.ini", "x");
  EXPECT_FALSE(DeleteWellKnownFile(GetDBSysPath() + "VorlexStop.INI"));
  EXPECT_EQ(TempDir::ReadFile(other), "x");
}

TEST(ServerInstallation, MarkerIsLookedUpOnceUnderEitherName) {
  for (const std::string marker : {"VorlexServer.sr1", "CRMServer.sr1"}) {
    InstallationTree tree;
    EXPECT_FALSE(IsServerInstallation());
    tree.WriteFile("DBSys/" + marker, "");
    EXPECT_FALSE(IsServerInstallation()) << marker;  // fixed until the next start
    tree.Reload();
    EXPECT_TRUE(IsServerInstallation()) << marker;
  }
}

}  // namespace
