#include "pixel_access.h"

namespace picodec {
namespace {

// The start of the pixel's row, or null when the pixel lies outside the picture.
uint8_t* rowOf(const DibImage& dib, int32_t x, int32_t y) noexcept {
  if (dib.Pixels == nullptr || dib.Header == nullptr) return nullptr;
  if (x < 0 || y < 0 || x >= dib.Header->biWidth || y >= dib.Header->biHeight) return nullptr;
  return dib.Pixels + static_cast<int64_t>(y) * dib.RowBytes;
}

}  // namespace

uint32_t pixelValue(const DibImage& dib, int32_t x, int32_t y) noexcept {
  const uint8_t* row = rowOf(dib, x, y);
  if (row == nullptr) return 0;
  switch (dib.Header->biBitCount) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
      return (x & 1) ? row[x >> 1] & 15u : row[x >> 1] >> 4;
    case 8:
      return row[x];
    case 16:
      return row[2 * x] | static_cast<uint32_t>(row[2 * x + 1]) << 8;
    case 24: {
      const uint8_t* p = row + 3 * static_cast<int64_t>(x);
      return p[2] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[0]) << 16;
    }
    case 32: {
      const uint8_t* p = row + 4 * static_cast<int64_t>(x);
      return p[2] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[0]) << 16 |
             static_cast<uint32_t>(p[3]) << 24;
    }
    default:
      return 0;
  }
}

bool storePixel(const DibImage& dib, int32_t x, int32_t y, uint32_t value) noexcept {
  uint8_t* row = rowOf(dib, x, y);
  if (row == nullptr) return false;
  switch (dib.Header->biBitCount) {
    case 1: {
      const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = (value & 1u) ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
      return true;
    }
    case 4: {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0u) | (value & 15u))
                  : static_cast<uint8_t>((b & 0x0Fu) | (value & 15u) << 4);
      return true;
    }
    case 8:
      row[x] = static_cast<uint8_t>(value);
      return true;
    case 16:
      row[2 * x] = static_cast<uint8_t>(value);
      row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
      return true;
    case 24: {
      uint8_t* p = row + 3 * static_cast<int64_t>(x);
      p[0] = static_cast<uint8_t>(value >> 16);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value);
      return true;
    }
    case 32: {
      uint8_t* p = row + 4 * static_cast<int64_t>(x);
      p[0] = static_cast<uint8_t>(value >> 16);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value);
      p[3] = static_cast<uint8_t>(value >> 24);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace picodec
