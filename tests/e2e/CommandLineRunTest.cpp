// RebuildIndexesCmd run as an operator or a scheduler runs it: the built
// program copied into the App folder of a generated installation and started
// as a child process. Its results are compared with the window's run over an
// identical installation.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "support/ChildLock.h"
#include "support/RebuildInstallation.h"
#include "support/ServerProcess.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

const std::vector<std::string> kDicFields = {"Type:C:1", "Table_Name:C:40"};
const std::vector<std::string> kOrderFields = {"RECID:C:16", "CUSTOMER:C:16", "AMOUNT:N", "DAY:D"};

// The installation of the window's run tests: a dictionary with two user
// tables, a table only the definition files name, a full-text section, a
// secondary file and a page-size file. `main_inx` replaces the main file.
void Populate(RebuildInstallation& inst, const std::string& main_inx) {
  inst.MakeTable("DicTables.ADT", kDicFields,
                 {{"U", "Contacts.ADT"}, {"U", "Notes.ADT"}, {"S", "SysLock.adt"}});
  std::vector<EngineRow> orders;
  std::vector<EngineRow> contacts;
  for (int i = 0; i < 60; ++i) {
    orders.push_back({"ord" + std::to_string(1000 + i), "cust" + std::to_string(i % 7),
                      std::to_string(i * 3.5), "2024-01-" + std::to_string(10 + i % 20)});
    contacts.push_back(
        {"con" + std::to_string(1000 + i), i % 2 ? "smith" : "Jones", "first" + std::to_string(i)});
  }
  inst.MakeTable("Orders.ADT", kOrderFields, orders);
  inst.MakeTable("Contacts.ADT", {"RECID:C:16", "LASTNAME:C:20", "FIRSTNAME:C:20"}, contacts);
  inst.MakeTable("Notes.ADT", {"RECID:C:16", "BODY:C:60"},
                 {{"n1", "the first note"}, {"n2", "second note"}});
  if (!main_inx.empty()) inst.MainInx(main_inx);
  inst.SecInx("[DicTables.ADT]\r\nTYPENAME=Type;Table_Name\r\n[Orders.ADT]\r\nCUST=CUSTOMER\r\n");
  inst.PageSizeInx("[Orders.ADT]\r\nInxPageSize=2048\r\n");
}

const char* const kEveryKind =
    "[*Not4Rmv]\r\n"
    "Notes.ADT=N\r\n"
    "[VlxInxVxx!!!###_1800_DicTables.ADT]\r\n"
    "TABLE_NAME=Table_Name*ixCaseInsensitive\r\n"
    "[VlxInxVxx!!!###_5601_Orders.ADT]\r\n"
    "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
    "CUSTDAY=CUSTOMER;DAY*ixDescending\r\n"
    "[Contacts.ADT]\r\n"
    "NAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\n"
    "[Notes.ADT*VlxFts]\r\n"
    "FTS_BODY=BODY*MIN_WORD_LENGTH 2\r\n"
    "[*OP_FtsNoise_Notes_FTS_BODY]\r\n"
    "w1=the\r\n";

const char* const kRefusedIndex =
    "[Orders.ADT]\r\n"
    "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
    "BAD=NOSUCHFIELD\r\n"
    "[Contacts.ADT]\r\n"
    "NAME=LASTNAME;FIRSTNAME\r\n";

const char* const kDuplicateKey =
    "[Contacts.ADT]\r\n"
    "BYNAME=LASTNAME*ixUnique\r\n";

struct CmdRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// The program placed in the installation's App folder beside the engine's
// files, as an installation has it.
std::string InstallProgram(const InstallationTree& tree) {
  const fs::path built(REBUILD_CMD_PATH);
  const fs::path app = tree / "App";
  fs::copy_file(built, app / "RebuildIndexesCmd", fs::copy_options::overwrite_existing);
  for (const auto& entry : fs::directory_iterator(built.parent_path())) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".dll" || ext == ".chr" || ext == ".cfg" || ext == ".so") {
      std::error_code linked_before;  // the installation may have linked it already
      fs::create_symlink(entry.path(), app / entry.path().filename(), linked_before);
    }
  }
  return (app / "RebuildIndexesCmd").string();
}

