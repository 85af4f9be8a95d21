// One QApplication for a GoogleTest program that drives widgets (offscreen under ctest).
#pragma once

#include <QApplication>
#include <QStringList>
#include <ostream>

namespace glim::testing {

inline QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "glim-widget-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A first member of a test fixture, so that the application exists before its widgets.
struct QtAppFirst {
  QtAppFirst() { qtApp(); }
};

}  // namespace glim::testing

// Qt strings in test failure messages as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << '(' << list.join(", ").toStdString() << ')';
}
