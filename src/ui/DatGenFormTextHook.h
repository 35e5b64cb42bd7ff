// The product name in the texts of every form.
//
// Form texts may carry the product words or the product token (see
// DatGenAppNamesServices_Unit). ApplyProductNames rewrites the texts of a
// widget and of the widgets it owns (its direct children), by these rules:
//   - a widget's tooltip (its hint), when not empty;
//   - the caption of a button, a check box, a panel (a frame) or a form
//     (window title);
//   - a label's caption only when the label has a name that does not contain
//     "AUTONOCHANGE";
//   - an owned widget that is not a label (a windowed control) is processed
//     in turn, itself and what it owns, always with the full substitution;
//   - a child that is a window of its own (a dialog parented to the form) is
//     left to be processed as a form.
// With Full the full substitution is used, else only the token is replaced.
//
// The form-text hook, TFictCls, does this once for every form the first time
// it becomes the active window (once per native window handle): message
// dialogs (class TMessageForm, and the platform's message box) with the token
// only, since their text is the program's own message; every other form in
// full.
#pragma once

#include <QObject>
#include <memory>

#include "common/TStringList.h"

class QWidget;

void ApplyProductNames(QObject* component, bool Full);

class TFictCls : public QObject {
  Q_OBJECT

 public:
  TFictCls();

  // The screen's active form has changed.
  void ActiveFormChange();

  // The window handles (decimal texts) of the forms already processed.
  const TStringList& Handles() const { return handles_; }

 private:
  TStringList handles_;
};

// Creates the hook on the first call and has it follow the active window.
void InstallFormTextHook();

// The hook, or null before InstallFormTextHook.
TFictCls* GetFormTextHook();

// Releases the hook (program end).
void FreeFormTextHook();
