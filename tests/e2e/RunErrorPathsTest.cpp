// The failure paths of a run, one case each, over the real main window and a
// generated installation: what the operator is shown (the boxes the modal
// seam records), what the log holds, the stop marker and the files
// afterwards. Every case is driven through a seam a test may replace (the
// modal responder, the fixed waits, the clock, the main connection's
// disconnect notification) or by the files of the installation alone.
#include <dirent.h>
#include <QApplication>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "app/MaimInxBld_Unit.h"
#include "dataset/AdsConnection.h"
#include "db/DatGenDBConnectionDM.h"
#include "db/DatGenTablePasswords.h"
#include "engine/index/IndexBuilder.h"
#include "engine/table/TableRewrite.h"
#include "rebuild/DatProgProgressForm.h"
#include "support/ChildLock.h"
#include "support/RebuildInstallation.h"
#include "support/ScopedClock.h"

namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::vector<std::string> kFields = {"RECID:C:16", "NAME:C:20"};
constexpr const char* kPassword = "workers-secret";

class FixedPasswords : public TTablePasswordProvider {
 public:
  std::string CWorkersPassword() const override { return kPassword; }
  std::string SysPMPassword() const override { return "syspm-secret-0123456"; }
};

// One case's world: the installation, the main window, and what the case
// arranged to happen during the run.
struct RunWorld {
  RunWorld() { SetTablePasswordProvider(std::make_unique<FixedPasswords>()); }
  ~RunWorld() { SetTablePasswordProvider(nullptr); }

  std::string Marker(const std::string& name = "VorlexStop.INI") const {
    return inst.Tree / ("DBSys/" + name);
  }
  bool MarkerLeft() const {
    return platform::FileExists(Marker()) || platform::FileExists(Marker("CRMStop.INI"));
  }

  // The names in DBSys, sorted.
  std::vector<std::string> DBSysFiles() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir((inst.Tree / "DBSys").c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void MakeEncrypted(const std::string& name, const std::vector<EngineRow>& rows) {
    inst.MakeTable(name, kFields, rows);
    auto connection = engine::Connection::Connect(inst.DB());
    ASSERT_TRUE(connection.ok());
    engine::TableRewriteOptions options;
    options.KdfIterations = 1000;  // the least the format allows
    ASSERT_TRUE(engine::EncryptTable(**connection, name, kPassword, options).ok());
  }

  // The tags of an encrypted table's index file read under its password,
  // "unsound" appended when the engine's check finds a fault; the file's
  // page size in `page_size`.
  std::vector<std::string> EncryptedTagNames(const std::string& table, uint32_t& page_size) const {
    page_size = 0;
    std::vector<std::string> names;
    auto connection = engine::Connection::Connect(inst.DB());
    if (!connection.ok()) return names;
    auto opened = engine::Table::Open(**connection, table, engine::OpenMode::Shared);
    if (!opened.ok() || !(*opened)->EnableEncryption(kPassword).ok()) return names;
    auto indexes = (*opened)->Indexes();
    if (!indexes.ok() || !indexes.value()) return names;
    for (const auto& tag : indexes.value()->Tags()) names.push_back(tag.Name);
    page_size = indexes.value()->PageSize();
    const auto check = (*opened)->VerifyIndexes();
    if (check && !check->Ok()) names.push_back("unsound");
    return names;
  }

  // Holds `table` open exclusively in this process (another open of the
  // engine, as another program would), until Release.
  void Hold(const std::string& table) {
    auto connection = engine::Connection::Connect(inst.DB());
    ASSERT_TRUE(connection.ok());
    held_connection = std::move(connection.value());
    auto opened = engine::Table::Open(*held_connection, table, engine::OpenMode::Exclusive);
    ASSERT_TRUE(opened.ok()) << opened.status().Message();
    held_table = std::move(opened.value());
  }
  void Release() {
    held_table.reset();
    held_connection.reset();
  }

  RebuildInstallation inst;
  TForm1 form;
  std::unique_ptr<ScopedClock> clock;
  std::unique_ptr<ChildLock> holder;
  std::unique_ptr<engine::Connection> held_connection;
  std::unique_ptr<engine::Table> held_table;
  bool press_start = true;  // false: the case closes the window instead
};

struct ErrorPathCase {
  const char* Name;
  std::function<void(RunWorld&)> Arrange;
  std::function<void(RunWorld&)> Check;
};

// The installation every case starts from: two ordinary tables, a data
// dictionary naming one of them, an exemption list.
void BaseInstallation(RunWorld& run) {
  run.inst.MakeTable("DicTables.ADT", {"Type:C:1", "Table_Name:C:40"}, {{"U", "Contacts.ADT"}});
  run.inst.MakeTable("Contacts.ADT", kFields, {{"c1", "Ann"}, {"c2", "Bob"}});
  run.inst.MakeTable("Orders.ADT", kFields, {{"o1", "x"}, {"o2", "y"}, {"o3", "z"}});
  run.inst.MainInx(
      "[*Not4Rmv]\r\nOther.ADT=N\r\n"
      "[DicTables.ADT]\r\nTABLE_NAME=Table_Name\r\n"
      "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=NAME\r\n");
}

bool ProgressWindowLeft() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<TDatProgProgressFrm*>(widget)) return true;
  }
  return false;
}

