#include "print_form.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "dibs24.h"
#include "painter_device.h"
#include "print_job.h"
#include "spin_field.h"
#include "stretch_draw.h"

namespace glim {
namespace {

constexpr int kMinPercent = 1;
constexpr int kMaxPercent = 100;
constexpr int kInitialPercent = 50;

QString boolText(bool value) {
  return value ? QStringLiteral("1") : QStringLiteral("0");
}

// "1" or "0" as stored; anything else leaves the control as it is.
void setFromText(QAbstractButton* button, const QString& text) {
  if (text == QLatin1String("1")) button->setChecked(true);
  if (text == QLatin1String("0")) button->setChecked(false);
}

}  // namespace

namespace {

class RangeHider : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* range = watched->findChild<QWidget*>(QStringLiteral("gbPrintRange"))) range->hide();
    }
    return false;
  }
};

}  // namespace

bool runPrinterSetupDialog(QPrinter& printer, QWidget* owner) {
  QPrintDialog dialog(&printer, owner);
  dialog.setWindowTitle(QStringLiteral("Printer setup"));
  // Only the printer, its paper and orientation (or a PDF file) are chosen here.
  dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  // One page is printed: the copies apply, a page range, current page or selection do not.
  // The toolkit's dialog shows its range group again as it is shown, so it is hidden then.
  RangeHider hider;
  dialog.installEventFilter(&hider);
  if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
    if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("OK"));
  }
  return dialog.exec() == QDialog::Accepted;
}

TPrintForm::TPrintForm(QPrinter& printer, QSettings& settings, UserDialogs& dialogs, QWidget* owner)
    : QDialog(owner),
      FormStorage1(*this, settings, QStringLiteral("TPrintForm"),
                   [&dialogs](const QString& text) {
                     dialogs.showMessage(errorBox(text.toLocal8Bit().toStdString()));
                   }),
      printer_(printer),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("TPrintForm"));
  setWindowTitle(QStringLiteral("Print picture..."));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  setFixedSize(427, 328);
  buildControls();
  addStoredProperties();
}

TPrintForm::~TPrintForm() {
  FormStorage1.saveOnDestruction();
}

