// One QApplication for a GoogleTest program that drives widgets (offscreen under ctest).
#pragma once

#include <QApplication>

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
