#include "recording_device.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "dib_view.h"

namespace glim {
namespace {

constexpr int64_t kMaxBitmapPixels = int64_t{1} << 26;

// Records the header and the scan lines of a DIB argument, when they are readable.
void keepBits(DeviceCall& call, const void* bits, const BITMAPINFOHEADER* header,
              uint32_t startScan, uint32_t lines) {
  call.bits = bits;
  if (header != nullptr) call.header = *header;
  if (const auto view = DibView::describe(header, bits, startScan, lines)) {
    const auto* first = static_cast<const uint8_t*>(bits);
    call.scanBytes.assign(first, first + view->rowBytes() * view->scans());
  }
}

// Index k of n equal parts of a length, sampled at the centre of part k: floor((k + 1/2) * len /
// n).
int64_t centreSample(int64_t k, int64_t length, int64_t parts) {
  return (2 * k + 1) * length / (2 * parts);
}

void putPixel(QImage& image, int64_t x, int64_t y, QRgb color) {
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
  reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)))[x] = color | 0xff000000u;
}

// Scaled drawing of a DIB rectangle (source y from the bottom) by nearest neighbour at pixel
// centres; negative sizes mirror. Returns the scan lines drawn or GDI_ERROR.
int32_t renderStretched(QImage& image, int32_t destX, int32_t destY, int32_t destWidth,
                        int32_t destHeight, int32_t srcX, int32_t srcY, int32_t srcWidth,
                        int32_t srcHeight, const void* bits, const BITMAPINFOHEADER* header) {
  const uint32_t height = header != nullptr && header->biHeight > 0 ? header->biHeight : 0;
  const auto view = DibView::describe(header, bits, 0, height);
  if (!view) return GDI_ERROR;
  int64_t dw = destWidth, dh = destHeight, sx = srcX, sy = srcY, sw = srcWidth, sh = srcHeight;
  if (sw < 0) sx += sw, sw = -sw, dw = -dw;
  if (sh < 0) sy += sh, sh = -sh, dh = -dh;
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return 0;
  const int64_t left = dw < 0 ? destX + dw : destX;
  const int64_t top = dh < 0 ? destY + dh : destY;
  const int64_t width = std::abs(dw), rows = std::abs(dh);
  for (int64_t j = 0; j < rows; ++j) {
    // Counted from the destination's bottom edge, where the picture's lowest line goes.
    const int64_t fromBottom = dh < 0 ? j : rows - 1 - j;
    const int64_t scan = sy + centreSample(fromBottom, sh, rows);
    if (!view->holdsScan(scan)) continue;
    for (int64_t i = 0; i < width; ++i) {
      const int64_t column = sx + centreSample(dw < 0 ? width - 1 - i : i, sw, width);
      if (column < 0 || column >= view->width()) continue;
      putPixel(image, left + i, top + j, view->pixel(static_cast<int32_t>(column), scan));
    }
  }
  return static_cast<int32_t>(sh);
}

// Unscaled drawing of the held scan lines of a DIB rectangle. Scan lines drawn, 0 on failure.
int32_t renderCopied(QImage& image, int32_t destX, int32_t destY, int32_t width, int32_t height,
                     int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t lines,
                     const void* bits, const BITMAPINFOHEADER* header) {
  const auto view = DibView::describe(header, bits, startScan, lines);
  if (!view || width <= 0 || height <= 0) return 0;
  for (int64_t j = 0; j < height; ++j) {
    const int64_t scan = int64_t{srcY} + (height - 1 - j);
    if (!view->holdsScan(scan)) continue;
    for (int64_t i = 0; i < width; ++i) {
      const int64_t column = int64_t{srcX} + i;
      if (column < 0 || column >= view->width()) continue;
      putPixel(image, destX + i, destY + j, view->pixel(static_cast<int32_t>(column), scan));
    }
  }
  return static_cast<int32_t>(lines);
}

}  // namespace

