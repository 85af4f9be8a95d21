#include "depth_promotion.h"

#include <array>
#include <cstring>

#include "dibs24.h"
#include "pixel_memory.h"

namespace glim {
namespace {

// A palette colour in the byte order of a 24-bit pixel (blue, green, red), plus a spare byte so
// that a pixel can be stored with one 4-byte write.
using PixelBytes = std::array<uint8_t, 4>;

PixelBytes paletteColor(const DibImage& picture, uint32_t index) {
  const uint8_t* entry = picture.PaletteEntries + 4 * index;  // red, green, blue, flags
  return {entry[2], entry[1], entry[0], 0};
}

// Writes `count` pixels whose colours the callback gives, 3 bytes each, into one result row.
// All but the last pixel are written with a 4-byte store whose fourth byte the next pixel
// overwrites; the last gets exactly 3 bytes so that nothing beyond the pixels is touched.
template <typename ColorOf>
void writeRow(uint8_t* row, int32_t count, ColorOf colorOf) {
  int32_t x = 0;
  for (; x + 1 < count; ++x) std::memcpy(row + 3 * x, colorOf(x).data(), 4);
  if (count > 0) std::memcpy(row + 3 * x, colorOf(x).data(), 3);
}

void convert1Bit(const DibImage& picture, const DibImage& result, int32_t width, int32_t height) {
  // Through the library: index 0 is black, every other index white.
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t value = getpixel(picture, x, y);
      setpixel(result, x, y, value == 0 ? 0u : 16777215u);
    }
  }
}

void convert4Bit(const DibImage& picture, const DibImage& result, int32_t width, int32_t height) {
  std::array<PixelBytes, 16> colors;
  for (uint32_t i = 0; i < colors.size(); ++i) colors[i] = paletteColor(picture, i);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* source = picture.Pixels + int64_t{y} * picture.RowBytes;
    uint8_t* target = result.Pixels + int64_t{y} * result.RowBytes;
    writeRow(target, width, [&](int32_t x) -> const PixelBytes& {
      const uint8_t b = source[x / 2];
      return colors[(x % 2 == 0) ? (b >> 4) : (b & 15)];
    });
  }
}

void convert8Bit(const DibImage& picture, const DibImage& result, int32_t width, int32_t height) {
  std::array<PixelBytes, 256> colors;
  for (uint32_t i = 0; i < colors.size(); ++i) colors[i] = paletteColor(picture, i);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* source = picture.Pixels + int64_t{y} * picture.RowBytes;
    uint8_t* target = result.Pixels + int64_t{y} * result.RowBytes;
    writeRow(target, width, [&](int32_t x) -> const PixelBytes& { return colors[source[x]]; });
  }
}

}  // namespace

void DepthUpTo24(DibImage& picture) {
  // A record without a picture (a failed open) has nothing to convert and nothing to free.
  if (picture.Header == nullptr || picture.Pixels == nullptr) return;
  const int32_t width = DibWidth(picture);
  const int32_t height = DibHeight(picture);
  const uint32_t bits = DibBitCount(picture);
  if (bits == 24) return;

  DibImage result{};
  newdib(&result, width, height, 24, nullptr, 0);
  if (result.Storage == 0) return;
  if (result.Pixels == nullptr) {  // storage without pixel memory cannot take the conversion
    deldib(result);
    return;
  }
  adviseLargePixelWrite(result);

  switch (bits) {
    case 1:
      convert1Bit(picture, result, width, height);
      break;
    case 4:
      convert4Bit(picture, result, width, height);
      break;
    case 8:
      convert8Bit(picture, result, width, height);
      break;
    default:  // 16 or 32 bits stay as they are
      deldib(result);
      return;
  }
  deldib(picture);
  picture = result;
}

}  // namespace glim
