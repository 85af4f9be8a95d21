// The device layer: the handful of platform drawing operations that stretch drawing uses, on a
// screen widget, a printer page, an off-screen bitmap or a recording device for tests.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <string>

#include "picodec.h"

namespace glim {

// Indices for GetDeviceCaps and the values they report.
inline constexpr int32_t TECHNOLOGY = 2;
inline constexpr int32_t RASTERCAPS = 38;
inline constexpr int32_t BITSPIXEL = 12;
inline constexpr int32_t DT_RASDISPLAY = 1;
inline constexpr int32_t DT_RASPRINTER = 2;
inline constexpr int32_t RC_BITBLT = 0x0001;
inline constexpr int32_t RC_DIBTODEV = 0x0200;
inline constexpr int32_t RC_STRETCHBLT = 0x0800;
inline constexpr int32_t RC_STRETCHDIB = 0x2000;

// Stretch modes, raster operation, colour-table usage and the failure value of StretchDIBits.
inline constexpr int32_t BLACKONWHITE = 1;
inline constexpr int32_t COLORONCOLOR = 3;
inline constexpr int32_t HALFTONE = 4;
inline constexpr uint32_t SRCCOPY = 0x00CC0020u;
inline constexpr uint32_t DIB_RGB_COLORS = 0;
inline constexpr int32_t GDI_ERROR = -1;

// A device-dependent bitmap: top-down pixels in the device's own format.
class DeviceBitmap {
 public:
  explicit DeviceBitmap(QImage image) : image_(std::move(image)) {}
  QImage& image() { return image_; }
  const QImage& image() const { return image_; }

 private:
  QImage image_;
};

// One drawing surface. Coordinates are device pixels; the DIB arguments are a bitmap
// information header followed by its colour table, and bottom-up rows as a DibImage holds them.
// Source y of StretchDIBits and SetDIBitsToDevice counts from the picture's bottom line.
class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  virtual int32_t GetDeviceCaps(int32_t index) const = 0;
  // Returns the previous mode.
  virtual int32_t SetStretchBltMode(int32_t mode) = 0;
  // Returns the previously selected palette (null when none was).
  virtual HPALETTE SelectPalette(HPALETTE palette, bool forceBackground) = 0;
  // Returns the number of palette entries mapped.
  virtual uint32_t RealizePalette() = 0;

  // Scan lines drawn, or GDI_ERROR.
  virtual int32_t StretchDIBits(int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                                int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
                                const void* bits, const BITMAPINFOHEADER* header, uint32_t usage,
                                uint32_t rop) = 0;
  // Draws unscaled from scan lines startScan .. startScan + lines - 1 of the picture that
  // `header` describes, `bits` holding just those lines. Scan lines drawn, 0 on failure.
  virtual int32_t SetDIBitsToDevice(int32_t destX, int32_t destY, int32_t width, int32_t height,
                                    int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t lines,
                                    const void* bits, const BITMAPINFOHEADER* header,
                                    uint32_t usage) = 0;

  // Null when no such bitmap can be made.
  virtual std::unique_ptr<DeviceBitmap> CreateCompatibleBitmap(int32_t width, int32_t height) = 0;
  // A memory device of the same kind, with nothing selected; null on failure.
  virtual std::unique_ptr<DeviceContext> CreateCompatibleDC() = 0;
  // Selects a bitmap into a memory device; returns the previously selected one.
  virtual DeviceBitmap* SelectBitmap(DeviceBitmap* bitmap) = 0;
  // Sets the bitmap's lines startScan .. startScan + lines - 1 (counted from its bottom) from
  // the DIB. Lines set, 0 on failure.
  virtual int32_t SetDIBits(DeviceBitmap& bitmap, uint32_t startScan, uint32_t lines,
                            const void* bits, const BITMAPINFOHEADER* header, uint32_t usage) = 0;
  // Copies a rectangle of `source` (a memory device, top-down device coordinates) scaled into
  // the destination rectangle. False on failure.
  virtual bool StretchBlt(int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                          DeviceContext& source, int32_t srcX, int32_t srcY, int32_t srcWidth,
                          int32_t srcHeight, uint32_t rop) = 0;

  // The smallest rectangle around the part of the device that drawing can reach now, as
  // GetClipBox gives it: right and bottom exclusive. False when nothing is known, and then
  // the whole destination must be drawn.
  virtual bool GetClipBox(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const {
    static_cast<void>(left), static_cast<void>(top), static_cast<void>(right),
        static_cast<void>(bottom);
    return false;
  }

  // The bitmap selected into this device when it is a memory device, else null.
  virtual DeviceBitmap* selectedBitmap() const = 0;

  // A message box with no owner and no caption of its own and an OK button, as the drawing
  // fallback shows its failures.
  virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace glim
