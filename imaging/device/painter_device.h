// The device layer over a QPainter: screen widgets, printer pages and off-screen images.
#pragma once

#include <QPainter>

#include "device_context.h"
#include "user_dialogs.h"

namespace glim {

// Draws through a painter that is active for the whole life of the device. A printer's painter
// reports itself as a raster printer. Palettes are accepted and remembered: this display has
// none to realise. Messages go to `dialogs` when given (the window's), else to the log.
class PainterDevice : public DeviceContext {
 public:
  enum class Kind { Display, Printer };

  PainterDevice(QPainter& painter, Kind kind, UserDialogs* dialogs = nullptr);

  int32_t GetDeviceCaps(int32_t index) const override;
  int32_t SetStretchBltMode(int32_t mode) override;
  HPALETTE SelectPalette(HPALETTE palette, bool forceBackground) override;
  uint32_t RealizePalette() override;
  int32_t StretchDIBits(int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                        int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
                        const void* bits, const BITMAPINFOHEADER* header, uint32_t usage,
                        uint32_t rop) override;
  int32_t SetDIBitsToDevice(int32_t destX, int32_t destY, int32_t width, int32_t height,
                            int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t lines,
                            const void* bits, const BITMAPINFOHEADER* header,
                            uint32_t usage) override;
  std::unique_ptr<DeviceBitmap> CreateCompatibleBitmap(int32_t width, int32_t height) override;
  std::unique_ptr<DeviceContext> CreateCompatibleDC() override;
  DeviceBitmap* SelectBitmap(DeviceBitmap* bitmap) override;
  int32_t SetDIBits(DeviceBitmap& bitmap, uint32_t startScan, uint32_t lines, const void* bits,
                    const BITMAPINFOHEADER* header, uint32_t usage) override;
  bool StretchBlt(int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                  DeviceContext& source, int32_t srcX, int32_t srcY, int32_t srcWidth,
                  int32_t srcHeight, uint32_t rop) override;
  DeviceBitmap* selectedBitmap() const override { return nullptr; }
  // The painter's clip (set it to the paint event's rectangle) within the device's size.
  bool GetClipBox(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const override;
  void ShowMessage(const std::string& text) override;

  HPALETTE selectedPalette() const { return palette_; }
  int32_t stretchMode() const { return stretchMode_; }

 private:
  QPainter& painter_;
  Kind kind_;
  UserDialogs* dialogs_;
  HPALETTE palette_ = nullptr;
  int32_t stretchMode_ = BLACKONWHITE;
};

// Makes one unit of `painter` one pixel of its device: a scaled screen has several device pixels
// per widget pixel, and a picture drawn in them is sharp rather than enlarged. Call it after
// setting the clip, which stays in widget pixels. Returns the device pixels per widget pixel.
qreal paintInDevicePixels(QPainter& painter);

// A length of device pixels in widget pixels, rounded up so that it covers them all; and the
// device pixels that a length of widget pixels holds whole.
int32_t widgetPixels(int64_t devicePixels, qreal ratio);
int32_t devicePixels(int32_t widgetPixels, qreal ratio);

// Primitive drawing steps shared by the painter device and its memory devices.
namespace painter_drawing {

// Scaled copy of a DIB rectangle (source y from the bottom) into a device rectangle; negative
// sizes mirror. Scan lines drawn, or GDI_ERROR.
int32_t stretchDib(QPainter& painter, bool smooth, int32_t destX, int32_t destY, int32_t destWidth,
                   int32_t destHeight, int32_t srcX, int32_t srcY, int32_t srcWidth,
                   int32_t srcHeight, const void* bits, const BITMAPINFOHEADER* header,
                   uint32_t rop);

// Unscaled copy of the held scan lines of a DIB rectangle. Scan lines drawn, 0 on failure.
int32_t copyDib(QPainter& painter, int32_t destX, int32_t destY, int32_t width, int32_t height,
                int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t lines, const void* bits,
                const BITMAPINFOHEADER* header);

// A top-down 32-bit bitmap of the given size, null when it is too large or cannot be made.
std::unique_ptr<DeviceBitmap> makeBitmap(int32_t width, int32_t height);

// Sets bitmap lines (counted from its bottom) from a DIB of the bitmap's size. Lines set or 0.
int32_t setBitmapBits(DeviceBitmap& bitmap, uint32_t startScan, uint32_t lines, const void* bits,
                      const BITMAPINFOHEADER* header);

}  // namespace painter_drawing
}  // namespace glim
