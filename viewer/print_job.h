// The print job: one picture on one page of the program's printer, placed as the print options
// dialog chose. Both print buttons (the main window's and the viewer's) come here.
#pragma once

#include <QPrinter>
#include <QSize>
#include <QString>
#include <string>

#include "picodec.h"
#include "print_layout.h"
#include "user_dialogs.h"

class QSettings;
class QWidget;

namespace glim {

// The document title under which the print queue lists the job.
inline constexpr const char* kPrintDocumentTitle = "Glimmervellium picture";

// The printer the user chose in the printer setup dialog during the run.
struct PrinterChoice {
  bool made = false;
  bool pdf = false;
  QString name;
};

// The program's printer, one for the whole run, and the printer chosen for it in the setup
// dialog, which stands, with its paper and orientation, while that printer exists.
struct ProgramPrinter {
  QPrinter printer{QPrinter::HighResolution};
  PrinterChoice choice;
};

// Points the program's printer at the printers the system has now: the printer chosen in the
// printer setup dialog during this run while it still exists, else the system's current
// default queue, else PDF output. Run at the start of every print request.
void followSystemPrinters(ProgramPrinter& program);
// The printer setup dialog was confirmed with `printer`'s current printer.
void rememberPrinterChoice(const QPrinter& printer, PrinterChoice& choice);

// The printable area of the printer's current page in device pixels, with device (0, 0) at its
// top-left corner: only the printer's own unprintable margins are left out.
QSize printablePageSize(QPrinter& printer);

// The print steps: begins the document, places and draws the picture in one stretch-drawing
// call without halftoning, ends the document. A PDF printer without a file asks for one first,
// suggesting the picture's base name + ".pdf" (`pictureFileName`, bytes, may be empty) in the
// folder of the last PDF of this run, else the documents folder; a cancel there prints nothing
// and says nothing. True when the page was handed to the printing system; every failure is
// reported.
bool PrintPicture(QPrinter& printer, const DibImage& picture, const PrintChoices& choices,
                  UserDialogs& dialogs, const std::string& pictureFileName = {});

// One print request for a picture the caller holds: the print options dialog owned by `owner`,
// then, after OK, the print steps. True when a page was printed.
bool runPrintRequest(QWidget* owner, ProgramPrinter& program, QSettings& settings,
                     UserDialogs& dialogs, const DibImage& picture,
                     const std::string& pictureFileName = {});

}  // namespace glim