// Starts the program; `on_first_line` runs (with the child's id) once the
// first line of standard output has come.
CmdRun RunCmd(const std::string& program, const std::vector<std::string>& args,
              const std::function<void(pid_t)>& on_first_line = nullptr) {
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    close(out_pipe[0]);
    close(err_pipe[0]);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(121);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  CmdRun run;
  // Standard error is read after the end: the program writes little there.
  // A run that fills the pipe would block, so drain it too while reading.
  fcntl(err_pipe[0], F_SETFL, O_NONBLOCK);
  char buffer[4096];
  bool told = false;
  for (;;) {
    const ssize_t n = read(out_pipe[0], buffer, sizeof buffer);
    if (n <= 0) break;
    run.out.append(buffer, static_cast<size_t>(n));
    if (!told && on_first_line && run.out.find('\n') != std::string::npos) {
      told = true;
      on_first_line(pid);
    }
    for (ssize_t e; (e = read(err_pipe[0], buffer, sizeof buffer)) > 0;)
      run.err.append(buffer, static_cast<size_t>(e));
  }
  fcntl(err_pipe[0], F_SETFL, 0);
  for (ssize_t e; (e = read(err_pipe[0], buffer, sizeof buffer)) > 0;)
    run.err.append(buffer, static_cast<size_t>(e));
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// Every file of the database folder with its bytes.
std::map<std::string, std::string> DatabaseFiles(const RebuildInstallation& inst) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(inst.DB())) {
    files[entry.path().filename().string()] = TempDir::ReadFile(entry.path().string());
  }
  return files;
}

// The log's entries without what differs from one run to the next: the
// times, the installation's folder, the program's name and process, the
// private connection's random name, the call-stack lines below the run (the
// window's test or the command's main call it) and the order in which the
// screen line lists the open forms (the window system's, not the run's).
std::string ComparableLog(std::string log, const InstallationTree& tree) {
  log = std::regex_replace(log, std::regex("[^\r\n]+\\.(cpp|h|c) - [0-9]+\r\n"), "");
  log = std::regex_replace(log, std::regex("[0-9]+\\.T[^\r\n]*\r\n"), "");
  // The window's run names the test program's own file beside its place in
  // the installation.
  log = std::regex_replace(log, std::regex(platform::ExecutableFileName() + " "), "");
  log = std::regex_replace(log, std::regex(tree.Root()), "<root>");
  log = std::regex_replace(log, std::regex("RebuildIndexesCmd|RebuildTool|e2e_tests"), "<program>");
  log = std::regex_replace(log, std::regex("[0-9]{1,2}[:/.][0-9]{1,2}[:/.][0-9]{2,4}"), "<t>");
  log = std::regex_replace(log, std::regex("[0-9]+"), "<n>");
  return log;
}

