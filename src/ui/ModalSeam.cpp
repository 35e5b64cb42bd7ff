#include "ui/ModalSeam.h"

#include <QDialog>

namespace ui {

namespace {

ModalResponder& Responder() {
  static ModalResponder responder;
  return responder;
}

}  // namespace

const char* ModalKindName(ModalKind kind) {
  switch (kind) {
    case ModalKind::PlainMessageBox:
      return "plain";
    case ModalKind::ErrorMessageBox:
      return "error";
    case ModalKind::MessageForm:
      return "message";
    case ModalKind::Form:
      return "form";
  }
  return "form";
}

void SetModalResponder(ModalResponder responder) {
  Responder() = std::move(responder);
}

bool HasModalResponder() {
  return static_cast<bool>(Responder());
}

int ShowModal(QDialog& dialog, ModalRequest request) {
  if (Responder()) {
    request.Dialog = &dialog;
    return Responder()(request);
  }
  return dialog.exec();
}

}  // namespace ui
