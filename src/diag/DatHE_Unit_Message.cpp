#include "diag/DatHE_Unit_Message.h"

#include "common/Exceptions.h"
#include "diag/DatHE_Unit.h"
#include "ui/GenMsg_Unit.h"

namespace {

// The program's resource text; "\x85" is the ellipsis of the ANSI code page,
// and the line ends are LF CR as the program has always written them.
constexpr const char* kRecordedMessage =
    "Ooopppsss\x85\n\r\n\rThe following message has been recorded:\n\r\n\r%s\n\r\n\rIf the above "
    "message/solution is not clear, and you are still encountering problems, we recommend you log "
    "out "
    "from %S, log in again and retry.\n\r";

std::string Replace(std::string text, const std::string& pattern, const std::string& value) {
  const size_t at = text.find(pattern);
  if (at != std::string::npos) text.replace(at, pattern.size(), value);
  return text;
}

}  // namespace

std::string ExceptionMessageText(const std::exception& E) {
  // %S first: the message put in place of %s may itself hold "%S".
  return Replace(Replace(kRecordedMessage, "%S", GetExeBaseName()), "%s", ExceptionMessage(E));
}

void ShowExceptionMessage(const std::exception& E) {
  try {
    if (!NeedsExceptionMessage(E)) return;
    ShowMsg(ExceptionMessageText(E));
  } catch (...) {
    // A dialog that cannot be shown is not shown; the entry is in the log.
  }
}