// Proc_Name lines in order: the entries the run wrote.
std::vector<std::string> ProcNames(const std::string& log) {
  std::vector<std::string> names;
  static const std::regex proc("Proc_Name=([^\r\n]*)");
  for (auto it = std::sregex_iterator(log.begin(), log.end(), proc); it != std::sregex_iterator();
       ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

bool StopMarkerLeft(const InstallationTree& tree) {
  return platform::FileExists(tree / "DBSys/VorlexStop.INI") ||
         platform::FileExists(tree / "DBSys/CRMStop.INI");
}

bool HasControlCharacters(const std::string& text) {
  for (const unsigned char c : text) {
    if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
  }
  return false;
}

struct WindowRun {
  std::map<std::string, std::string> Files;
  std::vector<std::string> Entries;
  std::string Log;
  std::vector<std::string> Dialogs;
};

WindowRun RunWindow(const std::string& main_inx, bool remove_main_file) {
  RebuildInstallation inst;
  Populate(inst, main_inx);
  if (remove_main_file) platform::DeleteFile(inst.Tree / "DBSys/VorlexInx.ini");
  {
    TForm1 form;
    EXPECT_TRUE(form.FormCreate());
    form.Button1->click();
  }
  const std::string log = inst.Log();
  const std::string comparable = ComparableLog(log, inst.Tree);
  return {DatabaseFiles(inst), ProcNames(comparable), comparable, inst.DialogTexts()};
}

struct SameAsWindowCase {
  const char* Name;
  const char* MainInx;
  bool RemoveMainFile;
  int ExitCode;
  const char* Stderr;  // a line standard error must hold
};

class CommandLineSameAsWindowTest : public ::testing::TestWithParam<SameAsWindowCase> {};

TEST_P(CommandLineSameAsWindowTest, TablesIndexesAndLogAsTheWindowLeavesThem) {
  const SameAsWindowCase& c = GetParam();
  const WindowRun window = RunWindow(c.MainInx, c.RemoveMainFile);

  RebuildInstallation inst;
  Populate(inst, c.MainInx);
  if (c.RemoveMainFile) platform::DeleteFile(inst.Tree / "DBSys/VorlexInx.ini");
  const std::string program = InstallProgram(inst.Tree);
  const CmdRun run = RunCmd(program, {});

  EXPECT_EQ(run.exit_code, c.ExitCode) << run.err;
  EXPECT_THAT(run.err, HasSubstr(c.Stderr));
  // Every dialog the window showed was printed once.
  for (const std::string& dialog : window.Dialogs) {
    const std::string first_line = dialog.substr(0, dialog.find('\r'));
    EXPECT_THAT(run.err, HasSubstr(first_line));
  }
  EXPECT_FALSE(HasControlCharacters(run.out)) << run.out;
  EXPECT_FALSE(HasControlCharacters(run.err)) << run.err;
  EXPECT_FALSE(StopMarkerLeft(inst.Tree));

  const auto files = DatabaseFiles(inst);
  ASSERT_EQ(files.size(), window.Files.size());
  for (const auto& [name, bytes] : window.Files) {
    ASSERT_TRUE(files.count(name)) << name;
    EXPECT_TRUE(files.at(name) == bytes) << name << " differs from the window's run";
  }
  const std::string log = TempDir::ReadFile(inst.Tree / "Logs/UserLog_RebuildIndexesCmd.TXT");
  const std::string comparable = ComparableLog(log, inst.Tree);
  EXPECT_EQ(ProcNames(comparable), window.Entries);
  EXPECT_EQ(comparable, window.Log);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CommandLineSameAsWindowTest,
    ::testing::Values(
        SameAsWindowCase{"EveryKindOfSection", kEveryKind, false, 0, ": Completed Successfully\n"},
        SameAsWindowCase{"RefusedIndex", kRefusedIndex, false, 1, ": Error in Indexes Rebuild \n"},
        SameAsWindowCase{"DuplicateUniqueKey", kDuplicateKey, false, 1, "Error: error "},
        SameAsWindowCase{"MissingMainFile", kEveryKind, true, 2, "Inx.ini does not exist"}),
    [](const auto& info) { return std::string(info.param.Name); });

class CommandLineRunTest : public ::testing::Test {
 protected:
  RebuildInstallation inst;
};

TEST_F(CommandLineRunTest, BadUsageEndsWithThreeAndTouchesNothing) {
  Populate(inst, kEveryKind);
  const std::string program = InstallProgram(inst.Tree);
  const auto before = DatabaseFiles(inst);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--no-such-option"}, std::vector<std::string>{"--report"}}) {
    const CmdRun run = RunCmd(program, args);
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_THAT(run.err, HasSubstr("Usage: RebuildIndexesCmd"));
  }
  EXPECT_TRUE(DatabaseFiles(inst) == before);
  const CmdRun help = RunCmd(program, {"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* option : {"--quiet", "--report"}) EXPECT_THAT(help.out, HasSubstr(option));
}

TEST_F(CommandLineRunTest, PlainProgressLinePerTableQuietNoneAndAReport) {
  Populate(inst, kRefusedIndex);
  const std::string program = InstallProgram(inst.Tree);
  const std::string report_file = inst.Tree / "report.json";
  const CmdRun run = RunCmd(program, {"--report", report_file});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_THAT(run.out, HasSubstr("Orders.ADT (1/"));
  EXPECT_THAT(run.out, HasSubstr("Contacts.ADT ("));
  // The refused index's failure names the engine's code, in the dialog and the report.
  EXPECT_THAT(run.err, ::testing::ContainsRegex("Error: error [0-9]+: .*NOSUCHFIELD"));
  const std::string report = TempDir::ReadFile(report_file);
  EXPECT_THAT(report, HasSubstr("\"outcome\": \"failed\""));
  EXPECT_THAT(report, HasSubstr("\"exit_code\": 1"));
  EXPECT_THAT(report, HasSubstr("{\"name\": \"CUST\", \"page_size\": "));
  EXPECT_THAT(report, HasSubstr("{\"name\": \"PRIMARY\", \"page_size\": 2048"));
  EXPECT_THAT(report, ::testing::ContainsRegex("\"index\": \"BAD\", \"code\": [1-9][0-9]*"));

  const CmdRun quiet = RunCmd(program, {"--quiet"});
  EXPECT_EQ(quiet.out, "");
  EXPECT_THAT(quiet.err, HasSubstr("Error in Indexes Rebuild"));
}

// The record-id repair's removals are counted per table and in the totals,
// so an operator knows from the report alone that `dbtool recall` has work.
TEST_F(CommandLineRunTest, ReportCountsTheRecordsTheRepairRemoved) {
  Populate(inst,
           "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
           "[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  ASSERT_TRUE(MakeEngineTable(inst.DB(), "Contacts.ADT", {"RECID:C:16", "LASTNAME:C:20"},
                              {{"c1", "one"}, {std::nullopt, "two"}, {"", "three"}, {"c4", "four"}},
                              true)
                  .ok());
  const std::string program = InstallProgram(inst.Tree);
  const std::string report_file = inst.Tree / "report.json";
  const CmdRun run = RunCmd(program, {"--quiet", "--report", report_file});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const std::string report = TempDir::ReadFile(report_file);
  EXPECT_THAT(report, HasSubstr("{\"name\": \"Orders.ADT\", \"records_removed\": 0,"));
  EXPECT_THAT(report, HasSubstr("{\"name\": \"Contacts.ADT\", \"records_removed\": 2,"));
  EXPECT_THAT(report, HasSubstr("\"records_removed\": 2, \"errors\": 0}"));
}

// A stop while a table is held open elsewhere (its index file removal is
// retried for seconds): the held table ends, the tables after it are left
// alone, the stop marker is gone and the run counts as failed. A second
// signal ends the program at once, the marker removed all the same.
TEST_F(CommandLineRunTest, StopSignalEndsAfterTheCurrentTable) {
  for (const int stops : {1, 2}) {
    SCOPED_TRACE(stops);
    RebuildInstallation installation;
    Populate(installation,
             "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
             "[Notes.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
             "[Contacts.ADT]\r\nNAME=LASTNAME\r\n");
    installation.Tree.WriteFile("DB/Notes.ADI", "held");
    const std::string program = InstallProgram(installation.Tree);
    ChildLock holder([&installation] {
      static std::unique_ptr<engine::Connection> connection;
      static std::unique_ptr<engine::Table> table;
      auto connected = engine::Connection::Connect(installation.DB());
      if (!connected.ok()) return false;
      connection = std::move(connected.value());
      auto opened = engine::Table::Open(*connection, "Notes.ADT", engine::OpenMode::Shared);
      if (!opened.ok()) return false;
      table = std::move(opened.value());
      return true;
    });
    ASSERT_TRUE(holder.Locked());
    const CmdRun run = RunCmd(program, {}, [stops](pid_t pid) {
      for (int i = 0; i < stops; ++i) kill(pid, i == 0 ? SIGINT : SIGTERM);
    });
    holder.Release();

    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_FALSE(StopMarkerLeft(installation.Tree));
    EXPECT_FALSE(platform::FileExists(installation.DB() + "/Contacts.adi"));
    EXPECT_FALSE(platform::FileExists(installation.DB() + "/Contacts.ADI"));
    const std::string log =
        TempDir::ReadFile(installation.Tree / "Logs/UserLog_RebuildIndexesCmd.TXT");
    if (stops == 1) {
      // The signal comes while Orders is built: the stop is taken before
      // Notes, or (if Orders was done first) after Notes has failed.
      EXPECT_THAT(log, ::testing::ContainsRegex("AddIndexes-Stop\r\n(Notes|Contacts).ADT"));
      EXPECT_THAT(installation.TagNames("Orders.Adi"), ::testing::ElementsAre("PRIMARY", "CUST"));
      EXPECT_THAT(log, HasSubstr("Proc_Name=MainFrm-Bld-Eof\r\nN\r\n"));
      EXPECT_THAT(run.err, HasSubstr("Error in Indexes Rebuild"));
    } else {
      EXPECT_THAT(run.err, HasSubstr("stopped at once"));
      EXPECT_THAT(log, Not(HasSubstr("MainFrm-Bld-Eof")));
    }
  }
}

// Every file below the installation's root with its bytes.
std::map<std::string, std::string> AllFiles(const InstallationTree& tree) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(tree.Root())) {
    if (entry.is_regular_file() && !entry.is_symlink()) {
      files[entry.path().string()] = TempDir::ReadFile(entry.path().string());
    }
  }
  return files;
}

