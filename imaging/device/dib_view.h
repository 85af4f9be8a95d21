// A checked view of device-independent bits as the drawing calls receive them: a header with
// its colour table and a run of bottom-up scan lines.
#pragma once

#include <QImage>
#include <QRgb>
#include <array>
#include <cstdint>
#include <optional>

#include "picodec.h"

namespace glim {

// The scan lines firstScan .. firstScan + scans - 1 of a picture of width x height, all inside
// the buffer `bits`. Only uncompressed 1-, 4-, 8-, 16- (5-5-5), 24- and 32-bit pictures with a
// positive height are accepted; a colour table shorter than the depth allows is padded with black
// so that no index reads beyond it.
class DibView {
 public:
  // Nothing when the arguments do not describe such a picture or the scan lines lie outside it.
  static std::optional<DibView> describe(const BITMAPINFOHEADER* header, const void* bits,
                                         uint32_t firstScan, uint32_t scans);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t bitCount() const { return bitCount_; }
  int64_t rowBytes() const { return rowBytes_; }
  int32_t firstScan() const { return firstScan_; }
  int32_t scans() const { return scans_; }
  bool holdsScan(int64_t scan) const { return scan >= firstScan_ && scan < firstScan_ + scans_; }
  const uint8_t* scanLine(int64_t scan) const { return bits_ + (scan - firstScan_) * rowBytes_; }
  QRgb tableColor(uint32_t index) const { return index < 256 ? table_[index] : qRgb(0, 0, 0); }

  // The colour of pixel x of scan line `scan` (counted from the bottom, must be held).
  QRgb pixel(int32_t x, int64_t scan) const;

  // The held scan lines as an image, row i being scan line firstScan + i (so bottom-up). 1-, 8-
  // and 24-bit lines are wrapped without a copy and stay valid while the bits do; 4-bit lines are
  // widened to 8 bits and 16- and 32-bit ones converted.
  QImage wrapScans() const;

 private:
  const uint8_t* bits_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bitCount_ = 0;
  int64_t rowBytes_ = 0;
  int32_t firstScan_ = 0;
  int32_t scans_ = 0;
  std::array<QRgb, 256> table_{};
  int32_t tableSize_ = 0;
};

}  // namespace glim
