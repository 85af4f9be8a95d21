// A device for tests: records every call with its arguments and renders what it is asked to
// draw into an image of its own, by plain per-pixel loops independent of the painter.
#pragma once

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "device_context.h"

namespace glim {

// One call made on a recording device or on a memory device it made.
struct DeviceCall {
  enum class Op {
    GetDeviceCaps,
    SetStretchBltMode,
    SelectPalette,
    RealizePalette,
    StretchDIBits,
    SetDIBitsToDevice,
    CreateCompatibleBitmap,
    CreateCompatibleDC,
    SelectBitmap,
    SetDIBits,
    StretchBlt,
    ShowMessage,
  };
  Op op = Op::GetDeviceCaps;
  bool onMemoryDevice = false;
  std::vector<int64_t> args;       // the integer arguments in the order of the call
  HPALETTE palette = nullptr;      // SelectPalette
  const void* bits = nullptr;      // calls that take device-independent bits
  BITMAPINFOHEADER header{};       // their header, copied
  std::vector<uint8_t> scanBytes;  // their scan lines, copied
  std::string text;                // ShowMessage
  int64_t result = 0;
};

// What the recording device reports about itself and which of its calls fail.
struct RecordingDeviceBehaviour {
  int32_t technology = DT_RASDISPLAY;
  int32_t rasterCaps = RC_BITBLT | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
  bool failStretchDIBits = false;
  bool failSetDIBitsToDevice = false;
  bool failCreateCompatibleBitmap = false;
  bool failSetDIBits = false;
  bool failStretchBlt = false;
};

// The device itself: a display (or, by its behaviour, a printer) whose surface is an image, and
// whose memory devices draw into their selected bitmaps and write into the same log.
class RecordingDevice : public DeviceContext {
 public:
  // A surface of width x height filled with `background`.
  RecordingDevice(int32_t width, int32_t height, RecordingDeviceBehaviour behaviour = {},
                  QRgb background = qRgb(255, 255, 255));

  const QImage& image() const { return surface_; }
  const std::vector<DeviceCall>& calls() const { return *log_; }
  std::vector<DeviceCall> callsOf(DeviceCall::Op op) const;
  HPALETTE selectedPalette() const { return palette_; }
  int32_t stretchMode() const { return stretchMode_; }

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
  DeviceBitmap* selectedBitmap() const override { return bitmap_; }
  void ShowMessage(const std::string& text) override;

 private:
  // A memory device sharing the log of the device that made it.
  RecordingDevice(std::shared_ptr<std::vector<DeviceCall>> log, RecordingDeviceBehaviour behaviour);
  DeviceCall& record(DeviceCall::Op op, std::vector<int64_t> args) const;
  // Where drawing lands: the surface, or the selected bitmap of a memory device (else null).
  QImage* target();

  std::shared_ptr<std::vector<DeviceCall>> log_;
  RecordingDeviceBehaviour behaviour_;
  bool memory_ = false;
  QImage surface_;
  DeviceBitmap* bitmap_ = nullptr;
  HPALETTE palette_ = nullptr;
  int32_t stretchMode_ = BLACKONWHITE;
};

}  // namespace glim