// The file of the database folder named `name`, ignoring case.
std::string DatabaseFile(const RebuildInstallation& inst, const std::string& name) {
  for (const auto& entry : fs::directory_iterator(inst.DB())) {
    if (strcasecmp(entry.path().filename().c_str(), name.c_str()) == 0)
      return entry.path().string();
  }
  return {};
}

const char* const kWithExtra =
    "[Orders.ADT]\r\n"
    "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
    "CUSTDAY=CUSTOMER;DAY*ixDescending\r\n"
    "[Extra.ADT]\r\n"
    "NAME=NAME\r\n";

struct CheckCase {
  const char* Name;
  std::function<void(RebuildInstallation&)> After;  // what changes after the rebuild
  const char* Line;                                 // the start of the line --check prints
};

class CommandLineCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CommandLineCheckTest, FindsWhatARebuildWouldMend) {
  RebuildInstallation inst;
  Populate(inst, kWithExtra);
  inst.MakeTable("Extra.ADT", {"RECID:C:16", "NAME:C:10"}, {{"e1", "one"}, {"e2", "two"}});
  const std::string program = InstallProgram(inst.Tree);
  const CmdRun rebuilt = RunCmd(program, {"--quiet"});
  ASSERT_EQ(rebuilt.exit_code, 0) << rebuilt.out << rebuilt.err << inst.Log();

