// An installation ready for a rebuild run, for tests: the tree of
// InstallationTree with the program in App/, the activity log started, the
// product name set, every modal box answered with OK and recorded, the fixed
// waits recorded instead of waited, and helpers to make tables, write the
// definition files and look at the index files a run leaves.
//
// Header-only; a test binary using it links the rebuild layer.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/DatGenAppNamesServices_Unit.h"
#include "db/DatGenDBConnectionDM.h"
#include "db/DatGenEngineCheck.h"
#include "diag/DatHE_Unit.h"
#include "engine/env/Connection.h"
#include "engine/env/EngineEnvironment.h"
#include "engine/index/IndexFile.h"
#include "engine/table/Table.h"
#include "support/EngineTables.h"
#include "support/InstallationTree.h"
#include "support/QtApp.h"
#include "support/TempDir.h"
#include "ui/ModalSeam.h"

class RebuildInstallation {
 public:
  RebuildInstallation() {
    // The engine's client files beside the program, as an installation has
    // them (the start-up's engine check looks for them there), and the
    // system lock table a local installation holds open.
    LinkEngineFiles(Tree);
    MakeTable("SysLock.adt", {"LOCKID:I"}, {{"1"}});
    previous_product_ = GetProductName();
    SetProductName("VorlexCRM");
    InitLog();
    ui::SetModalResponder([this](const ui::ModalRequest& request) {
      Dialogs.push_back(request);
      if (OnDialog) OnDialog(request);
      return 1;
    });
  }

  ~RebuildInstallation() {
    ui::SetModalResponder(nullptr);
    CloseSystemLock();
    FreeConnectionDM();
    FreeLogHandler();
    SetProductName(previous_product_);
  }

  RebuildInstallation(const RebuildInstallation&) = delete;
  RebuildInstallation& operator=(const RebuildInstallation&) = delete;

  // Links the engine's files of the running test program's folder into the
  // tree's App folder (those already there are kept).
  static void LinkEngineFiles(const InstallationTree& tree) {
    const std::filesystem::path built =
        std::filesystem::path(platform::ExecutableFileName()).parent_path();
    for (const char* name : engine::kEngineFileNames) {
      std::error_code ignored;
      std::filesystem::create_symlink(built / name, tree / ("App/" + std::string(name)), ignored);
    }
  }

  // The three definition files in DBSys.
  void MainInx(const std::string& text) { Tree.WriteFile("DBSys/VorlexInx.ini", text); }
  void SecInx(const std::string& text) { Tree.WriteFile("DBSys/VorlexInx2.ini", text); }
  void PageSizeInx(const std::string& text) { Tree.WriteFile("DBSys/VorlexInx3.ini", text); }

  std::string DB() const { return Tree / "DB"; }

  // Makes a table in DB/ ("NAME:C:10" fields, text rows, nullopt for NULL).
  void MakeTable(const std::string& name, const std::vector<std::string>& fields,
                 const std::vector<EngineRow>& rows) {
    const engine::Status status = MakeEngineTable(DB(), name, fields, rows);
    if (!status.ok()) throw std::runtime_error("cannot make " + name + ": " + status.Message());
  }

  // The tags of a table's index file (none when it has no index file).
  struct Tag {
    std::string Name;
    std::string Expression;
    engine::IndexTagOptions Options;
    uint32_t PageSize = 0;
    uint64_t Keys = 0;
  };
  std::vector<Tag> Tags(const std::string& index_file) const {
    std::vector<Tag> tags;
    const std::string path = DB() + "/" + index_file;
    if (!platform::FileExists(path)) return tags;
    auto file = engine::IndexFile::Open(path);
    if (!file.ok()) throw std::runtime_error(file.status().Message());
    for (const auto& info : (*file)->Tags()) {
      tags.push_back(
          Tag{info.Name, info.Expression, info.Options, (*file)->PageSize(), info.KeyCount});
    }
    return tags;
  }
  std::vector<std::string> TagNames(const std::string& index_file) const {
    std::vector<std::string> names;
    for (const Tag& tag : Tags(index_file)) names.push_back(tag.Name);
    return names;
  }

  // The engine's own verdict on every tag of a table: empty when all are
  // sound (or there is no index file), else the lines that are not.
  std::string IndexProblems(const std::string& table) const {
    auto connection = engine::Connection::Connect(DB());
    if (!connection.ok()) return connection.status().Message();
    auto opened = engine::Table::Open(**connection, table, engine::OpenMode::Shared);
    if (!opened.ok()) return opened.status().Message();
    const auto check = (*opened)->VerifyIndexes();
    if (!check || check->Ok()) return {};
    std::string problems;
    for (const std::string& line : check->Lines()) problems += line + "\n";
    return problems;
  }

  // The activity log of the program (named after it: "RebuildTool").
  std::string Log() const { return TempDir::ReadFile(Tree / "Logs/UserLog_RebuildTool.TXT"); }

  // Texts of the dialogs shown, in order.
  std::vector<std::string> DialogTexts() const {
    std::vector<std::string> texts;
    for (const auto& dialog : Dialogs) texts.push_back(dialog.Text);
    return texts;
  }

  QtAppGuard App;
  InstallationTree Tree;
  SleepRecorder Sleeps;
  std::vector<ui::ModalRequest> Dialogs;
  std::function<void(const ui::ModalRequest&)> OnDialog;

 private:
  std::string previous_product_;
};
