#include "painter_device.h"

#include <QDebug>
#include <QPaintDevice>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "dib_view.h"

namespace glim {
namespace painter_drawing {
namespace {

// Larger device bitmaps are refused: 2^28 pixels are 1 GiB at 32 bits.
constexpr int64_t kMaxBitmapPixels = int64_t{1} << 28;

}  // namespace

int32_t stretchDib(QPainter& painter, bool smooth, int32_t destX, int32_t destY, int32_t destWidth,
                   int32_t destHeight, int32_t srcX, int32_t srcY, int32_t srcWidth,
                   int32_t srcHeight, const void* bits, const BITMAPINFOHEADER* header,
                   uint32_t rop) {
  if (rop != SRCCOPY) return GDI_ERROR;
  const auto view = DibView::describe(
      header, bits, 0,
      header != nullptr && header->biHeight > 0 ? static_cast<uint32_t>(header->biHeight) : 0);
  if (!view) return GDI_ERROR;
  // A negative source size mirrors as a negative destination size does.
  int64_t dw = destWidth, dh = destHeight, sx = srcX, sy = srcY, sw = srcWidth, sh = srcHeight;
  if (sw < 0) sx += sw, sw = -sw, dw = -dw;
  if (sh < 0) sy += sh, sh = -sh, dh = -dh;
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return 0;

  const QImage image = view->wrapScans();
  if (image.isNull()) return GDI_ERROR;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
  // Rows are bottom-up: the picture's row 0 belongs at the destination's bottom edge.
  painter.translate(destX, static_cast<qreal>(destY) + static_cast<qreal>(dh));
  painter.scale(dw < 0 ? -1 : 1, dh < 0 ? 1 : -1);
  painter.drawImage(
      QRectF(0, 0, static_cast<qreal>(std::abs(dw)), static_cast<qreal>(std::abs(dh))), image,
      QRectF(static_cast<qreal>(sx), static_cast<qreal>(sy), static_cast<qreal>(sw),
             static_cast<qreal>(sh)));
  painter.restore();
  return static_cast<int32_t>(sh);
}

int32_t copyDib(QPainter& painter, int32_t destX, int32_t destY, int32_t width, int32_t height,
                int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t lines, const void* bits,
                const BITMAPINFOHEADER* header) {
  const auto view = DibView::describe(header, bits, startScan, lines);
  if (!view || width <= 0 || height <= 0) return 0;
  // The part of the source rectangle that lies in the picture's columns and the held lines.
  const int64_t firstColumn = std::max<int64_t>(srcX, 0);
  const int64_t endColumn = std::min<int64_t>(int64_t{srcX} + width, view->width());
  const int64_t firstScan = std::max<int64_t>(srcY, view->firstScan());
  const int64_t endScan =
      std::min<int64_t>(int64_t{srcY} + height, int64_t{view->firstScan()} + view->scans());
  if (firstColumn >= endColumn || firstScan >= endScan) return static_cast<int32_t>(lines);

  const QImage image = view->wrapScans();
  if (image.isNull()) return 0;
  const qreal left = static_cast<qreal>(destX + (firstColumn - srcX));
  const qreal columns = static_cast<qreal>(endColumn - firstColumn);
  if (endScan - firstScan == 1) {
    // A single line (the line paths send one per call) needs no flip.
    const int64_t destRow = int64_t{destY} + (height - 1 - (firstScan - srcY));
    painter.drawImage(QPointF(left, static_cast<qreal>(destRow)), image,
                      QRectF(static_cast<qreal>(firstColumn),
                             static_cast<qreal>(firstScan - view->firstScan()), columns, 1));
  } else {
    // Several lines in one image (a printer gets one picture, not one per line), flipped since
    // the lowest line comes first.
    const qreal rows = static_cast<qreal>(endScan - firstScan);
    const int64_t bottomEdge = int64_t{destY} + height - (firstScan - srcY);
    painter.save();
    painter.translate(left, static_cast<qreal>(bottomEdge));
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, columns, rows), image,
                      QRectF(static_cast<qreal>(firstColumn),
                             static_cast<qreal>(firstScan - view->firstScan()), columns, rows));
    painter.restore();
  }
  return static_cast<int32_t>(lines);
}

std::unique_ptr<DeviceBitmap> makeBitmap(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxBitmapPixels) return nullptr;
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return nullptr;
  image.fill(Qt::black);
  return std::make_unique<DeviceBitmap>(std::move(image));
}

int32_t setBitmapBits(DeviceBitmap& bitmap, uint32_t startScan, uint32_t lines, const void* bits,
                      const BITMAPINFOHEADER* header) {
  const auto view = DibView::describe(header, bits, startScan, lines);
  QImage& target = bitmap.image();
  if (!view || view->width() != target.width() || view->height() != target.height()) return 0;
  QPainter painter(&target);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  return copyDib(painter, 0, 0, view->width(), view->height(), 0, 0, startScan, lines, bits,
                 header);
}

}  // namespace painter_drawing