  const CmdRun clean = RunCmd(program, {"--check"});
  EXPECT_EQ(clean.exit_code, 0) << clean.out << clean.err;
  EXPECT_THAT(clean.out, HasSubstr("Orders.ADT: OK\n"));
  EXPECT_THAT(clean.out, HasSubstr("0 of "));

  GetParam().After(inst);
  const auto before = AllFiles(inst.Tree);
  const CmdRun check = RunCmd(program, {"--check"});
  EXPECT_EQ(check.exit_code, 1) << check.out << check.err;
  EXPECT_THAT(check.out, HasSubstr(GetParam().Line));
  EXPECT_TRUE(AllFiles(inst.Tree) == before) << "--check changed a file";
}

INSTANTIATE_TEST_SUITE_P(
    Damages, CommandLineCheckTest,
    ::testing::Values(
        CheckCase{"MissingIndexFile",
                  [](RebuildInstallation& inst) { fs::remove(DatabaseFile(inst, "Orders.ADI")); },
                  "Orders.ADT: the index file Orders.ADI is missing"},
        CheckCase{
            "MissingTag",
            [](RebuildInstallation& inst) {
              inst.SecInx(
                  "[DicTables.ADT]\r\nTYPENAME=Type;Table_Name\r\n[Orders.ADT]\r\nCUST=CUSTOMER\r\n"
                  "[Extra.ADT]\r\nBYID=RECID\r\n");
            },
            "Extra.ADT: tag BYID is missing"},
        CheckCase{
            "OtherExpression",
            [](RebuildInstallation& inst) {
              inst.SecInx(
                  "[DicTables.ADT]\r\nTYPENAME=Type;Table_Name\r\n[Orders.ADT]\r\nCUST=AMOUNT\r\n");
            },
            "Orders.ADT: tag CUST is on CUSTOMER, not AMOUNT"},
        CheckCase{"OtherPageSize",
                  [](RebuildInstallation& inst) {
                    inst.PageSizeInx("[Orders.ADT]\r\nInxPageSize=4096\r\n");
                  },
                  "Orders.ADT: page size 2048, not 4096"},
        CheckCase{"DamagedIndexPage",
                  [](RebuildInstallation& inst) {
                    const std::string path = DatabaseFile(inst, "Orders.ADI");
                    std::string bytes = TempDir::ReadFile(path);
                    for (size_t at = bytes.size() - 600; at < bytes.size() - 500; ++at)
                      bytes[at] ^= 0x5A;
                    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
                  },
                  "Orders.ADT: the index file cannot be read: error 8206: Checksum error"},
        CheckCase{"RecordsWithoutRecordId",
                  [](RebuildInstallation& inst) {
                    // The table made again (without its index file) with records lacking a record
                    // id.
                    fs::remove(DatabaseFile(inst, "Extra.ADI"));
                    ASSERT_TRUE(
                        MakeEngineTable(inst.DB(), "Extra.ADT", {"RECID:C:16", "NAME:C:10"},
                                        {{"e1", "one"}, {std::nullopt, "two"}, {"", "three"}}, true)
                            .ok());
                  },
                  "Extra.ADT: the index file Extra.ADI is missing; 2 records without a record id"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CommandLineRunTest, DryRunPrintsThePlanAndChangesNoByte) {
  Populate(inst, std::string(kEveryKind) + "[Missing.ADT]\r\nX=X\r\n");
  ASSERT_TRUE(MakeEngineTable(inst.DB(), "Orders.ADT", kOrderFields,
                              {{"", "c", "1", "2024-01-01"}, {"o1", "c", "2", "2024-01-02"}}, true)
                  .ok());
  const std::string program = InstallProgram(inst.Tree);
  const auto before = AllFiles(inst.Tree);
  const CmdRun run = RunCmd(program, {"--dry-run"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(AllFiles(inst.Tree) == before) << "--dry-run changed a file";
  for (const char* expected :
       {"  Orders.ADT, page size 2048\n",
        "  [VlxInxVxx!!!###_5601_Orders.ADT] Orders.ADT\n    PRIMARY: RECID, options unique\n",
        "    FTS_BODY: BODY, full text MIN_WORD_LENGTH 2, noise words 'the'\n",
        "  Missing.ADT (missing)", "  Orders.ADT: 1\n", "Disk space: "}) {
    EXPECT_THAT(run.out, HasSubstr(expected));
  }
  // The dictionary's user tables come again in the second pass, with PRIMARY alone.
  EXPECT_THAT(run.out,
              HasSubstr("  [(DicTables.ADT)] Contacts.ADT\n    PRIMARY: RECID, options unique\n"));
}

TEST_F(CommandLineRunTest, TablesOptionRebuildsOnlyTheNamedTables) {
  Populate(inst, kEveryKind);
  const std::string program = InstallProgram(inst.Tree);
  const CmdRun run = RunCmd(program, {"--tables", "Orders", "--report", inst.Tree / "r.json"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_THAT(inst.TagNames("Orders.Adi"), ::testing::ElementsAre("PRIMARY", "CUSTDAY", "CUST"));
  for (const char* other : {"Contacts.ADI", "Notes.ADI", "DicTables.ADI"}) {
    EXPECT_EQ(DatabaseFile(inst, other), "") << other;
  }
  EXPECT_THAT(TempDir::ReadFile(inst.Tree / "r.json"),
              HasSubstr("{\"name\": \"CUST\", \"page_size\": 2048"));
}

// The start-up of the command: a run that cannot start ends with 2 and
// prints what the window would have shown.
TEST_F(CommandLineRunTest, FailedStartUpChecksEndWithTwo) {
  Populate(inst, kEveryKind);
  const std::string program = InstallProgram(inst.Tree);
  const auto before = DatabaseFiles(inst);

  // An engine file missing: the missing-files text, before any connection.
  fs::remove(inst.Tree / "App/Ansi.chr");
  CmdRun run = RunCmd(program, {});
  EXPECT_EQ(run.exit_code, 2) << run.err;
  EXPECT_THAT(run.err, HasSubstr("RebuildIndexesCmd operation stopped."));
  EXPECT_THAT(run.err, HasSubstr("Missing Files:\n  Ansi.chr"));
  fs::create_symlink(fs::path(REBUILD_CMD_PATH).parent_path() / "Ansi.chr",
                     inst.Tree / "App/Ansi.chr");

  // The system lock table cannot be opened on a local installation.
  fs::rename(inst.Tree / "DB/SysLock.adt", inst.Tree / "SysLock.adt");
  run = RunCmd(program, {});
  EXPECT_EQ(run.exit_code, 2) << run.err;
  EXPECT_THAT(run.err, HasSubstr("RebuildIndexesCmd: "));
  EXPECT_THAT(run.err, HasSubstr("SysLock.adt"));
  fs::rename(inst.Tree / "SysLock.adt", inst.Tree / "DB/SysLock.adt");

  // The database folder cannot be reached: the local access text.
  inst.Tree.WriteFile("App/VorlexCRM.ini", "[DATABASE]\r\nPath=" + inst.Tree / "NoSuchDB" + "\r\n");
  run = RunCmd(program, {});
  EXPECT_EQ(run.exit_code, 2) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Procedure halted due to data database/server access error."));
  EXPECT_THAT(run.err, HasSubstr(inst.Tree / "NoSuchDB"));
  const std::string log = TempDir::ReadFile(inst.Tree / "Logs/UserLog_RebuildIndexesCmd.TXT");
  EXPECT_THAT(log, HasSubstr("VlxHlt-0"));
  EXPECT_THAT(log, HasSubstr("VlxHlt-1"));
  EXPECT_TRUE(DatabaseFiles(inst) == before);
  EXPECT_FALSE(StopMarkerLeft(inst.Tree));
}
// The command on a server installation whose folders lie on a share mounted
// without a port (the mount table the program reads is named by
// ENGINE_MOUNT_TABLE): the first connect finds no server on the default
// port, the second reaches dbserver on the port "VlxSQLinfo.ini" names, and
// every index is built through it.
TEST_F(CommandLineRunTest, ServerInstallationConnectsOnTheSecondAttempt) {
  Populate(inst, kEveryKind);
  const std::string program = InstallProgram(inst.Tree);
  const std::string root = fs::canonical(inst.Tree.Root()).string();
  ServerProcess::Options options;
  options.Shares = {{"data", root}};
  ServerProcess server(options);
  inst.Tree.WriteFile("Server/mountinfo",
                      "36 25 0:52 / " + root + " rw - cifs //127.0.0.1/data rw\n");
  inst.Tree.WriteFile("DBSys/VorlexServer.sr1", "");
  inst.Tree.WriteFile("App/VlxSQLinfo.ini", "Port=" + std::to_string(server.Port()) + "\r\n");
  setenv("ENGINE_MOUNT_TABLE", (inst.Tree / "Server/mountinfo").c_str(), 1);
  const CmdRun run = RunCmd(program, {"--quiet"});
  unsetenv("ENGINE_MOUNT_TABLE");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr(": Completed Successfully\n"));
  for (const char* table : {"Orders.ADT", "DicTables.ADT", "Contacts.ADT", "Notes.ADT"})
    EXPECT_EQ(inst.IndexProblems(table), "") << table;
  EXPECT_THAT(inst.TagNames("Orders.Adi"), ::testing::Contains("PRIMARY"));
  const std::string log = TempDir::ReadFile(inst.Tree / "Logs/UserLog_RebuildIndexesCmd.TXT");
  EXPECT_THAT(log, HasSubstr("CanReConn:6420-Eof Y"));
  EXPECT_THAT(log, HasSubstr("FixConnPath"));
  EXPECT_THAT(log, HasSubstr(" Remote 1 \\\\127.0.0.1:" + std::to_string(server.Port())));
  EXPECT_THAT(server.Log(), Not(HasSubstr("refused")));
}

}  // namespace
