// The lines of a full entry that describe the object it was written for
// (the sender block) and the exception it reports (the exception block):
//
//   Sender_Class=<class of the sender>
//   Exception_Class=<class of the exception> <the thread's last error code>
//   Exception_Msg=<message>[CR LF <details of the exception's kind> " "]
//
// A system error (EOleSysError) adds its code as "EOleSysError = <code>" on a
// line of its own after the message, followed by a blank.
#include <QObject>

#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "diag/DatHE_Unit.h"

void THandleExceptions::WriteSenderBlock(std::string& Out, const QObject& Sender) {
  Out += MakeKeyValue("Sender_Class", Sender.metaObject()->className()) + "\r\n";
}

void THandleExceptions::WriteExceptionBlock(std::string& Out, const std::exception& E, uint32_t LastError) {
  std::string extra;
  if (const auto* system_error = dynamic_cast<const EOleSysError*>(&E)) {
    extra = "EOleSysError = " + IntToStr(system_error->ErrorCode());
  }
  if (!extra.empty()) extra = "\r\n" + extra + " ";
  Out += MakeKeyValue("Exception_Class", ExceptionClassName(E) + " " + IntToStr(LastError)) + "\r\n";
  Out += MakeKeyValue("Exception_Msg", ExceptionMessage(E) + extra) + "\r\n";
}
