#include "two_colours.h"

namespace picodec {
namespace {

const RGBQUAD* tableOf(const DibImage& dib) {
  return reinterpret_cast<const RGBQUAD*>(dib.Header + 1);
}

bool isBlackThenWhite(const DibImage& dib) {
  const RGBQUAD* table = tableOf(dib);
  const auto is = [](const RGBQUAD& c, uint8_t v) {
    return c.rgbRed == v && c.rgbGreen == v && c.rgbBlue == v;
  };
  return is(table[0], 0) && is(table[1], 255);
}

}  // namespace

DibOwner keepTwoColours(DibOwner dib) {
  const DibImage& narrow = dib.dib();
  if (narrow.Header == nullptr || narrow.Pixels == nullptr || dib.bitsPerPixel() != 1 ||
      isBlackThenWhite(narrow)) {
    return dib;
  }
  DibOwner wide(dib.width(), dib.height(), 4);
  const RGBQUAD* table = tableOf(narrow);
  for (int i = 0; i < 2; ++i) {
    wide.setColor(i, Rgb{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue});
  }
  const int32_t width = dib.width();
  for (int32_t y = 0; y < dib.height(); ++y) {
    const uint8_t* from = dib.row(y);
    uint8_t* to = wide.row(y);
    for (int32_t x = 0; x < width; x += 2) {
      const unsigned first = (from[x >> 3] >> (7 - (x & 7))) & 1u;
      const unsigned second = x + 1 < width ? (from[(x + 1) >> 3] >> (7 - ((x + 1) & 7))) & 1u : 0u;
      to[x >> 1] = static_cast<uint8_t>(first << 4 | second);
    }
  }
  return wide;
}

}  // namespace picodec
