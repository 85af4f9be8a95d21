// Program start: the application's names, then the main window, the preview window and the
// picture viewer, in that order. Only the main window is shown, by the caller.
#pragma once

#include <memory>

#include "main_form.h"
#include "preview_form.h"
#include "view_pic_form.h"

namespace glim {

// The names and the version alone, which a text on the command line needs without a window.
void setProgramNames();

// The executable's name keys the per-user settings. The task bar takes the application title
// "Glimmervellium 1.0" from the desktop entry named here; it is not set as Qt's display name,
// which the window system would append to every window caption.
void initialiseApplication();

struct ProgramWindows {
  std::unique_ptr<TMainForm> MainForm;  // owns the other two
  TPreViewForm* PreViewForm = nullptr;
  TViewPicForm* ViewPicForm = nullptr;
};

// `dialogs` as for TMainForm: null means real Qt dialogs.
ProgramWindows createProgramWindows(UserDialogs* dialogs = nullptr);

}  // namespace glim