namespace {

// A memory device of the painter device: draws into the bitmap selected into it, with a painter
// opened for each call so that the bitmap can be selected out and drawn elsewhere in between.
class PainterMemoryDevice : public DeviceContext {
 public:
  PainterMemoryDevice(PainterDevice::Kind kind, UserDialogs* dialogs)
      : kind_(kind), dialogs_(dialogs) {}

  int32_t GetDeviceCaps(int32_t index) const override {
    if (index == TECHNOLOGY)
      return kind_ == PainterDevice::Kind::Printer ? DT_RASPRINTER : DT_RASDISPLAY;
    if (index == RASTERCAPS) return RC_BITBLT | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    if (index == BITSPIXEL) return 32;
    return 0;
  }
  int32_t SetStretchBltMode(int32_t mode) override { return std::exchange(stretchMode_, mode); }
  HPALETTE SelectPalette(HPALETTE palette, bool) override {
    return std::exchange(palette_, palette);
  }
  uint32_t RealizePalette() override { return palette_ != nullptr ? palette_->count : 0; }
  int32_t StretchDIBits(int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                        int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
                        const void* bits, const BITMAPINFOHEADER* header, uint32_t,
                        uint32_t rop) override {
    if (bitmap_ == nullptr) return GDI_ERROR;
    QPainter painter(&bitmap_->image());
    return painter_drawing::stretchDib(painter, stretchMode_ == HALFTONE, destX, destY, destWidth,
                                       destHeight, srcX, srcY, srcWidth, srcHeight, bits, header,
                                       rop);
  }
  int32_t SetDIBitsToDevice(int32_t destX, int32_t destY, int32_t width, int32_t height,
                            int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t lines,
                            const void* bits, const BITMAPINFOHEADER* header, uint32_t) override {
    if (bitmap_ == nullptr) return 0;
    QPainter painter(&bitmap_->image());
    return painter_drawing::copyDib(painter, destX, destY, width, height, srcX, srcY, startScan,
                                    lines, bits, header);
  }
  std::unique_ptr<DeviceBitmap> CreateCompatibleBitmap(int32_t width, int32_t height) override {
    return painter_drawing::makeBitmap(width, height);
  }
  std::unique_ptr<DeviceContext> CreateCompatibleDC() override {
    return std::make_unique<PainterMemoryDevice>(kind_, dialogs_);
  }
  DeviceBitmap* SelectBitmap(DeviceBitmap* bitmap) override {
    return std::exchange(bitmap_, bitmap);
  }
  int32_t SetDIBits(DeviceBitmap& bitmap, uint32_t startScan, uint32_t lines, const void* bits,
                    const BITMAPINFOHEADER* header, uint32_t) override {
    return painter_drawing::setBitmapBits(bitmap, startScan, lines, bits, header);
  }
  bool StretchBlt(int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                  DeviceContext& source, int32_t srcX, int32_t srcY, int32_t srcWidth,
                  int32_t srcHeight, uint32_t rop) override {
    const DeviceBitmap* from = source.selectedBitmap();
    if (bitmap_ == nullptr || from == nullptr || rop != SRCCOPY) return false;
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return false;
    QPainter painter(&bitmap_->image());
    painter.drawImage(QRectF(destX, destY, destWidth, destHeight), from->image(),
                      QRectF(srcX, srcY, srcWidth, srcHeight));
    return true;
  }
  DeviceBitmap* selectedBitmap() const override { return bitmap_; }
  void ShowMessage(const std::string& text) override {
    if (dialogs_ != nullptr) {
      dialogs_->showMessage({text, "", MessageButtons::Ok, MessageIcon::None});
    } else {
      qWarning("%s", text.c_str());
    }
  }

 private:
  PainterDevice::Kind kind_;
  UserDialogs* dialogs_;
  DeviceBitmap* bitmap_ = nullptr;
  HPALETTE palette_ = nullptr;
  int32_t stretchMode_ = BLACKONWHITE;
};

}  // namespace

PainterDevice::PainterDevice(QPainter& painter, Kind kind, UserDialogs* dialogs)
    : painter_(painter), kind_(kind), dialogs_(dialogs) {}

int32_t PainterDevice::GetDeviceCaps(int32_t index) const {
  switch (index) {
    case TECHNOLOGY:
      return kind_ == Kind::Printer ? DT_RASPRINTER : DT_RASDISPLAY;
    case RASTERCAPS:
      return RC_BITBLT | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case BITSPIXEL:
      return painter_.device() != nullptr ? painter_.device()->depth() : 0;
    default:
      return 0;
  }
}

int32_t PainterDevice::SetStretchBltMode(int32_t mode) {
  return std::exchange(stretchMode_, mode);
}

