#include "program_start.h"

#include <QApplication>
#include <QIcon>

#include "name_only_file_icons.h"

namespace glim {

void setProgramNames() {
  QCoreApplication::setOrganizationName(QStringLiteral("glimmervellium"));
  QCoreApplication::setApplicationName(QStringLiteral("glimmervellium"));
  QCoreApplication::setApplicationVersion(QStringLiteral(GLIM_VERSION));
}

void initialiseApplication() {
  setProgramNames();
  QGuiApplication::setDesktopFileName(QStringLiteral("example.tulbrin.glimmervellium"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/glimmervellium.svg")));
  if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    judgeFilesByNameInEveryDialog(*application);
  }
}

ProgramWindows createProgramWindows(UserDialogs* dialogs) {
  ProgramWindows windows;
  windows.MainForm = std::make_unique<TMainForm>(dialogs);
  windows.PreViewForm = new TPreViewForm(&windows.MainForm->currentPicture,
                                         windows.MainForm.get(), &windows.MainForm->dialogs());
  windows.ViewPicForm = new TViewPicForm(windows.MainForm.get());
  windows.MainForm->PreViewForm = windows.PreViewForm;
  windows.MainForm->setViewer(windows.ViewPicForm);
  return windows;
}

}  // namespace glim
