// The plain message box of the platform, and the error message in the
// program's own dialog; both shown through the modal seam.
#pragma once

#include <string>

namespace ui {

// The application's title: the caption of plain message boxes and of the
// program's own custom dialogs.
std::string ApplicationTitle();

// A plain message box: the text, an OK button, the application's title.
void ShowPlainMessage(const std::string& text);

// An error message: the message dialog (TMessageForm) of the error kind, with
// the title "Error" and an OK button.
void ShowErrorMessage(const std::string& text);

}  // namespace ui
