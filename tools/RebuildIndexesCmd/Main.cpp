// RebuildIndexesCmd: the window's rebuild run without the window, for a
// terminal or a scheduler. The run is the window's own: the main window is
// made (not shown), its start-up steps run, and Start is pressed; every
// dialog is answered with OK and printed to standard error with its title.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CmdInspect.h"
#include "CmdOptions.h"
#include "CmdProgress.h"
#include "CmdReport.h"
#include "app/MaimInxBld_Unit.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenResources.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/EADSDatabaseError.h"
#include "db/DatGenEngineCheck.h"
#include "engine/index/IndexFile.h"
#include "rebuild/DatProgBuildIndex_DM_Entries.h"
#include "rebuild/RebuildObserver.h"
#include "ui/ModalSeam.h"

namespace {

// ---------------------------------------------------------------- signals

volatile sig_atomic_t g_stop_signals = 0;
// The two names the stop marker may have, ready for the second signal, which
// ends the program at once and can only use async-signal-safe calls.
char g_marker[2][4096] = {};

void OnStopSignal(int) {
  g_stop_signals = g_stop_signals + 1;
  if (g_stop_signals >= 2) {
    for (const char* marker : g_marker) {
      if (marker[0]) unlink(marker);
    }
    static const char kMessage[] = "\nRebuildIndexesCmd: stopped at once\n";
    ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
    _exit(kExitFailed);
  }
}

// Qt's own notes (a display setting it had to default, a window it cannot
// raise off screen) are no concern of an operator; its failures still are.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void RememberMarkerNames() {
  const std::string names[2] = {IncludeBackslash(GetDBSysPath()) + "VorlexStop.INI",
                                StopMarkerFileName()};
  for (int i = 0; i < 2; ++i) {
    if (names[i].size() < sizeof g_marker[i])
      std::memcpy(g_marker[i], names[i].c_str(), names[i].size() + 1);
  }
}

// ---------------------------------------------------------------- output

// A text for a line of output: line breaks become "\n" followed by an
// indent, other control characters are dropped (a scheduler's log gets none).
std::string PrintableText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') {
      out += "\n  ";
    } else if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    }
  }
  return out;
}

class TCmdRun : public TRebuildObserver {
 public:
  TCmdRun(const TCmdOptions& options, bool terminal) : options_(options), terminal_(terminal) {}

  void RunStarted() override { started_ = true; }

  void Progress(const std::string& table, const std::string& index, int position,
                int max) override {
    const double now = Elapsed();
    CloseIndex(now);
    if (table.empty()) return;
    if (!index.empty()) {
      TableRecord(record_, table).Indexes.push_back(TIndexRecord{InxNameOf(index), 0, 0, false});
      open_table_ = table;
      open_since_ = now;
    }
    if (options_.Quiet) return;
    const TProgressState state{table, index, position, max, now};
    if (terminal_) {
      std::printf("\r%s\x1b[K", TerminalProgressLine(state).c_str());
      line_drawn_ = true;
    } else if (table != last_table_) {
      std::printf("%s\n", PrintableText(PlainProgressLine(state)).c_str());
    }
    last_table_ = table;
    std::fflush(stdout);
  }

  void Failed(const std::string& table, const std::string& index,
              const std::exception& error) override {
    const auto* engine_error = dynamic_cast<const EADSDatabaseError*>(&error);
    last_code_ = engine_error ? engine_error->ACEErrorCode() : 0;
    TableRecord(record_, table)
        .Errors.push_back(TErrorRecord{index, last_code_, ExceptionMessage(error)});
  }

  void RecordsRemoved(const std::string& table, long long count) override {
    TableRecord(record_, table).RecordsRemoved += count;
  }

  bool TableWanted(const std::string& table) override {
    if (options_.Tables.empty()) return true;
    return TableNamed(table.substr(0, table.find('*')), options_.Tables);
  }

  bool StopRequested() override { return g_stop_signals > 0; }

  void Finished(bool result) override {
    finished_ = true;
    result_ = result;
  }

  // The dialog printed to standard error; an error names its engine code.
  int Answer(const ui::ModalRequest& request) {
    ClearLine();
    std::string text = request.Text;
    if (request.Kind == ui::ModalKind::ErrorMessageBox && last_code_)
      text = ErrorWithCode(last_code_, text);
    if (request.Kind == ui::ModalKind::ErrorMessageBox) last_code_ = 0;
    std::fprintf(stderr, "%s: %s\n", PrintableText(request.Title).c_str(),
                 PrintableText(text).c_str());
    std::fflush(stderr);
    return 1;  // OK
  }

