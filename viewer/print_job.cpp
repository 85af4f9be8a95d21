#include "print_job.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <optional>
#include <string>

#include "atomic_file.h"
#include "dibs24.h"
#include "painter_device.h"
#include "print_form.h"
#include "print_queue.h"
#include "stretch_draw.h"

namespace glim {
namespace {

std::string localText(const QString& text) {
  return text.toLocal8Bit().toStdString();
}

QString fileNamePartOf(const QString& path) {
  return QFileInfo(path).fileName();
}

// PDF output goes to a temporary file first and replaces the chosen file only when complete.
class PdfOutput {
 public:
  explicit PdfOutput(QPrinter& printer) : printer_(printer) {}
  ~PdfOutput() { restore(); }

  // True when the printer writes a PDF file (chosen earlier or asked for now); `cancelled`
  // tells a refused file dialog from a temporary file that could not be made.
  bool prepare(UserDialogs& dialogs, const QString& suggestedName, bool& cancelled) {
    cancelled = false;
    original_ = printer_.outputFileName();
    target_ = original_;
    if (target_.isEmpty()) {
      FileDialogRequest request;
      request.title = "Print to PDF file";
      request.filter = "PDF files (*.pdf)|*.pdf";
      request.defaultExtension = "pdf";
      request.initialFolder = localText(lastFolder());
      request.fileName = localText(suggestedName);
      const std::optional<std::string> chosen = dialogs.saveFileName(request);
      if (!chosen || chosen->empty()) {
        cancelled = true;
        return false;
      }
      target_ = QString::fromLocal8Bit(chosen->c_str());
    }
    temp_.setFileTemplate(QDir::tempPath() + QStringLiteral("/glimmervellium-print-XXXXXX.pdf"));
    if (!temp_.open()) return false;
    temp_.close();
    printer_.setOutputFileName(temp_.fileName());
    redirected_ = true;
    return true;
  }

  QString target() const { return target_; }

  // Moves the finished PDF over the chosen file; false when it could not be written.
  bool commit() {
    QFile done(temp_.fileName());
    if (!done.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = done.readAll();
    if (bytes.isEmpty()) return false;
    if (!writeFileAtomically(target_.toLocal8Bit().toStdString(),
                             std::string_view(bytes.constData(), bytes.size()))) {
      return false;
    }
    lastFolder() = QFileInfo(target_).absolutePath();
    return true;
  }

 private:
  void restore() {
    if (!redirected_) return;
    redirected_ = false;
    printer_.setOutputFileName(original_);
    if (original_.isEmpty()) printer_.setOutputFormat(QPrinter::PdfFormat);
  }

  // Where the last PDF of this run went, else the user's documents folder.
  static QString& lastFolder() {
    static QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder;
  }

  QPrinter& printer_;
  QTemporaryFile temp_;
  QString original_;
  QString target_;
  bool redirected_ = false;
};

}  // namespace

void rememberPrinterChoice(const QPrinter& printer, PrinterChoice& choice) {
  choice.made = true;
  choice.pdf = printer.outputFormat() == QPrinter::PdfFormat;
  choice.name = printer.printerName();
}

void followSystemPrinters(ProgramPrinter& program) {
  QPrinter& printer = program.printer;
  PrinterChoice& choice = program.choice;
  // The user's choice stands, with its paper and orientation, while its printer exists.
  if (choice.made && (choice.pdf || QPrinterInfo::availablePrinterNames().contains(choice.name)))
    return;
  choice.made = false;
  const QPrinterInfo system = QPrinterInfo::defaultPrinter();
  if (system.isNull()) {
    if (printer.outputFormat() != QPrinter::PdfFormat) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(QString());
    }
    return;
  }
  if (printer.outputFormat() == QPrinter::NativeFormat &&
      printer.printerName() == system.printerName()) {
    return;
  }
  printer.setOutputFileName(QString());
  printer.setOutputFormat(QPrinter::NativeFormat);
  printer.setPrinterName(system.printerName());
}

QSize printablePageSize(QPrinter& printer) {
  if (!printer.paintingActive()) {
    // The toolkit's own default margins would shrink the page; keep only what the printer
    // cannot print on.
    if (printer.fullPage()) printer.setFullPage(false);
    const QPageLayout layout = printer.pageLayout();
    if (layout.margins() != layout.minimumMargins()) {
      printer.setPageMargins(layout.minimumMargins(), layout.units());
    }
  }
  return {printer.width(), printer.height()};
}

bool PrintPicture(QPrinter& printer, const DibImage& picture, const PrintChoices& choices,
                  UserDialogs& dialogs, const std::string& pictureFileName) {
  if (picture.Header == nullptr || picture.Pixels == nullptr) {
    dialogs.showMessage(errorBox("The picture has no pixels to print."));
    return false;
  }
  printer.setDocName(QString::fromLatin1(kPrintDocumentTitle));
  printablePageSize(printer);

  std::optional<PdfOutput> pdf;
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    pdf.emplace(printer);
    bool cancelled = false;
    const QString base = QFileInfo(QString::fromLocal8Bit(pictureFileName.c_str())).completeBaseName();
    if (!pdf->prepare(dialogs, base.isEmpty() ? QString() : base + QStringLiteral(".pdf"),
                      cancelled)) {
      // A cancelled file dialog is the user's choice: nothing is printed and nothing said.
      if (!cancelled) {
        dialogs.showMessage(errorBox("Printing could not begin: no temporary file could be "
                                     "made for the PDF output."));
      }
      return false;
    }
  }

