#include "view_pic_form.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
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
#include <QShortcut>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <limits>

#include "dibs24.h"
#include "form_storage.h"
#include "painter_device.h"
#include "print_job.h"
#include "spin_field.h"
#include "stretch_draw.h"
#include "video_clip.h"
#include "window_placement.h"
#include "zoom_geometry.h"

namespace glim {
namespace {

// The viewing area's background: the application workspace colour, black in full screen.
QPalette viewingAreaPalette(QPalette palette, bool fullScreen) {
  palette.setColor(QPalette::Window,
                   fullScreen ? QColor(Qt::black) : palette.color(QPalette::Dark));
  return palette;
}

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
  ZoomEd->setAccessibleName(QStringLiteral("Zoom"));
  PositionLabel = new QLabel(Panel5);
  PositionLabel->setGeometry(441, 8, 83, 21);
  layout->addWidget(Panel5);

  ScrollBox1 = new QScrollArea(this);
  ScrollBox1->setWidgetResizable(false);
  ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ScrollBox1->setPalette(viewingAreaPalette(ScrollBox1->palette(), false));
  ScrollBox1->setBackgroundRole(QPalette::Window);
  ScrollBox1->viewport()->installEventFilter(this);
  normalFrame_ = ScrollBox1->frameShape();
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

  // Commands wherever the focus is; Space, Backspace and F belong to the viewing area
  // (keyPressEvent), so that the buttons and the zoom field keep theirs.
  const auto command = [this](QKeyCombination key, auto run) {
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, run);
  };
  const auto zoomStep = [this](int steps) {
    fitting_ = false;
    zoomAbout(steppedZoom(zoom(), steps), viewCentre());
  };
  command(Qt::CTRL | Qt::Key_Plus, [zoomStep] { zoomStep(1); });
  command(Qt::CTRL | Qt::Key_Equal, [zoomStep] { zoomStep(1); });
  command(Qt::CTRL | Qt::Key_Minus, [zoomStep] { zoomStep(-1); });
  command(Qt::CTRL | Qt::Key_0, [this] {
    fitting_ = false;
    zoomAbout(100, viewCentre());
  });
  command(Qt::ALT | Qt::Key_Right, [this] { step(1); });
  command(Qt::ALT | Qt::Key_Left, [this] { step(-1); });
  command(QKeyCombination(Qt::Key_F11), [this] { setFullScreen(!fullScreen_); });
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
      if (!fullScreen_) move(screen->availableGeometry().center() - rect().center());
    }
    sizeEmptyArea();
    if (fitting_) fitNow();
    ScrollBox1->setFocus();  // so that Space and Backspace step at once
  }
  QDialog::showEvent(event);
}

void TViewPicForm::hideEvent(QHideEvent* event) {
  // Closed in full screen (not only minimised): the next showing is a normal window.
  if (!event->spontaneous() && fullScreen_) {
    fullScreen_ = false;
    showFullScreenLook(false);
    setWindowState(windowState() & ~Qt::WindowFullScreen);
  }
  QDialog::hideEvent(event);
}

void TViewPicForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  updatePositionLabel();
  if (fitting_) fitNow();
}

void TViewPicForm::keyPressEvent(QKeyEvent* event) {
  const QWidget* focus = focusWidget();
  const bool inArea = focus != nullptr && (focus == ScrollBox1 || ScrollBox1->isAncestorOf(focus));
  if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (event->key() == Qt::Key_Escape && fullScreen_) {
      setFullScreen(false);
      return;
    }
    if (inArea && event->key() == Qt::Key_Space) return step(1);
    if (inArea && event->key() == Qt::Key_Backspace) return step(-1);
    if (inArea && event->key() == Qt::Key_F) return toggleFit();
  }
  QDialog::keyPressEvent(event);
}

void TViewPicForm::showPicture(const DibImage& picture, const std::string& fileName, int line,
                               int count) {
  Picture = picture;
  PictureFileName = fileName;
  positionName_ = QFileInfo(QString::fromLocal8Bit(fileName.c_str())).fileName();
  positionCount_ = QStringLiteral("%1 of %2").arg(line + 1).arg(count);
  // A clip shows its poster; the label tells its length, and "open with" plays the clip.
  glim::ClipFacts clip;
  std::string error;
  if (glim::isClipFile(fileName) && glim::probeClip(fileName, clip, error)) {
    positionCount_ +=
        QStringLiteral("   ") + QString::fromStdString(glim::clipDurationText(clip.seconds));
  }
  PaintBox1->setAccessibleName(positionName_);
  updatePositionLabel();
  if (!isVisible()) return;
  if (fitting_) {
    fitNow();
  } else {
    sizeEmptyArea();
    PaintBox1->repaint();
  }
}

void TViewPicForm::updatePositionLabel() {
  const int width = std::max(0, Panel5->width() - PositionLabel->x() - 8);
  PositionLabel->resize(width, PositionLabel->height());
  if (positionName_.isEmpty()) return PositionLabel->clear();
  // The count always shows; a long name gives way in its middle.
  const QFontMetrics metrics(PositionLabel->font());
  const QString count = QStringLiteral("   ") + positionCount_;
  PositionLabel->setText(
      metrics.elidedText(positionName_, Qt::ElideMiddle, width - metrics.horizontalAdvance(count)) +
      count);
}

