// The program: the application, its windows, the main window shown, and the message loop
// until the main window has closed.
#include <QApplication>

#include "picture_work.h"
#include "program_start.h"

int main(int argc, char* argv[]) {
  glim::keepFreedPictureMemory();
  QApplication application(argc, argv);
  glim::initialiseApplication();
  glim::ProgramWindows windows = glim::createProgramWindows();
  windows.MainForm->show();
  return application.exec();
}