  int ExitCode() const {
    if (finished_ && result_) return kExitSucceeded;
    return started_ ? kExitFailed : kExitNotStarted;
  }

  // Settles the record after the run: times, page sizes, the outcome.
  TRunRecord& Finish(int exit_code) {
    const double now = Elapsed();
    CloseIndex(now);
    ClearLine();
    for (TTableRecord& table : record_.Tables) ReadIndexFile(table);
    record_.ExitCode = exit_code;
    record_.Seconds = now;
    record_.Outcome = exit_code == kExitSucceeded    ? "succeeded"
                      : exit_code == kExitNotStarted ? "not started"
                      : g_stop_signals > 0           ? "stopped"
                                                     : "failed";
    return record_;
  }

 private:
  double Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  void CloseIndex(double now) {
    if (open_table_.empty()) return;
    TableRecord(record_, open_table_).Indexes.back().Seconds = now - open_since_;
    open_table_.clear();
  }

  void ClearLine() {
    if (!line_drawn_) return;
    std::printf("\r\x1b[K");
    std::fflush(stdout);
    line_drawn_ = false;
  }

  // The page size and kind of each index the table's index file holds now.
  static void ReadIndexFile(TTableRecord& table) {
    const std::string base = AnsiUpperCase(ChangeFileExt(table.Name, ""));
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(GetDBPath(), error)) {
      if (AnsiUpperCase(entry.path().filename().string()) != base + ".ADI") continue;
      auto file = engine::IndexFile::Open(entry.path().string());
      if (!file.ok()) return;
      for (TIndexRecord& index : table.Indexes) {
        for (const engine::IndexTagInfo& tag : (*file)->Tags()) {
          if (!SameText(tag.Name, index.Name)) continue;
          index.PageSize = (*file)->PageSize();
          index.FullText = tag.Kind != engine::IndexTagKind::BTree;
        }
      }
      return;
    }
  }

  const TCmdOptions& options_;
  const bool terminal_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  TRunRecord record_;
  std::string open_table_;
  double open_since_ = 0;
  std::string last_table_;
  bool line_drawn_ = false;
  uint32_t last_code_ = 0;
  bool started_ = false;
  bool finished_ = false;
  bool result_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  TCmdOptions options;
  std::string error;
  if (!ParseCmdOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "RebuildIndexesCmd: %s\n\n%s", error.c_str(), CmdUsage().c_str());
    return kExitBadUsage;
  }
  if (options.Help) {
    std::printf("%s", CmdUsage().c_str());
    return kExitSucceeded;
  }

  // No window is ever shown: the progress window and the dialogs are made
  // off screen, so a run needs no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(QtMessages);
  LoadInstallationDefaults();
  QApplication app(argc, argv);
  QApplication::setApplicationName("RebuildIndexes");
  QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");

  TCmdRun run(options, isatty(STDOUT_FILENO) != 0);
  ui::SetModalResponder([&run](const ui::ModalRequest& request) { return run.Answer(request); });

  LoadProductName();
  LoadLanguageResources();
  if (options.Check || options.DryRun) {
    // Nothing is written, not even the activity log.
    TRebuildPlan plan;
    if (!ReadRebuildPlan(plan)) return kExitNotStarted;
    if (!options.Tables.empty()) RestrictPlan(plan, options.Tables);
    const int code = options.Check ? RunCheck(plan, stdout) : RunDryRun(plan, stdout);
    ui::SetModalResponder(nullptr);
    return code;
  }
  SetRebuildObserver(&run);
  InstallStopSignals();

  int exit_code = kExitNotStarted;
  {
    TForm1 form;
    bool started = false;
    try {
      started = form.FormCreate();
    } catch (const std::exception& e) {
      // The system lock table could not be opened: the run cannot start.
      std::fprintf(stderr, "RebuildIndexesCmd: %s\n", PrintableText(ExceptionMessage(e)).c_str());
    }
    if (started) {
      RememberMarkerNames();
      form.Button1Click();
      exit_code = run.ExitCode();
    }
  }
  CloseSystemLock();
  SetRebuildObserver(nullptr);
  ui::SetModalResponder(nullptr);

  const TRunRecord& record = run.Finish(exit_code);
  if (!options.ReportFile.empty()) {
    std::ofstream report(options.ReportFile, std::ios::binary | std::ios::trunc);
    report << RunReportJson(record);
    if (!report) {
      std::fprintf(stderr, "RebuildIndexesCmd: cannot write the report %s\n",
                   options.ReportFile.c_str());
    }
  }
  return exit_code;
}
