#include "view_pic_form.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <limits>

#include "dibs24.h"
#include "form_storage.h"
#include "painter_device.h"
#include "print_job.h"
#include "spin_field.h"
#include "stretch_draw.h"
#include "window_placement.h"
#include "zoom_geometry.h"

namespace glim {
namespace {

constexpr int kMinZoom = 5;
constexpr int kMaxZoom = 9000;

QPushButton* toolButton(const char* icon, const char* caption, int x, QWidget* parent) {
  auto* button =
      new QPushButton(QIcon(QString::fromLatin1(icon)), QString::fromLatin1(caption), parent);
  button->setGeometry(x, 8, 97, 25);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TViewPicForm::TViewPicForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("View picture..."));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  setSizeGripEnabled(true);
  openWithinScreen(*this, QSize(532, 420));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  Panel5 = new QWidget(this);
  Panel5->setFixedHeight(41);
  ReadyBtn = toolButton(":/art/back.svg", "Back..", 8, Panel5);
  PrintBrn = toolButton(":/art/print.svg", "&Print", 112, Panel5);
  OpenBtn = toolButton(":/art/open.svg", "Open...", 216, Panel5);
  Label1 = new QLabel(QStringLiteral("Zoom:"), Panel5);
  Label1->move(320, 8);
  ZoomEd = new SpinField(kMinZoom, kMaxZoom, 100, Panel5);
  ZoomEd->setSingleStep(10);
  ZoomEd->setGeometry(368, 8, 65, 21);
  layout->addWidget(Panel5);

  ScrollBox1 = new QScrollArea(this);
  ScrollBox1->setWidgetResizable(false);
  ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette workspace = ScrollBox1->palette();
  workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));  // application workspace
  ScrollBox1->setPalette(workspace);
  ScrollBox1->setBackgroundRole(QPalette::Window);
  PaintBox1 = new QWidget;
  PaintBox1->resize(105, 105);
  PaintBox1->setCursor(Qt::OpenHandCursor);
  PaintBox1->installEventFilter(this);
  ScrollBox1->setWidget(PaintBox1);
  layout->addWidget(ScrollBox1, 1);

  StatusBar1 = new QStatusBar(this);
  layout->addWidget(StatusBar1);

  connect(ReadyBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(PrintBrn, &QPushButton::clicked, this, &TViewPicForm::PrintBrnClick);
  connect(OpenBtn, &QPushButton::clicked, this, &TViewPicForm::OpenBtnClick);
  connect(ZoomEd, &QSpinBox::textChanged, this, &TViewPicForm::ZoomEdChange);
}

int32_t TViewPicForm::zoom() const {
  // While the user types, the typed number counts as it stands.
  bool ok = false;
  const qlonglong typed = ZoomEd->cleanText().trimmed().toLongLong(&ok);
  if (!ok) return kMinZoom;
  return static_cast<int32_t>(std::clamp<qlonglong>(typed, 0, std::numeric_limits<int32_t>::max()));
}

void TViewPicForm::showEvent(QShowEvent* event) {
  PaintBox1->setAccessibleName(
      QFileInfo(QString::fromLocal8Bit(PictureFileName.c_str())).fileName());
  if (!event->spontaneous()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      move(screen->availableGeometry().center() - rect().center());
    }
    sizeEmptyArea();
  }
  QDialog::showEvent(event);
}

void TViewPicForm::sizeEmptyArea() {
  if (!PaintBox1->size().isEmpty() || Picture.Header == nullptr) return;
  const ZoomedSize size =
      zoomedSize(DibWidth(Picture), DibHeight(Picture), zoom(), PaintBox1->devicePixelRatioF());
  PaintBox1->resize(size.boxWidth, size.boxHeight);
}

void TViewPicForm::ZoomEdChange() {
  sizeEmptyArea();
  PaintBox1->repaint();
}

bool TViewPicForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched != PaintBox1) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Paint:
      PaintBox1Paint(static_cast<QPaintEvent*>(event)->rect());
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      PaintBox1MouseDown(PaintBox1->mapTo(ScrollBox1->viewport(),
                                          static_cast<QMouseEvent*>(event)->position().toPoint()));
      return true;
    case QEvent::MouseMove:
      PaintBox1MouseMove(PaintBox1->mapTo(ScrollBox1->viewport(),
                                          static_cast<QMouseEvent*>(event)->position().toPoint()));
      return true;
    case QEvent::MouseButtonRelease:
      PaintBox1MouseUp();
      return true;
    default:
      return QDialog::eventFilter(watched, event);
  }
}

void TViewPicForm::PaintBox1Paint(const QRect& area) {
  if (PaintLocked) return;
  if (Picture.Header == nullptr || Picture.Pixels == nullptr) return;
  const int32_t W = DibWidth(Picture);
  const int32_t H = DibHeight(Picture);
  const ZoomedSize size = zoomedSize(W, H, zoom(), PaintBox1->devicePixelRatioF());
  // Width first, then height; each size change brings another paint. An area that becomes
  // empty takes both at once, since it will not be painted again.
  if (size.boxWidth != PaintBox1->width()) {
    ++sizingPasses_;
    const bool empty = size.boxWidth == 0 || size.boxHeight == 0;
    PaintBox1->resize(size.boxWidth, empty ? size.boxHeight : PaintBox1->height());
    return;
  }
  if (size.boxHeight != PaintBox1->height()) {
    ++sizingPasses_;
    PaintBox1->resize(size.boxWidth, size.boxHeight);
    return;
  }
  ++drawingPasses_;
  if (size.width <= 0 || size.height <= 0) return;
  QPainter painter(PaintBox1);
  painter.setClipRect(area);  // the device draws only what is exposed
  paintInDevicePixels(painter);
  PainterDevice device(painter, PainterDevice::Kind::Display, dialogs);
  StretchDrawDib(device, 0, 0, size.width, size.height, Picture, 0, 0, W, H, true, SRCCOPY, false,
                 nullptr);
}

void TViewPicForm::PaintBox1MouseDown(QPoint pointer) {
  Dragging = true;
  DragX = pointer.x();
  DragY = pointer.y();
  DragScrollX = ScrollBox1->horizontalScrollBar()->value();
  DragScrollY = ScrollBox1->verticalScrollBar()->value();
}

void TViewPicForm::PaintBox1MouseMove(QPoint pointer) {
  if (!Dragging) return;
  QScrollBar* horizontal = ScrollBox1->horizontalScrollBar();
  QScrollBar* vertical = ScrollBox1->verticalScrollBar();
  PaintLocked = true;
  horizontal->setValue(dragScrollPosition(DragX, DragScrollX, pointer.x(), horizontal->maximum()));
  vertical->setValue(dragScrollPosition(DragY, DragScrollY, pointer.y(), vertical->maximum()));
  PaintLocked = false;
  PaintBox1->repaint();
}

void TViewPicForm::PaintBox1MouseUp() {
  Dragging = false;
}

void TViewPicForm::OpenBtnClick() {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(PictureFileName.c_str())));
}

void TViewPicForm::PrintBrnClick() {
  if (!printerSource || dialogs == nullptr || Picture.Header == nullptr) return;
  const std::unique_ptr<QSettings> settings = openProgramSettings();
  runPrintRequest(this, printerSource(), *settings, *dialogs, Picture, PictureFileName);
}

}  // namespace glim
