// What the operator sees on a real X server while a run is busy: the screen
// is captured by another process (ImageMagick's import) at moments when the
// user-interface thread is inside the run, and compared with what the
// windows paint.
//
// The test binary runs on the xcb platform. It uses the X server of DISPLAY
// when there is one, else starts its own Xvfb for the whole binary; without
// either it skips.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/MaimInxBld_Unit.h"
#include "rebuild/DatProgProgressForm.h"
#include "support/RebuildInstallation.h"

extern char** environ;

namespace {

using ::testing::ElementsAre;

// ---------------------------------------------------------------- child processes

// Waits for the child `pid` to end, at most `timeout_ms`; kills it when it
// does not. Its exit status, or -1.
int WaitForChild(pid_t pid, int timeout_ms) {
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd ended{pidfd, POLLIN, 0};
    const int ready = poll(&ended, 1, timeout_ms);
    close(pidfd);
    if (ready <= 0) kill(pid, SIGKILL);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

pid_t Spawn(const std::vector<std::string>& args, posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

// ---------------------------------------------------------------- the X server

// The X server the binary's tests draw on: DISPLAY's, or an Xvfb of our own.
class XServer : public ::testing::Environment {
 public:
  static bool Available() { return available_; }

  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) StartXvfb();
    display = std::getenv("DISPLAY");
    available_ = display && *display;
    // Every widget of this binary is a real window on that server.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }

  void TearDown() override {
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      WaitForChild(xvfb_, 10000);
    }
  }

 private:
  void StartXvfb() {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    // The server writes the display number it chose to this descriptor.
    xvfb_ = Spawn({"Xvfb", "-displayfd", std::to_string(pipe_fds[1]), "-screen", "0", "1024x768x24",
                   "-nolisten", "tcp"},
                  &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    std::string number;
    pollfd readable{pipe_fds[0], POLLIN, 0};
    while (xvfb_ > 0 && poll(&readable, 1, 10000) > 0) {
      char c = 0;
      if (read(pipe_fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(pipe_fds[0]);
    if (!number.empty()) setenv("DISPLAY", (":" + number).c_str(), 1);
  }

  pid_t xvfb_ = -1;
  static inline bool available_ = false;
};

[[maybe_unused]] ::testing::Environment* const kXServer =
    ::testing::AddGlobalTestEnvironment(new XServer);

// The whole screen as another program sees it, or a null image.
QImage CaptureScreen(const std::string& png) {
  const pid_t pid = Spawn({"import", "-window", "root", png});
  if (pid < 0 || WaitForChild(pid, 20000) != 0) return {};
  return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
}

// The share of pixels of `expected` that `screen` shows at `origin`, each
// colour channel within a small tolerance.
double ShareShown(const QImage& screen, const QPoint& origin, const QImage& expected) {
  const QImage want = expected.convertToFormat(QImage::Format_RGB32);
  long same = 0;
  for (int y = 0; y < want.height(); ++y) {
    for (int x = 0; x < want.width(); ++x) {
      const QPoint at = origin + QPoint(x, y);
      if (!screen.rect().contains(at)) continue;
      const QColor a = screen.pixelColor(at);
      const QColor b = want.pixelColor(x, y);
      if (std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
          std::abs(a.blue() - b.blue()) <= 8) {
        ++same;
      }
    }
  }
  return static_cast<double>(same) / (want.width() * want.height());
}

// ---------------------------------------------------------------- the tests

class ScreenCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XServer::Available()) GTEST_SKIP() << "no X server (set DISPLAY or install Xvfb)";
  }

  // The main window shown on the screen, as the operator has it before Start.
  std::unique_ptr<TForm1> ShowMainWindow() {
    auto form = std::make_unique<TForm1>();
    EXPECT_TRUE(form->FormCreate());
    form->show();
    // The test's own wait (bounded), as the idle program's event loop would
    // have mapped, exposed and painted the window before anyone pressed Start.
    QElapsedTimer waited;
    waited.start();
    while (!form->windowHandle()->isExposed() && waited.elapsed() < 10000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_TRUE(form->windowHandle()->isExposed());
    form->repaint();
    QGuiApplication::sync();
    return form;
  }

  TDatProgProgressFrm* ProgressWindow() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* progress = qobject_cast<TDatProgProgressFrm*>(widget)) return progress;
    }
    return nullptr;
  }

  // What the progress window showed at one capture.
  struct Moment {
    QImage Screen;
    QImage Painted;  // the window as it paints itself at that moment
    QPoint Origin;   // its client area's place on the screen
    std::string Table, Index;
    int Position = 0;
  };

  Moment Capture(const std::string& png) {
    Moment moment;
    moment.Screen = CaptureScreen(inst.Tree / png);
    if (TDatProgProgressFrm* progress = ProgressWindow()) {
      moment.Painted = progress->grab().toImage();
      moment.Origin = progress->mapToGlobal(QPoint(0, 0));
      moment.Table = progress->TableNameLbl->text().toStdString();
      moment.Index = progress->Indexnamelbl->text().toStdString();
      moment.Position = progress->VlxProgressBar1->Position();
    }
    return moment;
  }

  RebuildInstallation inst;
};

