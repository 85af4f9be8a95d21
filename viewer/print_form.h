// TPrintForm: the print options dialog. The user chooses how large the picture is printed and
// where on the page (the whole page, or a width and height in percent of it, optionally centred)
// and sees it placed on a page of the current printer's proportions; a button opens the
// printer setup. Created for one print request, shown modally and destroyed after it; the
// caller reads the choices after OK. Its percentages persist through FormStorage1.
#pragma once

#include <QDialog>
#include <QSize>
#include <functional>

#include "form_storage.h"
#include "picodec.h"
#include "print_layout.h"
#include "user_dialogs.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPainter;
class QPrinter;
class QPushButton;
class QRadioButton;
class QSettings;

namespace glim {

class SpinField;
struct PrinterChoice;

// The platform's printer setup: printer, paper and orientation. True when confirmed.
bool runPrinterSetupDialog(QPrinter& printer, QWidget* owner);

class TPrintForm : public QDialog {
  Q_OBJECT
 public:
  // `printer` is the program's printer, `settings` the per-user settings the choices persist in,
  // `dialogs` answers message boxes. All three must outlive the dialog.
  TPrintForm(QPrinter& printer, QSettings& settings, UserDialogs& dialogs, QWidget* owner);
  ~TPrintForm() override;

  // A copy of the caller's picture record, set before the dialog is shown. It shares the
  // caller's pixels and is never freed here.
  DibImage Picture{};

  QLabel* RxLabel1;
  QFrame* Panel1;
  QWidget* PrintPaintBox;
  QGroupBox* GroupBox1;
  QRadioButton* UseFullCheck;
  QRadioButton* UserdefCheck;
  QLabel* RxLabel2;
  SpinField* BreitEdit;
  QLabel* RxLabel3;
  SpinField* HochEdit;
  QGroupBox* GroupBox2;
  QCheckBox* SverhCheck;
  QCheckBox* ZentrCheck;
  QFrame* Bevel1;
  QPushButton* OkBitBtn1;
  QPushButton* PrintSetupBtn;
  QPushButton* CancelBitBtn2;
  FormStorage FormStorage1;
  // Runs the printer setup dialog; tests answer it themselves.
  std::function<bool(QPrinter&, QWidget*)> PrinterSetupDialog1 = runPrinterSetupDialog;
  // Where a confirmed printer setup is kept for the run; none: it is not kept.
  PrinterChoice* printerChoice = nullptr;

  // The choices as the print job reads them after OK.
  PrintChoices choices() const;
  // The width and height fields' values: a text that is no number reads as 1.
  int32_t widthPercent() const;
  int32_t heightPercent() const;
  // PW x PH: the printable area of the current printer, read afresh.
  QSize printerPage() const;

  void FormShow();
  // Draws the preview now; also what the choice buttons run when clicked.
  void PrintPaintBoxPaint();
  void BreitEditChange();
  void HochEditChange();
  void UserdefCheckClick();
  void PrintSetupBtnClick();

  // How many times the preview was drawn (a paint and each redraw inside it).
  int previewDraws() const { return previewDraws_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void addStoredProperties();
  void drawPreview(QPainter& painter);
  // Repaints the preview at once: inside a paint, onto the same painter.
  void repaintPreview();

  QPrinter& printer_;
  UserDialogs& dialogs_;
  bool Syncing = false;
  QPainter* painting_ = nullptr;
  int previewDraws_ = 0;
};

}  // namespace glim
