#include "row_convert.h"

#include <cstring>

namespace picodec {

void rowToBgr(const DibImage& dib, int32_t y, uint8_t* bgr) {
  const BITMAPINFOHEADER& h = *dib.Header;
  const uint8_t* row = dib.Pixels + static_cast<int64_t>(y) * dib.RowBytes;
  const auto* table = reinterpret_cast<const RGBQUAD*>(dib.Header + 1);
  const int32_t width = h.biWidth;
  auto putIndex = [&](int32_t x, unsigned index) {
    const RGBQUAD& c = table[index];
    bgr[3 * x] = c.rgbBlue;
    bgr[3 * x + 1] = c.rgbGreen;
    bgr[3 * x + 2] = c.rgbRed;
  };
  switch (h.biBitCount) {
    case 1:
      for (int32_t x = 0; x < width; ++x) putIndex(x, (row[x >> 3] >> (7 - (x & 7))) & 1u);
      break;
    case 4:
      for (int32_t x = 0; x < width; ++x)
        putIndex(x, (x & 1) ? row[x >> 1] & 15u : row[x >> 1] >> 4);
      break;
    case 8:
      for (int32_t x = 0; x < width; ++x) putIndex(x, row[x]);
      break;
    case 16:
      for (int32_t x = 0; x < width; ++x) {
        const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        bgr[3 * x] = static_cast<uint8_t>(b << 3 | b >> 2);
        bgr[3 * x + 1] = static_cast<uint8_t>(g << 3 | g >> 2);
        bgr[3 * x + 2] = static_cast<uint8_t>(r << 3 | r >> 2);
      }
      break;
    case 24:
      std::memcpy(bgr, row, static_cast<size_t>(width) * 3);
      break;
    case 32:
      for (int32_t x = 0; x < width; ++x) std::memcpy(bgr + 3 * x, row + 4 * x, 3);
      break;
    default:
      std::memset(bgr, 0, static_cast<size_t>(width) * 3);
  }
}

bool hasGreyRamp(const DibImage& dib) {
  if (dib.Header->biBitCount != 8) return false;
  const auto* table = reinterpret_cast<const RGBQUAD*>(dib.Header + 1);
  for (int i = 0; i < 256; ++i) {
    if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
  }
  return true;
}

}  // namespace picodec