RecordingDevice::RecordingDevice(int32_t width, int32_t height, RecordingDeviceBehaviour behaviour,
                                 QRgb background)
    : log_(std::make_shared<std::vector<DeviceCall>>()),
      behaviour_(behaviour),
      surface_(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32) {
  surface_.fill(background);
}

RecordingDevice::RecordingDevice(std::shared_ptr<std::vector<DeviceCall>> log,
                                 RecordingDeviceBehaviour behaviour)
    : log_(std::move(log)), behaviour_(behaviour), memory_(true) {}

std::vector<DeviceCall> RecordingDevice::callsOf(DeviceCall::Op op) const {
  std::vector<DeviceCall> found;
  for (const DeviceCall& call : *log_) {
    if (call.op == op) found.push_back(call);
  }
  return found;
}

DeviceCall& RecordingDevice::record(DeviceCall::Op op, std::vector<int64_t> args) const {
  DeviceCall call;
  call.op = op;
  call.onMemoryDevice = memory_;
  call.args = std::move(args);
  log_->push_back(std::move(call));
  return log_->back();
}

QImage* RecordingDevice::target() {
  if (!memory_) return &surface_;
  return bitmap_ != nullptr ? &bitmap_->image() : nullptr;
}

int32_t RecordingDevice::GetDeviceCaps(int32_t index) const {
  DeviceCall& call = record(DeviceCall::Op::GetDeviceCaps, {index});
  int32_t value = 0;
  if (index == TECHNOLOGY) value = behaviour_.technology;
  if (index == RASTERCAPS) value = behaviour_.rasterCaps;
  if (index == BITSPIXEL) value = 32;
  call.result = value;
  return value;
}

int32_t RecordingDevice::SetStretchBltMode(int32_t mode) {
  record(DeviceCall::Op::SetStretchBltMode, {mode}).result = stretchMode_;
  return std::exchange(stretchMode_, mode);
}

HPALETTE RecordingDevice::SelectPalette(HPALETTE palette, bool forceBackground) {
  DeviceCall& call = record(DeviceCall::Op::SelectPalette, {forceBackground ? 1 : 0});
  call.palette = palette;
  return std::exchange(palette_, palette);
}

uint32_t RecordingDevice::RealizePalette() {
  const uint32_t mapped = palette_ != nullptr ? palette_->count : 0;
  record(DeviceCall::Op::RealizePalette, {}).result = mapped;
  return mapped;
}

int32_t RecordingDevice::StretchDIBits(int32_t destX, int32_t destY, int32_t destWidth,
                                       int32_t destHeight, int32_t srcX, int32_t srcY,
                                       int32_t srcWidth, int32_t srcHeight, const void* bits,
                                       const BITMAPINFOHEADER* header, uint32_t usage,
                                       uint32_t rop) {
  DeviceCall& call =
      record(DeviceCall::Op::StretchDIBits,
             {destX, destY, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, usage, rop});
  const uint32_t height = header != nullptr && header->biHeight > 0 ? header->biHeight : 0;
  keepBits(call, bits, header, 0, height);
  QImage* image = target();
  int32_t result = GDI_ERROR;
  if (!behaviour_.failStretchDIBits && image != nullptr && rop == SRCCOPY) {
    result = renderStretched(*image, destX, destY, destWidth, destHeight, srcX, srcY, srcWidth,
                             srcHeight, bits, header);
  }
  call.result = result;
  return result;
}

int32_t RecordingDevice::SetDIBitsToDevice(int32_t destX, int32_t destY, int32_t width,
                                           int32_t height, int32_t srcX, int32_t srcY,
                                           uint32_t startScan, uint32_t lines, const void* bits,
                                           const BITMAPINFOHEADER* header, uint32_t usage) {
  DeviceCall& call = record(DeviceCall::Op::SetDIBitsToDevice,
                            {destX, destY, width, height, srcX, srcY, startScan, lines, usage});
  keepBits(call, bits, header, startScan, lines);
  QImage* image = target();
  int32_t result = 0;
  if (!behaviour_.failSetDIBitsToDevice && image != nullptr) {
    result = renderCopied(*image, destX, destY, width, height, srcX, srcY, startScan, lines, bits,
                          header);
  }
  call.result = result;
  return result;
}

