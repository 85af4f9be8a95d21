// Pictures for the imaging tests: library-made records freed on scope exit, colour tables, and
// filling and reading pixels by depth.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "picodec.h"

namespace glim::testing {

// A header followed by a full colour table, to hand to newdib as the table to copy.
struct HeaderWithTable {
  BITMAPINFOHEADER header{};
  std::array<RGBQUAD, 256> table{};
};

// A palette-less header with the given table entries (blue, green, red from `colors`, given as
// 0xRRGGBB); the rest of the 256 entries are black.
inline HeaderWithTable tableOf(const std::vector<uint32_t>& colors) {
  HeaderWithTable h;
  h.header.biSize = sizeof(BITMAPINFOHEADER);
  for (size_t i = 0; i < colors.size() && i < 256; ++i) {
    h.table[i] = RGBQUAD{static_cast<uint8_t>(colors[i]), static_cast<uint8_t>(colors[i] >> 8),
                         static_cast<uint8_t>(colors[i] >> 16), 0};
  }
  return h;
}

inline HeaderWithTable greyTable() {
  std::vector<uint32_t> colors(256);
  for (uint32_t i = 0; i < 256; ++i) colors[i] = i * 0x010101u;
  return tableOf(colors);
}

// A record made by newdib and freed by deldib when the holder goes.
class OwnedDib {
 public:
  OwnedDib() = default;
  explicit OwnedDib(const DibImage& dib) : dib_(dib) {}
  OwnedDib(int32_t width, int32_t height, int32_t bits, const HeaderWithTable* table = nullptr,
           int32_t colors = 0) {
    newdib(&dib_, width, height, bits, table != nullptr ? &table->header : nullptr, colors);
  }
  ~OwnedDib() {
    if (dib_.Storage != 0) deldib(dib_);
  }
  OwnedDib(OwnedDib&& other) noexcept : dib_(std::exchange(other.dib_, DibImage{})) {}
  OwnedDib(const OwnedDib&) = delete;
  OwnedDib& operator=(const OwnedDib&) = delete;

  DibImage& operator*() { return dib_; }
  const DibImage& operator*() const { return dib_; }
  DibImage* operator->() { return &dib_; }
  const DibImage* operator->() const { return &dib_; }
  int32_t width() const { return dib_.Header->biWidth; }
  int32_t height() const { return dib_.Header->biHeight; }
  uint8_t* row(int32_t r) const { return dib_.Pixels + int64_t{r} * dib_.RowBytes; }

 private:
  DibImage dib_{};
};

// Pixel value as getpixel gives it, for every depth.
inline uint32_t valueAt(const DibImage& dib, int32_t x, int32_t y) {
  return getpixel(dib, x, y);
}

// Fills every pixel with random values valid for the depth (indices below `colors` for palette
// pictures), through setpixel.
inline void fillRandom(const DibImage& dib, uint32_t seed, uint32_t colors = 0) {
  std::mt19937 random(seed);
  const uint32_t bits = dib.Header->biBitCount;
  for (int32_t y = 0; y < dib.Header->biHeight; ++y) {
    for (int32_t x = 0; x < dib.Header->biWidth; ++x) {
      uint32_t value = random();
      if (bits <= 8) value %= (colors != 0 ? colors : (1u << bits));
      if (bits == 16) value &= 0x7fff;
      if (bits == 24) value &= 0xffffff;
      setpixel(dib, x, y, value);
    }
  }
}

// The 3 bytes of 24-bit pixel x of row y as 0xBBGGRR read in memory order blue, green, red.
inline std::array<uint8_t, 3> bgrAt(const DibImage& dib, int32_t x, int32_t y) {
  const uint8_t* p = dib.Pixels + int64_t{y} * dib.RowBytes + 3 * x;
  return {p[0], p[1], p[2]};
}

}  // namespace glim::testing
