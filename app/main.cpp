// The program: the application, its windows, the main window shown with the album named on the
// command line, and the message loop until the main window has closed.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "command_line.h"
#include "picture_work.h"
#include "program_start.h"
#include "termination.h"

int main(int argc, char* argv[]) {
  glim::installTerminationHandling();  // before any thread, so that all of them leave it
  glim::keepFreedPictureMemory();
  if (glim::asksForTextOnly(argc, argv)) {
    QCoreApplication text(argc, argv);  // a text needs no window system
    glim::setProgramNames();
    glim::processCommandLine(text);  // prints it and ends the program
  }
  if (glim::noDisplayToShowOn(argc, argv)) {
    std::fputs("glimmervellium: there is no display to show the window on (neither DISPLAY nor "
               "WAYLAND_DISPLAY is set). Start it from your desktop, or under xvfb-run.\n",
               stderr);
    return EXIT_FAILURE;
  }
  QApplication application(argc, argv);
  glim::initialiseApplication();
  const std::optional<QString> album = glim::processCommandLine(application);
  glim::ProgramWindows windows = glim::createProgramWindows();
  windows.MainForm->show();
  if (album) windows.MainForm->openGivenAlbum(*album);  // its messages over the window
  return application.exec();
}
