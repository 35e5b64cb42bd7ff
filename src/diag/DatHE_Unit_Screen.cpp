// What the exception reporter reads from the screen: the screen dump of the
// "Forms_E" line, the statement of a failed query found through the open
// forms and data modules, and the application's handler for exceptions that
// escape an event.
//
// The screen dump:
//   FormCount:<n> ActiveForm:<class> <name> ActiveControl:<class> <name> <parent info> <unit>
//   --
//   0.<class> <name> <1 when visible, else 0> <caption>
//   ...                                         (forms 0 to 99 at most)
// The forms are the application's top-level windows and dialogs, in the
// order the toolkit lists them.
#include <QApplication>
#include <QThread>
#include <QWidget>
#include <algorithm>

#include "common/AnsiCodePage.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/AdsQuery.h"
#include "dataset/ComponentNames.h"
#include "dataset/EADSDatabaseError.h"
#include "diag/DatHE_Unit.h"

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr int kMaxFormsListed = 100;
constexpr uint32_t kNoMessageEngineCode = 5041;

std::vector<QObject*>& DataModules() {
  static std::vector<QObject*> modules;
  return modules;
}

// The application's forms: its top-level windows and dialogs (popups and
// tool tips are no forms).
QWidgetList OpenForms() {
  QWidgetList forms;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    const Qt::WindowType type = widget->windowType();
    if (type == Qt::Window || type == Qt::Dialog) forms.append(widget);
  }
  return forms;
}

bool OnUserInterfaceThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

std::string ClassNameOf(const QObject& Obj) {
  return Obj.metaObject()->className();
}

// The statement's lines, each ended by CR LF.
std::string StatementLines(const std::string& sql) {
  std::string lines;
  size_t from = 0;
  while (from < sql.size()) {
    size_t end = sql.find_first_of("\r\n", from);
    if (end == std::string::npos) end = sql.size();
    lines += sql.substr(from, end - from) + kCrLf;
    if (end < sql.size() && sql[end] == '\r' && end + 1 < sql.size() && sql[end + 1] == '\n') ++end;
    from = end + 1;
  }
  return lines;
}

template <typename Objects>
QObject* FindByName(const Objects& objects, const std::string& name) {
  for (QObject* object : objects) {
    if (SameText(Trim(ComponentName(*object)), Trim(name))) return object;
  }
  return nullptr;
}

}  // namespace

void RegisterDataModule(QObject* DataModule) {
  DataModules().push_back(DataModule);
}

void UnregisterDataModule(QObject* DataModule) {
  std::vector<QObject*>& modules = DataModules();
  modules.erase(std::remove(modules.begin(), modules.end(), DataModule), modules.end());
}

std::vector<QObject*> OpenDataModules() {
  return DataModules();
}

bool IsSqlLoggable(const std::string& SQL) {
  return !ContainsText(SQL, "SysPM");
}

std::string FindQuerySql(const std::string& OwnerName, const std::string& ComponentName) {
  try {
    QObject* owner = OnUserInterfaceThread() ? FindByName(OpenForms(), OwnerName) : nullptr;
    if (owner == nullptr) owner = FindByName(DataModules(), OwnerName);
    if (owner == nullptr) return {};
    const QObject* component = FindByName(
        owner->findChildren<QObject*>(QString(), Qt::FindDirectChildrenOnly), ComponentName);
    const auto* query = qobject_cast<const TAdsQuery*>(component);
    if (query == nullptr) return {};
    const std::string sql = StatementLines(query->SQL());
    if (sql.empty() || !IsSqlLoggable(sql)) return {};
    return "SQLText:" + std::string(kCrLf) + sql;
  } catch (...) {
    return {};  // the entry is written without the statement
  }
}

std::string GetErrorSqlText(const std::exception& E) {
  const auto* engine_error = dynamic_cast<const EADSDatabaseError*>(&E);
  if (engine_error == nullptr || engine_error->ComponentName().empty() ||
      engine_error->OwnerName().empty()) {
    return {};
  }
  return FindQuerySql(engine_error->OwnerName(), engine_error->ComponentName());
}

std::string GetScreenInfo() {
  std::string result;
  try {
    if (!OnUserInterfaceThread() ||
        qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
      return result;
    }
    const QWidgetList forms = OpenForms();
    const std::string head = "FormCount:" + std::to_string(forms.size());
    std::string active;
    if (const QWidget* form = QApplication::activeWindow()) {
      active = " ActiveForm:" + ClassNameOf(*form) + " " + ComponentName(*form);
    }
    if (const QWidget* control = QApplication::focusWidget()) {
      active = kCrLf + active + " ActiveControl:" + ClassNameOf(*control) + " " +
               ComponentName(*control);
      active = Trim(active);
      active += " " + GetParentInfo(control) + " " + GetClassUnitName(control);
    }
    result = head + " " + Trim(active) + kCrLf;
    const int listed = std::min<int>(static_cast<int>(forms.size()), kMaxFormsListed);
    for (int i = 0; i < listed; ++i) {
      if (i == 0) result += std::string("--") + kCrLf;
      const QWidget& form = *forms[i];
      result += std::to_string(i) + "." + ClassNameOf(form) + " " + ComponentName(form) + " " +
                (form.isVisible() ? "1" : "0") + " " +
                Utf8ToAnsi(form.windowTitle().toStdString()) + kCrLf;
    }
  } catch (...) {
    // The dump ends with what was gathered.
  }
  return result;
}

void HandleAppException(QObject* Sender, const std::exception* E) {
  try {
    THandleExceptions* writer = GetHandleExceptions();
    if (writer == nullptr) return;
    TDatHERecType rec;
    rec.Time = Now();
    rec.Sender = Sender;
    rec.E = E;
    writer->WriteEntry(rec);
  } catch (...) {
    // The handler never fails the event loop that called it.
  }
}

bool NeedsExceptionMessage(const std::exception& E) {
  const auto* engine_error = dynamic_cast<const EADSDatabaseError*>(&E);
  return engine_error == nullptr || engine_error->ACEErrorCode() != kNoMessageEngineCode;
}

std::string GetExeBaseName() {
  return MakeModuleFileName("", "");
}
