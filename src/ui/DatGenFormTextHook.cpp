#include "ui/DatGenFormTextHook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QWidget>
#include <QWindow>
#include <functional>

#include "common/AnsiCodePage.h"
#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenStringsFunctions.h"

namespace {

using TextFunction = std::function<std::string(const std::string&)>;

QString Apply(const TextFunction& f, const QString& text) {
  return QString::fromStdString(AnsiToUtf8(f(Utf8ToAnsi(text.toStdString()))));
}

void ApplyClassRules(QObject* component, const TextFunction& f) {
  auto* control = qobject_cast<QWidget*>(component);
  if (!control) return;  // not a control: nothing to rewrite
  if (!control->toolTip().isEmpty()) control->setToolTip(Apply(f, control->toolTip()));

  if (auto* label = qobject_cast<QLabel*>(control)) {
    const QString name = label->objectName();
    if (!name.isEmpty() && !name.contains(QLatin1String("AUTONOCHANGE")))
      label->setText(Apply(f, label->text()));
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(Apply(f, button->text()));
  } else if (control->isWindow()) {
    control->setWindowTitle(Apply(f, control->windowTitle()));
  }
  // A panel's caption is its children's business here: a frame has no text.
}

bool IsWindowedControl(QObject* component) {
  return component->isWidgetType() && !qobject_cast<QLabel*>(component);
}

bool IsMessageDialog(const QWidget* form) {
  return qstrcmp(form->metaObject()->className(), "TMessageForm") == 0 ||
         qobject_cast<const QMessageBox*>(form);
}

std::unique_ptr<TFictCls>& Hook() {
  static std::unique_ptr<TFictCls> hook;
  return hook;
}

}  // namespace

void ApplyProductNames(QObject* component, bool Full) {
  if (!component) return;
  const std::string name = GetProductName();
  const TextFunction f = Full ? TextFunction([&name](const std::string& text) {
    return ReplaceProductNames(text, name);
  })
                              : TextFunction([&name](const std::string& text) {
                                  return ReplaceProductToken(text, name);
                                });
  ApplyClassRules(component, f);
  for (QObject* owned : component->children()) {
    // A window among the children (a dialog with this form as its parent) is
    // a form of its own, processed when it becomes active.
    if (owned->isWidgetType() && static_cast<QWidget*>(owned)->isWindow()) continue;
    if (IsWindowedControl(owned)) {
      ApplyProductNames(owned, true);
    } else {
      ApplyClassRules(owned, f);
    }
  }
}

TFictCls::TFictCls() {
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { ActiveFormChange(); });
}

void TFictCls::ActiveFormChange() {
  QWidget* form = QApplication::activeWindow();
  if (!form) return;
  const std::string handle = IntToStr(static_cast<long long>(form->winId()));
  if (handles_.IndexOf(handle) >= 0) return;
  ApplyProductNames(form, !IsMessageDialog(form));
  handles_.Add(handle);
}

void InstallFormTextHook() {
  if (!Hook()) Hook() = std::make_unique<TFictCls>();
}

TFictCls* GetFormTextHook() {
  return Hook().get();
}

void FreeFormTextHook() {
  Hook().reset();
}
