// TMainForm: the "&Show big" and "Print..." buttons, which show and print the album's focused
// picture.
#include <QListWidget>
#include <QPrinter>
#include <QSettings>

#include "form_storage.h"
#include "main_form.h"
#include "print_job.h"
#include "read_ahead.h"
#include "view_pic_form.h"

namespace glim {

ProgramPrinter& TMainForm::printer() {
  if (!printer_) printer_ = std::make_unique<ProgramPrinter>();
  return *printer_;
}

void TMainForm::setViewer(TViewPicForm* viewer) {
  ViewPicForm = viewer;
  if (viewer == nullptr) return;
  viewer->printerSource = [this]() -> ProgramPrinter& { return printer(); };
  viewer->dialogs = dialogs_;
  viewer->stepPicture = [this](int direction) { stepViewer(direction); };
}

void TMainForm::ViewBtnClick() {
  const int line = ImageList->currentRow();
  if (line < 0 || line > album.EntryCount() - 1 || ViewPicForm == nullptr) return;
  if (album.PreviewFileName != album.entry(line).FilePath) ImageListDblClick();
  if (album.PreviewFileName != album.entry(line).FilePath) return;  // reported by the load
  if (currentPicture.Pixels == nullptr) {
    dialogs_->showMessage(errorBox("Could not open image file!"));
    return;
  }
  // The record only: the pixels stay the main window's.
  ViewPicForm->showPicture(currentPicture, album.PreviewFileName, line, album.EntryCount());
  if (!readAhead_) readAhead_ = std::make_unique<PictureReadAhead>();
  readAheadAround(line, 1);
  ViewPicForm->exec();
  readAhead_->clear();
}

void TMainForm::PrintBtnClick() {
  const int line = ImageList->currentRow();
  if (line < 0 || line > album.EntryCount() - 1) return;
  // The focused picture becomes the current one unless it already is; a failed load was
  // reported and prints nothing.
  if (album.PreviewFileName != album.entry(line).FilePath) ImageListDblClick();
  if (album.PreviewFileName != album.entry(line).FilePath) return;
  const std::unique_ptr<QSettings> settings = openProgramSettings();
  runPrintRequest(this, printer(), *settings, *dialogs_, currentPicture, album.PreviewFileName);
}

}  // namespace glim
