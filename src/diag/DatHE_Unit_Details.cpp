// The lines of a full entry that describe the object it was written for
// (the sender block) and the exception it reports (the exception block):
//
//   Sender_Class=<class of the sender>
//   Sender_Name=<its name>                  } a component (a QObject) only
//   Sender_Info= Unit - <unit>. Form - <unit of its form>.<form>-><form class>
//   Sender_Parent= <nearest named parent control> <its class>
//   Exception_Class=<class of the exception> <the thread's last error code>
//   Exception_Msg=<message>[CR LF <details of the exception's kind> " "]
//
// The details: a system error (EOleSysError) adds "EOleSysError = <code>";
// an engine error (EADSDatabaseError) adds "EADSDatabaseError = " with the
// engine code, the SQL code, the table, the column, the dataset component
// and its owner, then the line break and, when the statement of the failed
// query is found and may be logged, "SQLText:" and the statement's lines.
#include <QMetaClassInfo>
#include <QObject>
#include <QWidget>

#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/ComponentNames.h"
#include "dataset/EADSDatabaseError.h"
#include "diag/DatHE_Unit.h"

namespace {

constexpr const char* kCrLf = "\r\n";

std::string ClassNameOf(const QObject& Obj) {
  return Obj.metaObject()->className();
}

}  // namespace

std::string GetClassUnitName(const QObject* Obj) {
  if (Obj == nullptr) return {};
  const QMetaObject* meta = Obj->metaObject();
  const int index = meta->indexOfClassInfo("Unit");
  // A class without its own unit record does not borrow its base class's.
  if (index < meta->classInfoOffset()) return {};
  return meta->classInfo(index).value();
}

std::string GetSenderInfo(const QObject* Sender) {
  std::string result;
  try {
    const std::string unit = GetClassUnitName(Sender);
    if (!unit.empty()) result = " Unit - " + unit + ".";
    const auto* control = qobject_cast<const QWidget*>(Sender);
    if (const QWidget* form = control != nullptr ? control->window() : nullptr) {
      result += " Form - " + GetClassUnitName(form) + "." + ComponentName(*form) + "->" +
                ClassNameOf(*form);
    }
  } catch (...) {
    // The information gathered so far is what the entry gets.
  }
  return result;
}

std::string GetParentInfo(const QObject* Sender) {
  try {
    const auto* control = qobject_cast<const QWidget*>(Sender);
    if (control == nullptr) return {};
    for (const QWidget* parent = control->parentWidget(); parent != nullptr;
         parent = parent->parentWidget()) {
      const std::string name = ComponentName(*parent);
      if (!name.empty()) return " " + name + " " + ClassNameOf(*parent);
    }
  } catch (...) {
    // No parent information rather than no entry.
  }
  return {};
}

void THandleExceptions::WriteSenderBlock(std::string& Out, const QObject* Sender,
                                         const std::string& SenderClass) {
  if (Sender == nullptr) {
    Out += MakeKeyValue("Sender_Class", SenderClass) + kCrLf;
    return;
  }
  Out += MakeKeyValue("Sender_Class", ClassNameOf(*Sender)) + kCrLf;
  Out += MakeKeyValue("Sender_Name", ComponentName(*Sender)) + kCrLf;
  Out += MakeKeyValue("Sender_Info", GetSenderInfo(Sender)) + kCrLf;
  Out += MakeKeyValue("Sender_Parent", GetParentInfo(Sender)) + kCrLf;
}

void THandleExceptions::WriteExceptionBlock(std::string& Out, const std::exception& E,
                                            uint32_t LastError) {
  std::string extra;
  if (const auto* system_error = dynamic_cast<const EOleSysError*>(&E)) {
    extra = "EOleSysError = " + IntToStr(system_error->ErrorCode());
  }
  if (const auto* engine_error = dynamic_cast<const EADSDatabaseError*>(&E)) {
    extra = "EADSDatabaseError = " + std::to_string(engine_error->ACEErrorCode()) + " " +
            engine_error->SQLErrorCode() + " " + engine_error->TableName() + " " +
            engine_error->ColumnName() + " " + engine_error->ComponentName() + " " +
            engine_error->OwnerName() + kCrLf + GetErrorSqlText(E);
  }
  if (!extra.empty()) extra = kCrLf + extra + " ";
  Out += MakeKeyValue("Exception_Class", ExceptionClassName(E) + " " + std::to_string(LastError)) +
         kCrLf;
  Out += MakeKeyValue("Exception_Msg", ExceptionMessage(E) + extra) + kCrLf;
}
