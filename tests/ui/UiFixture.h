// A widget test of the messages and help: the offscreen application, every
// modal showing answered by a responder that records it (and may look at the
// real dialog while it would be on screen), pages "opened" into a list, and
// no main form, help link manager or language module left from another test.
#pragma once

#include <QApplication>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DatGenResources.h"
#include "support/QtApp.h"
#include "ui/DatGenWebHelpLinkMgr_Unit.h"
#include "ui/GenMsg_Unit.h"
#include "ui/ModalSeam.h"

class UiTest : public ::testing::Test {
 protected:
  UiTest() {
    EnsureQtApp();
    ui::SetModalResponder([this](const ui::ModalRequest& request) {
      Shown.push_back(request);
      return OnShow ? OnShow(request) : 1;
    });
    SetShellOpenHandler([this](const std::string& url) { Opened.push_back(url); });
  }

  ~UiTest() override {
    ui::SetModalResponder(nullptr);
    SetShellOpenHandler(nullptr);
    FreeHelpLinkMgr();
    UnloadResourceModule();
    SetMainForm(nullptr);
  }

  // Shows `window` and makes it the active window.
  static void Activate(QWidget& window) {
    window.show();
    window.activateWindow();
    QApplication::processEvents();
  }

  std::vector<ui::ModalRequest> Shown;
  std::vector<std::string> Opened;
  std::function<int(const ui::ModalRequest&)> OnShow;
};
