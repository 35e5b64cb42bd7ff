// A connection test: an installation tree with the program in App/, the
// activity log started, the product name set and every modal box answered
// with OK and recorded. A server installation when asked.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DatGenAppNamesServices_Unit.h"
#include "diag/DatHE_Unit.h"
#include "support/InstallationTree.h"
#include "support/QtApp.h"
#include "support/TempDir.h"
#include "ui/ModalSeam.h"

class ConnectionFixture : public ::testing::Test {
 protected:
  ConnectionFixture() {
    previous_product_ = GetProductName();
    SetProductName("VorlexCRM");
    InitLog();
    ui::SetModalResponder([this](const ui::ModalRequest& request) {
      Dialogs.push_back(request);
      return 1;
    });
  }

  ~ConnectionFixture() override {
    ui::SetModalResponder(nullptr);
    FreeLogHandler();
    SetProductName(previous_product_);
  }

  // The marker that makes the installation a server installation.
  void MakeServerInstallation() {
    Tree.WriteFile("DBSys/VorlexServer.sr1", "");
    Tree.Reload();
  }

  std::string Log() const { return TempDir::ReadFile(Tree / "Logs/UserLog_RebuildTool.TXT"); }

  // Whether something listens on 127.0.0.1:`port`.
  static bool LoopbackPortAnswers(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answers;
  }

  QtAppGuard App;
  InstallationTree Tree;
  std::vector<ui::ModalRequest> Dialogs;

 private:
  std::string previous_product_;
};
