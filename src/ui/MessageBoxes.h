// The platform's standard message boxes, shown through the modal seam.
#pragma once

#include <string>

namespace ui {

// The application's title: the caption of plain message boxes and of the
// program's own custom dialogs.
std::string ApplicationTitle();

// A plain message box: the text, an OK button, the application's title.
void ShowPlainMessage(const std::string& text);

// A message box with the error icon, the title "Error" and an OK button.
void ShowErrorMessage(const std::string& text);

}  // namespace ui
