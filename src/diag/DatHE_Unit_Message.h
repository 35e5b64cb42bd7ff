// The recorded-message dialog the operator sees for an unhandled exception.
#pragma once

#include <exception>
#include <string>

// The dialog's text for E: "Ooopppsss…", the exception's message and the
// advice to log in again to the program (GetExeBaseName).
std::string ExceptionMessageText(const std::exception& E);

// Shows the dialog for E, unless NeedsExceptionMessage(E) is false (the
// engine's error 5041). Failures are swallowed.
void ShowExceptionMessage(const std::exception& E);
