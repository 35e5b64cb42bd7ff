// The QApplication a widget test needs: created once on first use, offscreen,
// with the font substitution the program itself makes.
#pragma once

class QApplication;

QApplication& EnsureQtApp();

// As a fixture's first member, makes the application exist before any
// widget member is built.
struct QtAppGuard {
  QtAppGuard() { EnsureQtApp(); }
};