TEST_F(ScreenCaptureTest, ProgressWindowIsOnTheScreenWhileTheRunIsBusy) {
  // Two tables whose primary index is repaired: each repair waits with the
  // window showing its table and index, and the screen is captured then.
  const std::vector<std::string> fields = {"RECID:C:16", "NAME:C:20"};
  inst.MakeTable("Customers.ADT", fields, {{"c1", "Ann"}, {"", "no id"}, {"c3", "Cy"}});
  inst.MakeTable("Suppliers.ADT", fields, {{"s1", "Bo"}, {std::nullopt, "no id"}});
  inst.MainInx(
      "[*Not4Rmv]\r\nOther.ADT=N\r\n"
      "[Customers.ADT]\r\nNAME=NAME\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "[Suppliers.ADT]\r\nNAME=NAME\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n");
  auto form = ShowMainWindow();

  std::vector<Moment> moments;
  int waits = 0;
  inst.Sleeps.OnSleep = [&](unsigned ms) {
    // The first of the three waits of each repair.
    if (ms == 2000 && waits++ % 3 == 0)
      moments.push_back(Capture("capture" + std::to_string(waits) + ".png"));
  };
  form->Button1->click();

  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  ASSERT_EQ(moments.size(), 2u);
  for (const Moment& moment : moments) {
    ASSERT_FALSE(moment.Screen.isNull()) << "the screen could not be captured";
    ASSERT_FALSE(moment.Painted.isNull()) << "no progress window during the run";
    // The screen shows the window as it paints itself, labels and bar alike.
    EXPECT_GT(ShareShown(moment.Screen, moment.Origin, moment.Painted), 0.98) << moment.Table;
    EXPECT_EQ(moment.Index, "VLX_PRIMARY_KEY");
  }
  EXPECT_EQ(moments[0].Table, "Customers.ADT");
  EXPECT_EQ(moments[1].Table, "Suppliers.ADT");
  // The bar advanced between the captures, on the screen too.
  EXPECT_EQ(moments[0].Position, 2);
  EXPECT_EQ(moments[1].Position, 4);
  const TDatProgProgressFrm probe;
  const QRect bar = probe.VlxProgressBar1->geometry().translated(moments[0].Origin);
  EXPECT_NE(moments[0].Screen.copy(bar), moments[1].Screen.copy(bar));
  const QRect table_label(moments[0].Origin + QPoint(94, 13), QSize(200, 16));
  EXPECT_NE(moments[0].Screen.copy(table_label), moments[1].Screen.copy(table_label));
}

TEST_F(ScreenCaptureTest, StartIsDrawnDisabledWhileTheRunIsBusy) {
  // No definition file: the run's first box comes before any progress
  // window, and the screen is captured while it is up.
  auto form = ShowMainWindow();
  const QImage enabled = form->Button1->grab().toImage();
  QImage screen;
  QImage disabled;
  inst.OnDialog = [&](const ui::ModalRequest&) {
    if (!screen.isNull()) return;
    screen = CaptureScreen(inst.Tree / "start.png");
    disabled = form->Button1->grab().toImage();
  };
  form->Button1->click();

  ASSERT_FALSE(screen.isNull());
  ASSERT_NE(enabled, disabled) << "the two looks of the button differ";
  const QPoint origin = form->Button1->mapToGlobal(QPoint(0, 0));
  EXPECT_GT(ShareShown(screen, origin, disabled), 0.98);
  EXPECT_LT(ShareShown(screen, origin, enabled), 0.98);
}

// Runs `args` to its end (at most `timeout_ms`); its exit status, and its
// standard output in `out`.
int RunToEnd(const std::vector<std::string>& args, std::string& out, int timeout_ms) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  const pid_t pid = Spawn(args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  out.clear();
  pollfd readable{pipe_fds[0], POLLIN, 0};
  char buffer[256];
  while (pid > 0 && poll(&readable, 1, timeout_ms) > 0) {
    const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  return pid > 0 ? WaitForChild(pid, timeout_ms) : -1;
}

// The real program, started from an installation with an engine file
// missing: the missing-files box is the only window it shows; once it is
// answered the program ends with exit code 0, its main window never shown.
TEST_F(ScreenCaptureTest, ProgramWithAnEngineFileMissingShowsTheBoxAndEndsBeforeItsWindow) {
  namespace fs = std::filesystem;
  const fs::path built(REBUILD_GUI_PATH);
  const fs::path app = inst.Tree / "App";
  fs::copy_file(built, app / "RebuildIndexes");
  for (const auto& entry : fs::directory_iterator(built.parent_path())) {
    if (entry.path().extension() == ".so")
      fs::create_symlink(entry.path(), app / entry.path().filename());
  }
  fs::remove(app / "axcws32.dll");
  const pid_t program = Spawn({(app / "RebuildIndexes").string()});
  ASSERT_GT(program, 0);

  // The box carries the application's name as its title.
  std::string box;
  const int found = RunToEnd(
      {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^RebuildIndexes$"}, box, 20000);
  std::string main_window;
  const int main_found = RunToEnd(
      {"xdotool", "search", "--onlyvisible", "--name", "^Rebuild Indexes $"}, main_window, 20000);
  std::string ignored;
  if (found == 0) {
    RunToEnd({"xdotool", "windowfocus", box.substr(0, box.find('\n')), "key", "Return"}, ignored,
             20000);
  }
  const int exit_code = WaitForChild(program, 20000);

  EXPECT_EQ(found, 0) << "the missing-files box was not seen";
  EXPECT_NE(main_found, 0) << "the main window appeared: " << main_window;
  EXPECT_EQ(exit_code, 0);
  const std::string log = TempDir::ReadFile(inst.Tree / "Logs/UserLog_RebuildIndexes.TXT");
  EXPECT_NE(log.find("Proc_Name=VlxHlt-0"), std::string::npos) << log;
  EXPECT_NE(log.find("RebuildIndexes operation stopped.\r\n\r\nFolder:\r\n"), std::string::npos);
  EXPECT_NE(log.find("Missing Files:\r\naxcws32.dll\r\n"), std::string::npos);
}

}  // namespace