  // A queue's refusal is not reported by the printer object: ask the server before and after.
  const bool queue = printer.outputFormat() == QPrinter::NativeFormat;
  const QString queueName = printer.printerName();
  std::optional<int> jobsBefore;
  if (queue) {
    if (queueAcceptsJobs(queueName) == false) {
      dialogs.showMessage(errorBox(localText(
          QStringLiteral("The printer %1 does not accept print jobs at the moment. Nothing was "
                         "printed.")
              .arg(queueName))));
      return false;
    }
    jobsBefore = lastJobNumber(queueName);
  }

  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString where = pdf ? QStringLiteral("the PDF file ") + fileNamePartOf(pdf->target())
                              : QStringLiteral("the printer ") + printer.printerName();
    dialogs.showMessage(
        errorBox(localText(QStringLiteral("Printing could not begin on %1!").arg(where))));
    return false;
  }
  const int32_t PW = printer.width();
  const int32_t PH = printer.height();
  const PrintRect placed =
      placePicture(choices, PrintRect{0, 0, PW, PH}, DibWidth(picture), DibHeight(picture));
  {
    PainterDevice device(painter, PainterDevice::Kind::Printer, &dialogs);
    StretchDrawDib(device, placed.x, placed.y, placed.width, placed.height, picture, 0, 0,
                   DibWidth(picture), DibHeight(picture), false, SRCCOPY, true, nullptr);
  }
  if (!painter.end() || printer.printerState() == QPrinter::Error) {
    dialogs.showMessage(errorBox("The printer could not finish the page. Nothing was printed."));
    return false;
  }
  if (queue && jobsBefore &&
      !jobArrived(queueName, *jobsBefore, QString::fromLatin1(kPrintDocumentTitle))) {
    dialogs.showMessage(errorBox(
        localText(QStringLiteral("The printer %1 refused the print job. Nothing was printed.")
                      .arg(queueName))));
    return false;
  }
  if (pdf && !pdf->commit()) {
    dialogs.showMessage(errorBox(localText(QStringLiteral("The PDF file %1 could not be written!")
                                               .arg(fileNamePartOf(pdf->target())))));
    return false;
  }
  return true;
}

bool runPrintRequest(QWidget* owner, ProgramPrinter& program, QSettings& settings,
                     UserDialogs& dialogs, const DibImage& picture,
                     const std::string& pictureFileName) {
  followSystemPrinters(program);
  QPrinter& printer = program.printer;
  TPrintForm form(printer, settings, dialogs, owner);
  form.printerChoice = &program.choice;
  form.Picture = picture;  // shares the caller's pixels; the dialog never frees them
  if (form.exec() != QDialog::Accepted) return false;
  return PrintPicture(printer, picture, form.choices(), dialogs, pictureFileName);
}

}  // namespace glim