const ErrorPathCase kCases[] = {
    {"ExceptionEscapingTheRun",
     [](RunWorld&) {
       // The outcome box cannot be shown: the display is gone.
       ui::SetModalResponder([](const ui::ModalRequest& request) -> int {
         if (request.Text == "Completed Successfully")
           throw std::runtime_error("the display went away");
         return 1;
       });
     },
     [](RunWorld& run) {
       const std::string log = run.inst.Log();
       EXPECT_THAT(log, HasSubstr("Proc_Name=.\r\n"));
       EXPECT_THAT(log, HasSubstr("the display went away"));
       // The run itself had answered, so the window's result stays true.
       EXPECT_EQ(log.rfind("Proc_Name="), log.rfind("Proc_Name=MainFrm-Bld-Eof\r\nY\r\n"));
       EXPECT_THAT(run.inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY", "NAME"));
     }},

    {"ExclusiveConnectionNotMade",
     [](RunWorld& run) {
       // An index file the run must leave alone.
       auto connection = engine::Connection::Connect(run.inst.DB());
       ASSERT_TRUE(connection.ok());
       auto keep = engine::Table::Open(**connection, "Orders.ADT", engine::OpenMode::Exclusive);
       ASSERT_TRUE(keep.ok());
       engine::IndexTagDefinition tag;
       tag.Name = "OLD";
       tag.Expression = "NAME";
       ASSERT_TRUE((*keep)->AddIndex(tag, 0).ok());
       keep.value().reset();
       // When the run lets go of the main connection, its folder stops being
       // one the engine can connect to; it is back by the time the run puts
       // its windows away.
       EnsureConnectionDM();
       TAdsConnection* main = ConnectionDM()->DBConnection;
       const std::string db = main->ConnectPath;
       main->AfterDisconnect = [db](TAdsConnection& connection) {
         connection.ConnectPath = db + "/missing";
       };
       // Put the path back when the progress window goes, which the clean-up
       // does before it connects the main connection again.
       struct Restorer : QObject {
         Restorer(TAdsConnection* main, std::string db) : main_(main), db_(std::move(db)) {}
         bool eventFilter(QObject* watched, QEvent* event) override {
           if (event->type() == QEvent::Show && qobject_cast<TDatProgProgressFrm*>(watched)) {
             connect(watched, &QObject::destroyed, this, [this] { main_->ConnectPath = db_; });
           }
           return false;
         }
         TAdsConnection* main_;
         std::string db_;
       };
       auto* restorer = new Restorer(main, db);
       restorer->setParent(&run.form);
       qApp->installEventFilter(restorer);
     },
     [](RunWorld& run) {
       // The connection's own message, then the run's outcome.
       EXPECT_THAT(run.inst.DialogTexts(),
                   ElementsAre(::testing::StartsWith(
                                   "Procedure halted due to data database/server access error."),
                               "Error in Indexes Rebuild "));
       const std::string log = run.inst.Log();
       EXPECT_THAT(log, HasSubstr("Proc_Name=DatGenDBConnectionDM.SetConnectionParams-Err\r\n"));
       EXPECT_EQ(log.find("RbldInx:"), std::string::npos) << "no pass ran";
       EXPECT_THAT(run.inst.TagNames("Orders.Adi"), ElementsAre("OLD")) << "no table touched";
       ASSERT_NE(ConnectionDM(), nullptr);
       EXPECT_TRUE(ConnectionDM()->DBConnection->IsConnected())
           << "the main connection is connected again";
       ConnectionDM()->DBConnection->AfterDisconnect = nullptr;
     }},

    {"PageSizeVerifiedWrongFailsThePass",
     [](RunWorld& run) {
       // Archive has a page size but no index to carry it: the size cannot be
       // confirmed. Orders after it is sized and checked right.
       run.inst.MakeTable("Archive.ADT", kFields, {{"a1", "old"}});
       run.inst.MainInx(
           "[*Not4Rmv]\r\nOther.ADT=N\r\n"
           "[Archive.ADT]\r\n"
           "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=NAME\r\n");
       run.inst.PageSizeInx(
           "[Archive.ADT]\r\nInxPageSize=2048\r\n[Orders.ADT]\r\nInxPageSize=4096\r\n");
     },
     [](RunWorld& run) {
       EXPECT_THAT(run.inst.DialogTexts(), ElementsAre("Table Archive.ADT has worng page size",
                                                       "Error in Indexes Rebuild "));
       EXPECT_THAT(
           run.inst.Log(),
           HasSubstr("Proc_Name=HandlePageSizeInx Archive.ADT\r\nCan not Set PageSize 2048"));
       for (const auto& tag : run.inst.Tags("Orders.Adi"))
         EXPECT_EQ(tag.PageSize, 4096u) << tag.Name;
       // The failed first pass skips the second pass and the removal pass.
       EXPECT_EQ(run.inst.Log().find("\r\nRbldInx:1"), std::string::npos);
       EXPECT_EQ(run.inst.Log().find("MakeAfReInx-Bld-Bof"), std::string::npos);
     }},

    {"RepairKeepsThePageSize",
     [](RunWorld& run) {
       run.inst.MakeTable("People.ADT", kFields, {{"c1", "Ann"}, {"", "no id"}, {"c3", "Cy"}});
       run.inst.MainInx(
           "[*Not4Rmv]\r\nOther.ADT=N\r\n"
           "[People.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=NAME\r\n");
       run.inst.PageSizeInx("[People.ADT]\r\nInxPageSize=4096\r\n");
     },
     [](RunWorld& run) {
       EXPECT_THAT(run.inst.DialogTexts(), ElementsAre("Completed Successfully"));
       EXPECT_THAT(run.inst.Log(), HasSubstr("Proc_Name=Eof-Fix\r\nPeople.ADT"));
       const auto tags = run.inst.Tags("People.Adi");
       ASSERT_EQ(tags.size(), 2u);
       for (const auto& tag : tags) EXPECT_EQ(tag.PageSize, 4096u) << tag.Name;
       EXPECT_EQ(tags[0].Keys, 2u);
       EXPECT_EQ(run.inst.IndexProblems("People.ADT"), "");
     }},

    {"RepairOnAnEncryptedTableKeepsItsPassword",
     [](RunWorld& run) {
       // The removal's statement opens the table under the password the run
       // enabled on it; the table, open again under its password and at its
       // page size, gets both indexes.
       run.MakeEncrypted("CWorkers.ADT", {{"w1", "Ann"}, {"", "no id"}, {"w3", "Cy"}});
       run.inst.MainInx(
           "[*Not4Rmv]\r\nOther.ADT=N\r\n"
           "[CWorkers.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=NAME\r\n");
       run.inst.PageSizeInx("[CWorkers.ADT]\r\nInxPageSize=2048\r\n");
     },
     [](RunWorld& run) {
       EXPECT_THAT(run.inst.DialogTexts(), ElementsAre("Completed Successfully"));
       uint32_t page_size = 0;
       EXPECT_THAT(run.EncryptedTagNames("CWorkers.ADT", page_size),
                   ElementsAre("PRIMARY", "NAME"));
       EXPECT_EQ(page_size, 2048u);
       EXPECT_NE(run.inst.Log().find("RmvNullRecId-Removed CWorkers.ADT"), std::string::npos);
       EXPECT_EQ(run.inst.Log().find("Table Name CWorkers.ADT has worng"), std::string::npos);
     }},

    {"RepairWhoseRemovalFails",
     [](RunWorld& run) {
       run.inst.MakeTable("People.ADT", kFields, {{"c1", "Ann"}, {"", "no id"}});
       run.inst.MainInx(
           "[*Not4Rmv]\r\nOther.ADT=N\r\n"
           "[People.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=NAME\r\n");
       // While the repair waits with the table closed, another program takes
       // it, so the removal's statement cannot open it; it lets go before the
       // repair opens the table again.
       run.inst.Sleeps.OnSleep = [&run, waits = 0](unsigned ms) mutable {
         if (ms != 2000) return;
         if (++waits == 1) run.Hold("People.ADT");
         if (waits == 2) run.Release();
       };
     },
     [](RunWorld& run) {
       ASSERT_EQ(run.inst.Dialogs.size(), 2u);
       EXPECT_THAT(run.inst.Dialogs[0].Text, EndsWith("\r\nPeople.ADT"));
       EXPECT_THAT(run.inst.Dialogs[0].Text, Not(HasSubstr("empty")));
       EXPECT_EQ(run.inst.Dialogs[1].Text, "Error in Indexes Rebuild ");
       const std::string log = run.inst.Log();
       EXPECT_THAT(log, HasSubstr("Proc_Name=.RbldInxOnErr-Err\r\n"));
       EXPECT_THAT(log, HasSubstr("Proc_Name=RmvNullRecId-Eof\r\nPeople.ADT delete from People"));
       EXPECT_EQ(log.find("Proc_Name=Bof-Fix"), std::string::npos);
       // The table was opened again and its other index built.
       EXPECT_THAT(run.inst.TagNames("People.Adi"), ElementsAre("NAME"));
     }},

    {"ExceptionInTheRunIsCaughtAsAddIndexes1",
     [](RunWorld& run) {
       // The removal pass's first wait fails.
       run.inst.Sleeps.OnSleep = [](unsigned ms) {
         if (ms == 50) throw std::runtime_error("no more waiting");
       };
       run.inst.MainInx(
           "[*Not4Rmv]\r\nOrders.ADT=Y\r\n"
           "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
     },
     [](RunWorld& run) {
       EXPECT_THAT(run.inst.DialogTexts(), ElementsAre("Error in Indexes Rebuild "));
       const std::string log = run.inst.Log();
       EXPECT_THAT(log, HasSubstr("Proc_Name=.AddIndexes-1-ERR\r\n"));
       EXPECT_THAT(log, HasSubstr("no more waiting"));
       EXPECT_THAT(run.inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY"));
       ASSERT_NE(ConnectionDM(), nullptr);
       EXPECT_TRUE(ConnectionDM()->DBConnection->IsConnected());
     }},

    {"ExceptionInAcceptanceIsCaughtAsAddIndexes2",
     [](RunWorld& run) {
       run.inst.MainInx("");
       ASSERT_EQ(remove((run.inst.Tree / "DBSys/VorlexInx.ini").c_str()), 0);
       // The box saying the file is missing cannot be shown.
       ui::SetModalResponder([&run](const ui::ModalRequest& request) -> int {
         run.inst.Dialogs.push_back(request);
         if (request.Kind == ui::ModalKind::ErrorMessageBox)
           throw std::runtime_error("no box today");
         return 1;
       });
     },
     [](RunWorld& run) {
       ASSERT_EQ(run.inst.Dialogs.size(), 2u);
       EXPECT_THAT(run.inst.Dialogs[0].Text, HasSubstr("does not exist"));
       EXPECT_EQ(run.inst.Dialogs[1].Text, "Error in Indexes Rebuild ");
       const std::string log = run.inst.Log();
       EXPECT_THAT(log, HasSubstr("Proc_Name=AddIndexes-2-ERR\r\n"));
       EXPECT_THAT(log, HasSubstr("no box today"));
     }},

    {"NoDictionarySectionGivesAnEmptySecondPass",
     [](RunWorld& run) {
       run.inst.MainInx(
           "[*Not4Rmv]\r\nOther.ADT=N\r\n[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
     },
     [](RunWorld& run) {
       EXPECT_THAT(run.inst.DialogTexts(), ElementsAre("Completed Successfully"));
       const std::string log = run.inst.Log();
       EXPECT_THAT(log, HasSubstr("\r\nRbldInx:1"));
       EXPECT_THAT(log, HasSubstr("\r\nRbldInx:0"));
       EXPECT_TRUE(run.inst.TagNames("Contacts.Adi").empty()) << "the dictionary was never read";
     }},

    {"ClosingTheWindowWithoutAMarker", [](RunWorld& run) { run.press_start = false; },
     [](RunWorld& run) {
       EXPECT_THAT(run.DBSysFiles(), ElementsAre("VorlexInx.ini"));
       EXPECT_EQ(run.inst.Log().find("DelV_STOP"), std::string::npos);
     }},

    {"MarkerThatCannotBeDeletedIsMovedAside",
     [](RunWorld& run) {
       run.press_start = false;
       run.inst.Tree.WriteFile("DBSys/VorlexStop.INI", "");
       // Another program has the marker open while it is being deleted, and
       // lets go of it at the moment the first name to move it to is made.
       run.holder = std::make_unique<ChildLock>(run.Marker(), platform::LockKind::Shared);
       ASSERT_TRUE(run.holder->Locked());
       run.clock = std::make_unique<ScopedClock>(platform::LocalTime{2024, 2, 3, 14, 5, 9, 0});
       run.clock->OnRead([&run](const platform::LocalTime&) {
         if (run.holder) run.holder->Release();
       });
     },
     [](RunWorld& run) {
       EXPECT_FALSE(run.MarkerLeft());
       const auto files = run.DBSysFiles();
       ASSERT_EQ(files.size(), 2u);
       EXPECT_EQ(files[0], "VorlexInx.ini");
       EXPECT_THAT(files[1], ::testing::StartsWith("VorlexStop"));
       EXPECT_NE(files[1], "VorlexStop.INI");
       EXPECT_EQ(run.inst.Log().find("DelV_STOP"), std::string::npos);
     }},
};

void PrintTo(const ErrorPathCase& error_path, std::ostream* out) {
  *out << error_path.Name;
}

class RunErrorPathsTest : public ::testing::TestWithParam<ErrorPathCase> {};

TEST_P(RunErrorPathsTest, WhatTheOperatorSeesAndWhatIsLeft) {
  RunWorld run;
  BaseInstallation(run);
  ASSERT_TRUE(run.form.FormCreate());
  GetParam().Arrange(run);
  if (::testing::Test::HasFatalFailure()) return;
  if (run.press_start) {
    run.form.Button1->click();
  } else {
    run.form.show();
    run.form.close();
  }
  run.clock.reset();
  run.holder.reset();
  run.Release();

  // However the run ended, it leaves the window as it found it.
  EXPECT_TRUE(run.form.isEnabled());
  EXPECT_FALSE(run.MarkerLeft());
  EXPECT_FALSE(ProgressWindowLeft());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  GetParam().Check(run);
}

TEST(RunCleanUp, RunsWhenSomethingThatIsNoStdExceptionPassesThrough) {
  RunWorld run;
  BaseInstallation(run);
  ASSERT_TRUE(run.form.FormCreate());
  // The first fixed wait of the run throws what no handler of the program
  // knows: the index file of Orders is held, so its removal waits.
  struct Unknown {};
  run.inst.Sleeps.OnSleep = [](unsigned) { throw Unknown{}; };
  run.inst.Tree.WriteFile("DB/Orders.Adi", "");
  run.holder =
      std::make_unique<ChildLock>(run.inst.DB() + "/Orders.Adi", platform::LockKind::Shared);
  ASSERT_TRUE(run.holder->Locked());

  // Called directly: nothing may be thrown through the toolkit's own frames.
  EXPECT_THROW(run.form.Button1Click(), Unknown);
  run.holder.reset();

  EXPECT_TRUE(run.form.isEnabled());
  EXPECT_FALSE(run.MarkerLeft());
  EXPECT_FALSE(ProgressWindowLeft());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ASSERT_NE(ConnectionDM(), nullptr);
  EXPECT_TRUE(ConnectionDM()->DBConnection->IsConnected());
  // No table is left open: another program can take Orders exclusively.
  run.Hold("Orders.ADT");
  EXPECT_NE(run.held_table, nullptr);
}

// A table name is a file name in the database folder. Named with a path by
// a definition file or by the data dictionary, its table fails alone, before
// any file is touched, and the other tables are rebuilt.
TEST(TableNames, ThatCouldReachOutsideTheDatabaseFolderAreRefused) {
  RunWorld run;
  BaseInstallation(run);
  ASSERT_TRUE(run.form.FormCreate());
  // Index files above the database folder and in another folder, which the
  // refused names would delete.
  const std::string above = run.inst.Tree.WriteFile("Outside.Adi", "keep");
  TempDir elsewhere;
  const std::string other = elsewhere.WriteFile("X.Adi", "keep");
  const std::string by_path = elsewhere / "X.ADT";
  ASSERT_TRUE(platform::DeleteFile(run.inst.DB() + "/DicTables.ADT"));
  run.inst.MakeTable("DicTables.ADT", {"Type:C:1", "Table_Name:C:80"},
                     {{"U", "Contacts.ADT"}, {"U", by_path}, {"U", "..\\Outside.ADT"}});
  run.inst.MainInx(
      "[*Not4Rmv]\r\nOther.ADT=N\r\n"
      "[../Outside.ADT]\r\nNAME=NAME\r\n"
      "[" +
      by_path +
      "]\r\nNAME=NAME\r\n"
      "[DicTables.ADT]\r\nTABLE_NAME=Table_Name\r\n"
      "[Orders.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  run.form.Button1->click();

  EXPECT_EQ(TempDir::ReadFile(above), "keep");
  EXPECT_EQ(TempDir::ReadFile(other), "keep");
  // The first pass refuses two tables, the second is skipped after it.
  ASSERT_EQ(run.inst.Dialogs.size(), 3u);
  EXPECT_EQ(run.inst.Dialogs[0].Text,
            "The table name \"../Outside.ADT\" is not the name of a file in the database "
            "folder\r\n../Outside.ADT");
  EXPECT_THAT(run.inst.Dialogs[1].Text, EndsWith("\r\n" + by_path));
  EXPECT_EQ(run.inst.Dialogs[2].Text, "Error in Indexes Rebuild ");
  EXPECT_THAT(run.inst.Log(), HasSubstr("Proc_Name=AddIndexes-ERR\r\n../Outside.ADT"));
  EXPECT_THAT(run.inst.TagNames("Orders.Adi"), ElementsAre("PRIMARY"));
  EXPECT_THAT(run.inst.TagNames("DicTables.Adi"), ElementsAre("TABLE_NAME"));
}

TEST(TableNames, FromTheDataDictionaryAreRefusedInTheSecondPass) {
  RunWorld run;
  BaseInstallation(run);
  ASSERT_TRUE(run.form.FormCreate());
  TempDir elsewhere;
  const std::string other = elsewhere.WriteFile("X.Adi", "keep");
  const std::string by_path = elsewhere / "X.ADT";
  const std::string above = run.inst.Tree.WriteFile("Outside.Adi", "keep");
  ASSERT_TRUE(platform::DeleteFile(run.inst.DB() + "/DicTables.ADT"));
  run.inst.MakeTable("DicTables.ADT", {"Type:C:1", "Table_Name:C:80"},
                     {{"U", by_path}, {"U", "../Outside.ADT"}, {"U", "Contacts.ADT"}});
  run.form.Button1->click();

  EXPECT_EQ(TempDir::ReadFile(other), "keep");
  EXPECT_EQ(TempDir::ReadFile(above), "keep");
  ASSERT_EQ(run.inst.Dialogs.size(), 3u);
  EXPECT_THAT(run.inst.Dialogs[0].Text, EndsWith("\r\n" + by_path));
  EXPECT_THAT(run.inst.Dialogs[1].Text, EndsWith("\r\n../Outside.ADT"));
  EXPECT_EQ(run.inst.Dialogs[2].Text, "Error in Indexes Rebuild ");
  // The user table with a plain name still gets its primary index.
  EXPECT_THAT(run.inst.TagNames("Contacts.Adi"), ElementsAre("PRIMARY"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RunErrorPathsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ErrorPathCase>& info) {
                           return info.param.Name;
                         });

}  // namespace
