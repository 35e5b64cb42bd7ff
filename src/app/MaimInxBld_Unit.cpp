#include "app/MaimInxBld_Unit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <memory>

#include "common/DatGenDateTime.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenRandom.h"
#include "common/DatGenResources.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "crashreport/EurekaLog.h"
#include "db/DatGenEngineCheck.h"
#include "diag/DatHEMgr_Unit.h"
#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "rebuild/DatProgProgressForm.h"
#include "ui/DatGenFormTextHook.h"
#include "ui/GenMsg_Unit.h"
#include "ui/MessageBoxes.h"

namespace {

constexpr const char* kStopMarkerName = "VorlexStop.INI";

std::string PathAndLastError(const std::string& path, int code) {
  return path + " " + IntToStr(code);
}

}  // namespace

std::string StopMarkerFileName() {
  std::string resolved;
  ResolveFileName(IncludeBackslash(GetDBSysPath()) + kStopMarkerName, true, resolved);
  return resolved;
}

std::string StopMarkerAsideName(const std::string& marker, int random) {
  const std::string stamp = FormatDateTime("ddmmyyhhmmss", Now());
  return ChangeFileExt(marker, "_" + stamp + "_" + IntToStr(random)) + ".old";
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("Form1");
  setWindowTitle("Rebuild Indexes ");
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);
  setFixedSize(292, 166);

  Button1 = new QPushButton("Start", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(108, 70, 75, 25);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  EurekaLog1 = std::make_unique<TEurekaLog>();

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

TForm1::~TForm1() = default;

void InitializeProcess() {
  LoadInstallationDefaults();
  CreateHEMgr();
  // What the installation says about itself: its product's name, and the
  // language resources beside the program.
  LoadProductName();
  LoadLanguageResources();
}

bool TForm1::FormCreate() {
  InstallFormTextHook();
  SetMainForm(this);
  InitLog();
  if (THEMgr* manager = GetHEMgr()) manager->InitEurekaLog(EurekaLog1.get());
  Randomize();
  std::string message;
  if (!CheckEngine(message)) {
    ui::ShowPlainMessage(message);
    WriteLog(this, "VlxHlt-0", message, nullptr);
    return false;
  }
  if (!OpenSystemLock()) {
    WriteLog(this, "VlxHlt-1", "", nullptr);
    return false;
  }
  return true;
}

void TForm1::Button1Click() {
  bool result = false;
  WriteLog("MainFrm-Bld-Bof", BoolToYN(result));
  // The clean-up runs however the run ends, even when something that is not
  // a std::exception passes through here on its way up.
  struct RunCleanUp {
    TForm1& form;
    ~RunCleanUp() {
      // Clicks and keys that arrived during the run meet the still disabled
      // window and are dropped, so none of them starts another run.
      QCoreApplication::processEvents();
      form.RemoveStopMarker();
      form.setEnabled(true);
    }
  };
  {
    const RunCleanUp clean_up{*this};
    try {
      setEnabled(false);
      // The disabled window is drawn as such before the busy run begins.
      PaintNow(*this);
      MakeStopMarker();
      WriteLog(GetDBPath(), "");
      auto data_module = std::make_unique<TDatProgBuildIndex_DataModule>(nullptr);
      result = data_module->RunRebuild();
      ui::ShowPlainMessage(result ? "Completed Successfully" : "Error in Indexes Rebuild ");
    } catch (const std::exception& e) {
      // The run's own failures were shown and logged where they happened; an
      // escaping exception is logged here and the outcome stays "not done".
      WriteLog(this, ".", "", &e);
    }
  }
  WriteLog("MainFrm-Bld-Eof", BoolToYN(result));
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  QWidget::closeEvent(event);
}

void TForm1::FormClose() {
  RemoveStopMarker();
}

void TForm1::MakeStopMarker() {
  const std::string marker = StopMarkerFileName();
  const int written = WriteTextToFile(marker, "");
  if (written != 0) {
    const Exception failure("Cannot create file \"" + marker + "\"");
    WriteLog(this, ".MakeV_STOP", PathAndLastError(marker, written), &failure);
  }
}

void TForm1::RemoveStopMarker() {
  const std::string marker_path = IncludeBackslash(GetDBSysPath()) + kStopMarkerName;
  std::string marker = marker_path;
  try {
    if (!ResolveFileName(marker_path, true, marker)) return;
    if (DeleteWellKnownFile(marker_path)) return;
    SetFileReadOnly(marker, false);
    if (DeleteWellKnownFile(marker_path)) return;
    if (!platform::MoveFile(marker, StopMarkerAsideName(marker, Random(100000)))) {
      WriteLog(this, ".DelV_STOP", PathAndLastError(marker, platform::GetLastError()), nullptr);
    }
  } catch (const std::exception& e) {
    WriteLog(this, ".DelV_STOP", PathAndLastError(marker, platform::GetLastError()), &e);
  }
}