QPointF TViewPicForm::viewCentre() const {
  return QRectF(ScrollBox1->viewport()->rect()).center();
}

void TViewPicForm::zoomAbout(int32_t zoomPercent, QPointF anchor) {
  const int32_t before = std::max(zoom(), 1);
  const qreal ratio = PaintBox1->devicePixelRatioF();
  // The picture point under the anchor, in picture pixels.
  const QPointF picturePoint = (anchor - QPointF(PaintBox1->pos())) * ratio * 100.0 / before;
  settingZoom_ = true;
  ZoomEd->setValue(zoomPercent);
  settingZoom_ = false;
  if (Picture.Header == nullptr) return;
  const ZoomedSize size = zoomedSize(DibWidth(Picture), DibHeight(Picture), zoom(), ratio);
  // The area takes its size at once, so that the scroll ranges hold the new positions.
  PaintLocked = true;
  PaintBox1->resize(size.boxWidth, size.boxHeight);
  const QPointF scroll = picturePoint * zoom() / 100.0 / ratio - anchor;
  ScrollBox1->horizontalScrollBar()->setValue(qRound(scroll.x()));
  ScrollBox1->verticalScrollBar()->setValue(qRound(scroll.y()));
  PaintLocked = false;
  PaintBox1->update();
}

void TViewPicForm::fitNow() {
  if (Picture.Header == nullptr) return;
  const QSize area = ScrollBox1->maximumViewportSize();
  const qreal ratio = PaintBox1->devicePixelRatioF();
  zoomAbout(fitZoom(DibWidth(Picture), DibHeight(Picture), devicePixels(area.width(), ratio),
                    devicePixels(area.height(), ratio)),
            viewCentre());
}

void TViewPicForm::toggleFit() {
  if (fitting_) {
    fitting_ = false;
    zoomAbout(zoomBeforeFit_, viewCentre());
    return;
  }
  zoomBeforeFit_ = zoom();
  fitting_ = true;
  fitNow();
}

bool TViewPicForm::wheelZoom(QWheelEvent* wheel, QPointF inViewport) {
  if (!wheel->modifiers().testFlag(Qt::ControlModifier)) return false;  // the wheel scrolls
  // One notch is 120; finer wheels add up to it.
  wheelAngle_ += wheel->angleDelta().y();
  const int steps = wheelAngle_ / 120;
  wheelAngle_ -= steps * 120;
  if (steps != 0) {
    fitting_ = false;
    zoomAbout(steppedZoom(zoom(), steps), inViewport);
  }
  return true;
}

bool TViewPicForm::stepButton(QMouseEvent* press) {
  if (press->button() == Qt::BackButton) {
    step(-1);
  } else if (press->button() == Qt::ForwardButton) {
    step(1);
  } else {
    return false;
  }
  return true;
}

void TViewPicForm::step(int direction) {
  if (stepPicture) stepPicture(direction);
}

void TViewPicForm::setFullScreen(bool on) {
  if (on == fullScreen_) return;
  fullScreen_ = on;
  showFullScreenLook(on);
  if (on) {
    showFullScreen();
  } else {
    showNormal();
  }
}

void TViewPicForm::showFullScreenLook(bool on) {
  Panel5->setVisible(!on);
  StatusBar1->setVisible(!on);
  setSizeGripEnabled(!on);
  ScrollBox1->setPalette(viewingAreaPalette(palette(), on));
  ScrollBox1->setFrameShape(on ? QFrame::NoFrame : static_cast<QFrame::Shape>(normalFrame_));
  const Qt::ScrollBarPolicy bars = on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
  ScrollBox1->setHorizontalScrollBarPolicy(bars);
  ScrollBox1->setVerticalScrollBarPolicy(bars);
  ScrollBox1->setAlignment(on ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignTop));
}

void TViewPicForm::sizeEmptyArea() {
  if (!PaintBox1->size().isEmpty() || Picture.Header == nullptr) return;
  const ZoomedSize size =
      zoomedSize(DibWidth(Picture), DibHeight(Picture), zoom(), PaintBox1->devicePixelRatioF());
  PaintBox1->resize(size.boxWidth, size.boxHeight);
}

void TViewPicForm::ZoomEdChange() {
  if (!settingZoom_) fitting_ = false;  // a typed zoom ends fit mode
  sizeEmptyArea();
  PaintBox1->repaint();
}

bool TViewPicForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ScrollBox1->viewport()) {
    if (event->type() == QEvent::Wheel) {
      auto* wheel = static_cast<QWheelEvent*>(event);
      return wheelZoom(wheel, wheel->position());
    }
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      return stepButton(static_cast<QMouseEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
  }
  if (watched != PaintBox1) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Paint:
      PaintBox1Paint(static_cast<QPaintEvent*>(event)->rect());
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (stepButton(static_cast<QMouseEvent*>(event))) return true;  // never a drag
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
    case QEvent::Wheel: {
      auto* wheel = static_cast<QWheelEvent*>(event);
      return wheelZoom(wheel, PaintBox1->mapTo(ScrollBox1->viewport(), wheel->position()));
    }
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
