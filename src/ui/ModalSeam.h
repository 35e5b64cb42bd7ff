// The one road by which the program shows anything modal.
//
// Every message box and modal form goes through ShowModal. Without a
// responder the real modal loop runs. A test (or the unattended command-line
// runner) installs a responder: the widget is still built for real, but
// instead of blocking, the request (kind, title, text, buttons) is handed to
// the responder, whose answer becomes the modal result.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QDialog;

namespace ui {

// What kind of modal thing is being shown.
enum class ModalKind {
  PlainMessageBox,  // the platform's plain message box (no icon, the application's title)
  ErrorMessageBox,  // an error message: the program's message dialog of the error kind
  MessageForm,      // the program's message dialog of any other kind
  Form,             // any other modal form
};

const char* ModalKindName(ModalKind kind);

// One modal showing as the responder sees it. Texts are ANSI.
struct ModalRequest {
  ModalKind Kind = ModalKind::Form;
  std::string Title;
  std::string Text;
  std::vector<std::string> Buttons;  // captions in the order shown
  int HelpLinkId = 0;                // the help link asked for, 0 for none
  QDialog* Dialog = nullptr;         // the built dialog, valid during the call
};

// Answers a request with a modal result (1 = OK, 2 = cancel, 6 = yes, ...).
using ModalResponder = std::function<int(const ModalRequest&)>;

// Installs a responder for the whole process; an empty one restores the real
// modal loop.
void SetModalResponder(ModalResponder responder);
bool HasModalResponder();

// Shows `dialog` modally, or asks the responder. Returns the modal result.
int ShowModal(QDialog& dialog, ModalRequest request);

}  // namespace ui