std::unique_ptr<DeviceBitmap> RecordingDevice::CreateCompatibleBitmap(int32_t width,
                                                                      int32_t height) {
  DeviceCall& call = record(DeviceCall::Op::CreateCompatibleBitmap, {width, height});
  if (behaviour_.failCreateCompatibleBitmap || width <= 0 || height <= 0 ||
      int64_t{width} * height > kMaxBitmapPixels) {
    return nullptr;
  }
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return nullptr;
  image.fill(Qt::black);
  call.result = 1;
  return std::make_unique<DeviceBitmap>(std::move(image));
}

std::unique_ptr<DeviceContext> RecordingDevice::CreateCompatibleDC() {
  record(DeviceCall::Op::CreateCompatibleDC, {}).result = 1;
  return std::unique_ptr<DeviceContext>(new RecordingDevice(log_, behaviour_));
}

DeviceBitmap* RecordingDevice::SelectBitmap(DeviceBitmap* bitmap) {
  record(DeviceCall::Op::SelectBitmap, {bitmap != nullptr ? 1 : 0});
  if (!memory_) return nullptr;
  return std::exchange(bitmap_, bitmap);
}

int32_t RecordingDevice::SetDIBits(DeviceBitmap& bitmap, uint32_t startScan, uint32_t lines,
                                   const void* bits, const BITMAPINFOHEADER* header,
                                   uint32_t usage) {
  DeviceCall& call = record(DeviceCall::Op::SetDIBits, {startScan, lines, usage});
  keepBits(call, bits, header, startScan, lines);
  QImage& image = bitmap.image();
  const auto view = DibView::describe(header, bits, startScan, lines);
  if (behaviour_.failSetDIBits || !view || view->width() != image.width() ||
      view->height() != image.height()) {
    return 0;
  }
  // The bitmap is top-down: line s from the bottom is image row height - 1 - s.
  for (int64_t scan = view->firstScan(); scan < view->firstScan() + view->scans(); ++scan) {
    for (int32_t x = 0; x < view->width(); ++x) {
      putPixel(image, x, view->height() - 1 - scan, view->pixel(x, scan));
    }
  }
  call.result = lines;
  return static_cast<int32_t>(lines);
}

bool RecordingDevice::StretchBlt(int32_t destX, int32_t destY, int32_t destWidth,
                                 int32_t destHeight, DeviceContext& source, int32_t srcX,
                                 int32_t srcY, int32_t srcWidth, int32_t srcHeight, uint32_t rop) {
  DeviceCall& call = record(DeviceCall::Op::StretchBlt, {destX, destY, destWidth, destHeight, srcX,
                                                         srcY, srcWidth, srcHeight, rop});
  const DeviceBitmap* from = source.selectedBitmap();
  QImage* image = target();
  if (behaviour_.failStretchBlt || from == nullptr || image == nullptr || rop != SRCCOPY ||
      destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) {
    return false;
  }
  const QImage& pixels = from->image();
  for (int64_t j = 0; j < destHeight; ++j) {
    const int64_t y = srcY + centreSample(j, srcHeight, destHeight);
    if (y < 0 || y >= pixels.height()) continue;
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(static_cast<int>(y)));
    for (int64_t i = 0; i < destWidth; ++i) {
      const int64_t x = srcX + centreSample(i, srcWidth, destWidth);
      if (x >= 0 && x < pixels.width()) putPixel(*image, destX + i, destY + j, row[x]);
    }
  }
  call.result = 1;
  return true;
}

void RecordingDevice::ShowMessage(const std::string& text) {
  record(DeviceCall::Op::ShowMessage, {}).text = text;
}

}  // namespace glim