void TPrintForm::buildControls() {
  RxLabel1 = new QLabel(QStringLiteral("Preview:"), this);
  RxLabel1->move(16, 0);
  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(16, 24, 200, 225);
  PrintPaintBox = new QWidget(Panel1);
  PrintPaintBox->setGeometry(4, 17, 190, 190);
  PrintPaintBox->setAutoFillBackground(true);
  PrintPaintBox->setBackgroundRole(QPalette::Button);  // the button face
  PrintPaintBox->installEventFilter(this);

  GroupBox1 = new QGroupBox(QStringLiteral("Print size"), this);
  GroupBox1->setGeometry(232, 24, 185, 129);
  UseFullCheck = new QRadioButton(QStringLiteral("Use page fully"), GroupBox1);
  UseFullCheck->move(16, 24);
  UseFullCheck->setChecked(true);
  UserdefCheck = new QRadioButton(QStringLiteral("User-defined"), GroupBox1);
  UserdefCheck->move(16, 48);
  RxLabel2 = new QLabel(QStringLiteral("Width in %:"), GroupBox1);
  RxLabel2->move(16, 72);
  BreitEdit = new SpinField(kMinPercent, kMaxPercent, kInitialPercent, GroupBox1);
  BreitEdit->setGeometry(80, 72, 89, 22);
  RxLabel3 = new QLabel(QStringLiteral("Height in %:"), GroupBox1);
  RxLabel3->move(16, 96);
  // Beside its label but a control of the dialog, over the group box.
  HochEdit = new SpinField(kMinPercent, kMaxPercent, kInitialPercent, this);
  HochEdit->setGeometry(312, 120, 89, 22);

  // Where the fallback for the dialog's font is wider than its own, the fields give way to
  // their labels and keep their right edges.
  const int labelWidth = std::max(RxLabel2->sizeHint().width(), RxLabel3->sizeHint().width());
  const int shift = std::max(0, 16 + labelWidth + 2 - 80);
  BreitEdit->setGeometry(80 + shift, 72, 89 - shift, 22);
  HochEdit->setGeometry(312 + shift, 120, 89 - shift, 22);
  // A screen reader names each field as its label reads: the height field is no sibling of its
  // label, so Qt would not find the label on its own.
  BreitEdit->setAccessibleName(RxLabel2->text());
  HochEdit->setAccessibleName(RxLabel3->text());

  GroupBox2 = new QGroupBox(QStringLiteral("Print options"), this);
  GroupBox2->setGeometry(232, 160, 185, 89);
  SverhCheck = new QCheckBox(QStringLiteral("Maintain aspect ratio"), GroupBox2);
  SverhCheck->move(8, 24);
  SverhCheck->setChecked(true);
  ZentrCheck = new QCheckBox(QStringLiteral("Centered output"), GroupBox2);
  ZentrCheck->move(8, 48);
  ZentrCheck->setChecked(true);
  HochEdit->raise();

  Bevel1 = new QFrame(this);
  Bevel1->setGeometry(0, 264, 427, 16);
  auto* line = new QFrame(Bevel1);
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  line->setGeometry(0, 14, 427, 2);

  OkBitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
  OkBitBtn1->setGeometry(29, 296, 89, 25);
  OkBitBtn1->setDefault(true);
  PrintSetupBtn = new QPushButton(QIcon(QStringLiteral(":/art/print.svg")),
                                  QStringLiteral("Setup printer..."), this);
  PrintSetupBtn->setGeometry(125, 296, 177, 25);
  PrintSetupBtn->setAutoDefault(false);
  CancelBitBtn2 = new QPushButton(QStringLiteral("&Cancel"), this);
  CancelBitBtn2->setGeometry(309, 296, 89, 25);
  CancelBitBtn2->setAutoDefault(false);

  QWidget* order[] = {UseFullCheck, UserdefCheck,  BreitEdit,     SverhCheck, ZentrCheck,
                      OkBitBtn1,    PrintSetupBtn, CancelBitBtn2, HochEdit};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(OkBitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBitBtn2, &QPushButton::clicked, this, &QDialog::reject);  // Escape too
  connect(PrintSetupBtn, &QPushButton::clicked, this, &TPrintForm::PrintSetupBtnClick);
  // A choice made by mouse or keyboard, or put back from the settings, acts the same.
  connect(UseFullCheck, &QRadioButton::toggled, this, [this](bool on) {
    if (on) PrintPaintBoxPaint();
  });
  connect(UserdefCheck, &QRadioButton::toggled, this, [this](bool on) {
    if (on) UserdefCheckClick();
  });
  connect(SverhCheck, &QCheckBox::toggled, this, &TPrintForm::PrintPaintBoxPaint);
  connect(ZentrCheck, &QCheckBox::toggled, this, &TPrintForm::PrintPaintBoxPaint);
  connect(BreitEdit, &QSpinBox::textChanged, this, &TPrintForm::BreitEditChange);
  connect(HochEdit, &QSpinBox::textChanged, this, &TPrintForm::HochEditChange);
}

void TPrintForm::addStoredProperties() {
  // The choice controls first, so that the aspect lock is in place before the percentages
  // are set and their coupling runs. Their text alignment is stored as it always was: the
  // caption to the right of the box.
  const std::pair<const char*, QAbstractButton*> choices[] = {{"UseFullCheck", UseFullCheck},
                                                              {"UserdefCheck", UserdefCheck},
                                                              {"ZentrCheck", ZentrCheck},
                                                              {"SverhCheck", SverhCheck}};
  for (const auto& [name, button] : choices) {
    QAbstractButton* control = button;
    FormStorage1.addProperty({QLatin1String(name) + QStringLiteral("_Alignment"),
                              [control] {
                                return control->layoutDirection() == Qt::LeftToRight
                                           ? QStringLiteral("1")
                                           : QStringLiteral("0");
                              },
                              [control](const QString& text) {
                                if (text == QLatin1String("1"))
                                  control->setLayoutDirection(Qt::LeftToRight);
                                if (text == QLatin1String("0"))
                                  control->setLayoutDirection(Qt::RightToLeft);
                              }});
  }
  for (const auto& [name, button] : choices) {
    QAbstractButton* control = button;
    FormStorage1.addProperty({QLatin1String(name) + QStringLiteral("_Checked"),
                              [control] { return boolText(control->isChecked()); },
                              [control](const QString& text) { setFromText(control, text); }});
  }
  for (SpinField* field : {BreitEdit, HochEdit}) {
    const QString name =
        field == BreitEdit ? QStringLiteral("BreitEdit_Value") : QStringLiteral("HochEdit_Value");
    FormStorage1.addProperty(
        {name, [field] { return QString::number(field->valueForText(field->cleanText())); },
         [field](const QString& text) { field->setValue(storedNumber(text)); }});
  }
}

