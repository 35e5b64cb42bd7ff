#include "ui/GenMsg_Unit.h"

#include <QMessageBox>

#include "common/AnsiCodePage.h"
#include "ui/MessageBoxes.h"
#include "ui/ModalSeam.h"

namespace {

// Until the program's own message dialog exists, the platform's box draws it;
// callers and what the seam sees stay the same.
void ShowMessageWithLink(const std::string& text, int link_id) {
  const std::string title = ui::ApplicationTitle();
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(AnsiToUtf8(title)),
                  QString::fromStdString(AnsiToUtf8(text)), QMessageBox::Ok);
  ui::ShowModal(box, ui::ModalRequest{ui::ModalKind::MessageForm, title, text, {"OK"}, link_id, nullptr});
}

}  // namespace

void ShowMsg(const std::string& text) { ShowMessageWithLink(text, 0); }

void ShowMsgWithHelp(const std::string& text, int link_id) { ShowMessageWithLink(text, link_id); }
