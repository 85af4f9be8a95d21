// Program start: the application, then the main window, the preview window and the picture
// viewer; only the main window is shown, and the program ends when it has closed.
#include <QApplication>

#include "main_form.h"
#include "paths.h"
#include "preview_form.h"
#include "view_pic_form.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The executable's name keys the per-user settings; the desktop entry carries the
  // application title "Glimmervellium 1.0" for the task bar.
  QApplication::setOrganizationName(QStringLiteral("glimmervellium"));
  QApplication::setApplicationName(QStringLiteral("glimmervellium"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QGuiApplication::setDesktopFileName(QStringLiteral("glimmervellium"));
  application.setProperty("applicationTitle", QString::fromUtf8(glim::kApplicationTitle.data(),
                                                                glim::kApplicationTitle.size()));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/glimmervellium.svg")));

  glim::TMainForm MainForm;
  glim::TPreViewForm PreViewForm(&MainForm);
  glim::TViewPicForm ViewPicForm(&MainForm);
  MainForm.PreViewForm = &PreViewForm;
  MainForm.ViewPicForm = &ViewPicForm;
  MainForm.show();
  return application.exec();
}