int32_t TPrintForm::widthPercent() const {
  return BreitEdit->valueForText(BreitEdit->cleanText());
}

int32_t TPrintForm::heightPercent() const {
  return HochEdit->valueForText(HochEdit->cleanText());
}

PrintChoices TPrintForm::choices() const {
  return {UseFullCheck->isChecked(), SverhCheck->isChecked(), ZentrCheck->isChecked(),
          widthPercent(), heightPercent()};
}

QSize TPrintForm::printerPage() const {
  return printablePageSize(printer_);
}

void TPrintForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    // The stored values go into the fields as they were stored: with the coupling rules
    // running on them, each opening would derive the width from the stored height and the
    // height from that again, and a stored setting would shrink by a percent or two each
    // time. FormShow then derives the height from the stored width for this picture.
    Syncing = true;
    FormStorage1.load();
    Syncing = false;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
  }
  QDialog::showEvent(event);
}

void TPrintForm::done(int result) {
  FormStorage1.save();
  QDialog::done(result);
}

void TPrintForm::FormShow() {
  BreitEditChange();
}

bool TPrintForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PrintPaintBox && event->type() == QEvent::Paint) {
    QPainter painter(PrintPaintBox);
    painting_ = &painter;
    drawPreview(painter);
    BreitEditChange();
    painting_ = nullptr;
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TPrintForm::drawPreview(QPainter& painter) {
  ++previewDraws_;
  const QSize page = printerPage();
  // The sheet and the picture in the box's device pixels: sharp on a scaled screen.
  painter.save();
  const qreal ratio = paintInDevicePixels(painter);
  const PrintRect sheet =
      previewPage(devicePixels(PrintPaintBox->width(), ratio),
                  devicePixels(PrintPaintBox->height(), ratio), page.width(), page.height());
  if (sheet.width > 0 && sheet.height > 0) {  // else no page size to show
    painter.fillRect(sheet.x, sheet.y, sheet.width, sheet.height, QColor(255, 255, 255));
    if (Picture.Header != nullptr && Picture.Pixels != nullptr) {
      const int32_t W = DibWidth(Picture);
      const int32_t H = DibHeight(Picture);
      const PrintRect placed = placePicture(choices(), sheet, W, H);
      PainterDevice device(painter, PainterDevice::Kind::Display, &dialogs_);
      StretchDrawDib(device, placed.x, placed.y, placed.width, placed.height, Picture, 0, 0, W, H,
                     true, SRCCOPY, true, nullptr);
    }
  }
  painter.restore();
}

void TPrintForm::repaintPreview() {
  if (painting_ != nullptr) {
    drawPreview(*painting_);
    return;
  }
  if (PrintPaintBox->isVisible()) PrintPaintBox->repaint();
}

void TPrintForm::PrintPaintBoxPaint() {
  const int before = previewDraws_;
  repaintPreview();
  // A hidden preview does not paint, but its closing width rule still belongs to the click.
  if (previewDraws_ == before) BreitEditChange();
}

void TPrintForm::BreitEditChange() {
  if (Syncing) return;
  Syncing = true;
  if (SverhCheck->isChecked() && Picture.Header != nullptr) {
    const QSize page = printerPage();
    if (const auto height = coupledPercent(DibHeight(Picture), DibWidth(Picture), widthPercent(),
                                           page.width(), page.height())) {
      HochEdit->setValue(*height);
    }
  }
  repaintPreview();
  Syncing = false;
}

void TPrintForm::HochEditChange() {
  if (Syncing) return;
  Syncing = true;
  if (SverhCheck->isChecked() && Picture.Header != nullptr) {
    const QSize page = printerPage();
    if (const auto width = coupledPercent(DibWidth(Picture), DibHeight(Picture), heightPercent(),
                                          page.height(), page.width())) {
      BreitEdit->setValue(*width);
    }
  }
  repaintPreview();
  Syncing = false;
}

void TPrintForm::UserdefCheckClick() {
  if (!UserdefCheck->isChecked()) return;
  BreitEditChange();
  repaintPreview();
}

void TPrintForm::PrintSetupBtnClick() {
  if (PrinterSetupDialog1 && PrinterSetupDialog1(printer_, this) && printerChoice) {
    rememberPrinterChoice(printer_, *printerChoice);
  }
  repaintPreview();  // confirmed or not
}

}  // namespace glim