HPALETTE PainterDevice::SelectPalette(HPALETTE palette, bool) {
  return std::exchange(palette_, palette);
}

uint32_t PainterDevice::RealizePalette() {
  return palette_ != nullptr ? palette_->count : 0;
}

int32_t PainterDevice::StretchDIBits(int32_t destX, int32_t destY, int32_t destWidth,
                                     int32_t destHeight, int32_t srcX, int32_t srcY,
                                     int32_t srcWidth, int32_t srcHeight, const void* bits,
                                     const BITMAPINFOHEADER* header, uint32_t, uint32_t rop) {
  return painter_drawing::stretchDib(painter_, stretchMode_ == HALFTONE, destX, destY, destWidth,
                                     destHeight, srcX, srcY, srcWidth, srcHeight, bits, header,
                                     rop);
}

int32_t PainterDevice::SetDIBitsToDevice(int32_t destX, int32_t destY, int32_t width,
                                         int32_t height, int32_t srcX, int32_t srcY,
                                         uint32_t startScan, uint32_t lines, const void* bits,
                                         const BITMAPINFOHEADER* header, uint32_t) {
  return painter_drawing::copyDib(painter_, destX, destY, width, height, srcX, srcY, startScan,
                                  lines, bits, header);
}

std::unique_ptr<DeviceBitmap> PainterDevice::CreateCompatibleBitmap(int32_t width, int32_t height) {
  return painter_drawing::makeBitmap(width, height);
}

std::unique_ptr<DeviceContext> PainterDevice::CreateCompatibleDC() {
  return std::make_unique<PainterMemoryDevice>(kind_, dialogs_);
}

DeviceBitmap* PainterDevice::SelectBitmap(DeviceBitmap*) {
  return nullptr;
}

int32_t PainterDevice::SetDIBits(DeviceBitmap& bitmap, uint32_t startScan, uint32_t lines,
                                 const void* bits, const BITMAPINFOHEADER* header, uint32_t) {
  return painter_drawing::setBitmapBits(bitmap, startScan, lines, bits, header);
}

bool PainterDevice::StretchBlt(int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                               DeviceContext& source, int32_t srcX, int32_t srcY, int32_t srcWidth,
                               int32_t srcHeight, uint32_t rop) {
  const DeviceBitmap* from = source.selectedBitmap();
  if (from == nullptr || rop != SRCCOPY) return false;
  if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return false;
  painter_.save();
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, stretchMode_ == HALFTONE);
  painter_.drawImage(QRectF(destX, destY, destWidth, destHeight), from->image(),
                     QRectF(srcX, srcY, srcWidth, srcHeight));
  painter_.restore();
  return true;
}

bool PainterDevice::GetClipBox(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const {
  const QPaintDevice* device = painter_.device();
  if (device == nullptr) return false;
  // The painter's own transform, not the device transform: a widget painted on screen is drawn
  // into its window's backing store, and the device transform also holds the widget's place
  // there. On a scaled screen that transform ends in device pixels, so the device's size is
  // taken in them too. A translation and a scale (drawing in a scaled screen's own pixels) map
  // the device's rectangle onto a rectangle; a rotation or shear does not.
  const QTransform transform = painter_.combinedTransform();
  if (transform.type() > QTransform::TxScale || !transform.isInvertible()) return false;
  const qreal ratio = device->devicePixelRatioF();
  QRectF box =
      transform.inverted().mapRect(QRectF(0, 0, device->width() * ratio, device->height() * ratio));
  if (painter_.hasClipping()) box &= painter_.clipBoundingRect();
  const QRect whole = box.toAlignedRect();
  left = whole.left();
  top = whole.top();
  right = whole.left() + std::max(whole.width(), 0);
  bottom = whole.top() + std::max(whole.height(), 0);
  return true;
}

qreal paintInDevicePixels(QPainter& painter) {
  const QPaintDevice* device = painter.device();
  const qreal ratio = device != nullptr ? device->devicePixelRatioF() : 1.0;
  if (ratio > 0 && ratio != 1.0) painter.scale(1.0 / ratio, 1.0 / ratio);
  return ratio > 0 ? ratio : 1.0;
}

int32_t widgetPixels(int64_t devicePixels, qreal ratio) {
  const double pixels = std::ceil(static_cast<double>(devicePixels) / ratio);
  return static_cast<int32_t>(
      std::clamp(pixels, 0.0, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

int32_t devicePixels(int32_t widgetPixels, qreal ratio) {
  const double pixels = std::floor(static_cast<double>(widgetPixels) * ratio);
  return static_cast<int32_t>(
      std::clamp(pixels, 0.0, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

void PainterDevice::ShowMessage(const std::string& text) {
  if (dialogs_ != nullptr) {
    dialogs_->showMessage({text, "", MessageButtons::Ok, MessageIcon::None});
  } else {
    qWarning("%s", text.c_str());
  }
}

}  // namespace glim
