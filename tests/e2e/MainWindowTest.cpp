// The main window: its layout, the stop marker around a Start, and what a
// Start logs and reports when the run fails early.
#include <sys/stat.h>
#include <QApplication>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "support/ChildLock.h"
#include "support/RebuildInstallation.h"
#include "support/ScopedClock.h"

namespace {

using ::testing::HasSubstr;

class MainWindowTest : public ::testing::Test {
 protected:
  // A Start whose run fails at once (no main definition file), so only the
  // window's own steps matter.
  void PressStart() {
    TForm1 form;
    ASSERT_TRUE(form.FormCreate());
    form.Button1->click();
  }

  std::string Marker(const char* name) const { return inst.Tree / (std::string("DBSys/") + name); }

  RebuildInstallation inst;
};

TEST_F(MainWindowTest, Layout) {
  TForm1 form;
  EXPECT_EQ(form.windowTitle().toStdString(), "Rebuild Indexes ");
  EXPECT_EQ(form.size(), QSize(292, 166));
  EXPECT_EQ(form.Button1->text().toStdString(), "Start");
  EXPECT_EQ(form.Button1->geometry(), QRect(108, 70, 75, 25));
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(MainWindowTest, MarkerExistsUnderItsGenericNameDuringTheRunOnly) {
  bool marker_during_run = false;
  bool window_disabled = false;
  inst.OnDialog = [&](const ui::ModalRequest&) {
    marker_during_run = platform::FileExists(Marker("CRMStop.INI"));
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<TForm1*>(widget)) window_disabled = !widget->isEnabled();
    }
  };
  PressStart();
  EXPECT_TRUE(marker_during_run);
  EXPECT_TRUE(window_disabled);
  EXPECT_FALSE(platform::FileExists(Marker("CRMStop.INI")));
  EXPECT_FALSE(platform::FileExists(Marker("VorlexStop.INI")));
}

TEST_F(MainWindowTest, MarkerLeftByAnEarlierRunIsTruncatedAndRemoved) {
  inst.Tree.WriteFile("DBSys/VorlexStop.INI", "left over");
  int64_t size_during_run = -1;
  inst.OnDialog = [&](const ui::ModalRequest&) {
    platform::FileInfo info;
    if (platform::GetFileInfo(Marker("VorlexStop.INI"), info))
      size_during_run = static_cast<int64_t>(info.Size);
  };
  PressStart();
  EXPECT_EQ(size_during_run, 0);
  EXPECT_FALSE(platform::FileExists(Marker("VorlexStop.INI")));
}

TEST_F(MainWindowTest, ReadOnlyMarkerIsNotWrittenButLoggedAndRemovedAtTheEnd) {
  // Whoever the user (the superuser too), a read-only marker is not truncated.
  inst.Tree.WriteFile("DBSys/VorlexStop.INI", "left over");
  ASSERT_TRUE(platform::SetReadOnly(Marker("VorlexStop.INI"), true));
  std::string content_during_run;
  inst.OnDialog = [&](const ui::ModalRequest&) {
    content_during_run = TempDir::ReadFile(Marker("VorlexStop.INI"));
  };
  PressStart();
  EXPECT_EQ(content_during_run, "left over");
  EXPECT_THAT(inst.Log(),
              HasSubstr("Proc_Name=.MakeV_STOP\r\n" + Marker("VorlexStop.INI") + " 13\r\n"));
  EXPECT_FALSE(platform::FileExists(Marker("VorlexStop.INI")));
}

TEST_F(MainWindowTest, ReadOnlyMarkerIsRemovedWhenTheWindowCloses) {
  inst.Tree.WriteFile("DBSys/VorlexStop.INI", "");
  ASSERT_TRUE(platform::SetReadOnly(Marker("VorlexStop.INI"), true));
  {
    TForm1 form;
    form.show();
    form.close();
  }
  EXPECT_FALSE(platform::FileExists(Marker("VorlexStop.INI")));
}

TEST_F(MainWindowTest, MarkerHeldByAnotherProgramIsLoggedAndStays) {
  inst.Tree.WriteFile("DBSys/VorlexStop.INI", "");
  ChildLock holder(Marker("VorlexStop.INI"), platform::LockKind::Shared);
  ASSERT_TRUE(holder.Locked());
  {
    TForm1 form;
    form.show();
    form.close();
  }
  EXPECT_TRUE(platform::FileExists(Marker("VorlexStop.INI")));
  EXPECT_THAT(inst.Log(), HasSubstr("Proc_Name=.DelV_STOP\r\n" + Marker("VorlexStop.INI") + " 16"));
}

TEST_F(MainWindowTest, MissingDBSysIsLoggedAndTheRunStillStarts) {
  ASSERT_EQ(system(("rm -rf '" + inst.Tree / "DBSys" + "'").c_str()), 0);
  PressStart();
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("Proc_Name=.MakeV_STOP\r\n"));
  EXPECT_THAT(log, HasSubstr("GenInxFile-1: "));  // the run went on to look for its definitions
  EXPECT_THAT(inst.DialogTexts().back(), "Error in Indexes Rebuild ");
}

TEST(StopMarkerAsideName, ReplacesTheExtensionWithStampAndNumber) {
  ScopedClock clock({2024, 2, 3, 14, 5, 9, 0});
  EXPECT_EQ(StopMarkerAsideName("/i/DBSys/VorlexStop.INI", 4711),
            "/i/DBSys/VorlexStop_030224140509_4711.old");
}

}  // namespace
