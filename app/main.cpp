// Program start: the application, then the main window, the preview window and the picture
// viewer; only the main window is shown, and the program ends when it has closed.
#include <QApplication>

#include "main_form.h"
#include "preview_form.h"
#include "view_pic_form.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The executable's name keys the per-user settings. The task bar takes the application
  // title "Glimmervellium 1.0" from the desktop entry named here; it is not set as Qt's display
  // name, which the window system would append to every window caption.
  QApplication::setOrganizationName(QStringLiteral("glimmervellium"));
  QApplication::setApplicationName(QStringLiteral("glimmervellium"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QGuiApplication::setDesktopFileName(QStringLiteral("glimmervellium"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/glimmervellium.svg")));

  glim::TMainForm MainForm;
  glim::TPreViewForm PreViewForm(&MainForm);
  glim::TViewPicForm ViewPicForm(&MainForm);
  MainForm.PreViewForm = &PreViewForm;
  MainForm.ViewPicForm = &ViewPicForm;
  MainForm.show();
  return application.exec();
}
