// TMainForm: the "Print..." button, which prints the album's focused picture.
#include <QListWidget>
#include <QPrinter>
#include <QSettings>

#include "form_storage.h"
#include "main_form.h"
#include "print_job.h"

namespace glim {

QPrinter& TMainForm::printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer_;
}

void TMainForm::PrintBtnClick() {
  const int line = ImageList->currentRow();
  if (line < 0 || line > album.EntryCount() - 1) return;
  // The focused picture becomes the current one unless it already is; a failed load was
  // reported and prints nothing.
  if (album.PreviewFileName != album.entry(line).FilePath) ImageListDblClick();
  if (album.PreviewFileName != album.entry(line).FilePath) return;
  const std::unique_ptr<QSettings> settings = openProgramSettings();
  runPrintRequest(this, printer(), *settings, *dialogs_, currentPicture);
}

}  // namespace glim
