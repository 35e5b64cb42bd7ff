#include "ui/MessageBoxes.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "common/AnsiCodePage.h"
#include "ui/GenMsg_Unit.h"
#include "ui/ModalSeam.h"

namespace ui {

namespace {

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(AnsiToUtf8(text));
}

void ShowBox(ModalKind kind, QMessageBox::Icon icon, const std::string& title,
             const std::string& text) {
  QMessageBox box(icon, FromAnsi(title), FromAnsi(text), QMessageBox::Ok);
  ShowModal(box, ModalRequest{kind, title, text, {"OK"}, 0, nullptr});
}

}  // namespace

std::string ApplicationTitle() {
  return Utf8ToAnsi(QCoreApplication::applicationName().toStdString());
}

void ShowPlainMessage(const std::string& text) {
  ShowBox(ModalKind::PlainMessageBox, QMessageBox::NoIcon, ApplicationTitle(), text);
}

void ShowErrorMessage(const std::string& text) {
  ShowMessageForm(text, TMsgDlgType::mtError, {TMsgDlgBtn::mbOK}, 0);
}

}  // namespace ui
