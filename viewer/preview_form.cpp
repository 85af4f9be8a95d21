#include "preview_form.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QVBoxLayout>

#include "painter_device.h"
#include "stretch_draw.h"
#include "window_placement.h"

namespace glim {

TPreViewForm::TPreViewForm(const DibImage* picture, QWidget* parent, UserDialogs* dialogs)
    : QDialog(parent), picture_(picture), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("View picture"));
  openWithinScreen(*this, QSize(560, 460));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* Panel1 = new QWidget(this);
  Panel1->setFixedHeight(41);
  BitBtn1 = new QPushButton(QStringLiteral("Back.."), Panel1);
  BitBtn1->setGeometry(8, 8, 105, 25);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(Panel1);

  ScrollBox1 = new QScrollArea(this);
  ScrollBox1->setWidgetResizable(false);
  ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette workspace = ScrollBox1->palette();
  workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));  // application workspace
  ScrollBox1->setPalette(workspace);
  ScrollBox1->setBackgroundRole(QPalette::Window);
  // Any size will do at first: the first paint brings it to the picture's.
  PaintBox1 = new QWidget;
  PaintBox1->setAccessibleName(QStringLiteral("Picture preview"));
  PaintBox1->resize(105, 105);
  PaintBox1->installEventFilter(this);
  ScrollBox1->setWidget(PaintBox1);
  layout->addWidget(ScrollBox1, 1);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setSizeGripEnabled(false);
  layout->addWidget(StatusBar1);
}

bool TPreViewForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PaintBox1 && event->type() == QEvent::Paint) {
    PaintBox1Paint(static_cast<QPaintEvent*>(event)->rect());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TPreViewForm::PaintBox1Paint(const QRect& area) {
  if (!picture_ || !picture_->Pixels || !picture_->Header) return;
  const int32_t W = picture_->Header->biWidth;
  const int32_t H = picture_->Header->biHeight;
  if (W <= 0 || H <= 0) return;
  // A size change paints again, so the picture is drawn once the box has its size: one picture
  // pixel on one pixel of the screen.
  const qreal ratio = PaintBox1->devicePixelRatioF();
  const int32_t boxWidth = widgetPixels(W, ratio);
  const int32_t boxHeight = widgetPixels(H, ratio);
  if (PaintBox1->width() != boxWidth) {
    ++sizingPasses_;
    PaintBox1->resize(boxWidth, PaintBox1->height());
    return;
  }
  if (PaintBox1->height() != boxHeight) {
    ++sizingPasses_;
    PaintBox1->resize(boxWidth, boxHeight);
    return;
  }
  ++drawingPasses_;
  QPainter painter(PaintBox1);
  painter.setClipRect(area);  // the device draws only what is exposed
  paintInDevicePixels(painter);
  PainterDevice device(painter, PainterDevice::Kind::Display, dialogs_);
  StretchDrawDib(device, 0, 0, W, H, *picture_, 0, 0, W, H, true, SRCCOPY, true, nullptr);
}

}  // namespace glim
