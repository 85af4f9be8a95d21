#include "halftone.h"

#include <algorithm>
#include <array>
#include <vector>

#include "codec_error.h"
#include "row_convert.h"

namespace picodec {
namespace {

constexpr int kCubeLevels = 6;
constexpr int kCubeEntries = kCubeLevels * kCubeLevels * kCubeLevels;  // 216
constexpr int kExtraGreys = 40;  // 8 between each pair of neighbouring cube greys
constexpr int kGreyLevels = kCubeLevels + kExtraGreys;
// Pixels whose channels differ by at most this are dithered on the finer grey ramp.
constexpr int kNeutralSpread = 3;

constexpr uint8_t kBayer[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                  {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                  {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                  {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

// For one value: the palette level at or below it, and how far (0..64) it lies towards the
// next level up. A pixel takes the upper level when that fraction beats the Bayer threshold.
struct Step {
  uint8_t lower;
  uint8_t fraction;
};

struct Tables {
  PicoLogPalette palette{};
  std::array<Step, 256> cube{};
  std::array<Step, 256> grey{};
  std::array<uint8_t, kGreyLevels> greyIndex{};  // palette index of each grey level
};

Tables makeTables() {
  Tables t;
  t.palette.count = 256;
  for (int r = 0; r < kCubeLevels; ++r)
    for (int g = 0; g < kCubeLevels; ++g)
      for (int b = 0; b < kCubeLevels; ++b) {
        t.palette.entries[r * 36 + g * 6 + b] = {static_cast<uint8_t>(r * 51),
                                                 static_cast<uint8_t>(g * 51),
                                                 static_cast<uint8_t>(b * 51), 0};
      }
  // Grey levels in ascending order: cube greys at multiples of 51, 8 extra greys between.
  std::array<int, kGreyLevels> levels{};
  int n = 0, extra = kCubeEntries;
  for (int k = 0; k < kCubeLevels; ++k) {
    levels[n] = k * 51;
    t.greyIndex[n++] = static_cast<uint8_t>(k * 36 + k * 6 + k);
    if (k == kCubeLevels - 1) break;
    for (int j = 1; j <= 8; ++j) {
      const auto v = static_cast<uint8_t>(k * 51 + (51 * j + 4) / 9);
      levels[n] = v;
      t.greyIndex[n++] = static_cast<uint8_t>(extra);
      t.palette.entries[extra++] = {v, v, v, 0};
    }
  }
  for (int v = 0; v < 256; ++v) {
    const int c = std::min(v / 51, kCubeLevels - 2);
    t.cube[v] = {static_cast<uint8_t>(c), static_cast<uint8_t>((v - c * 51) * 64 / 51)};
    int g = 0;
    while (g + 2 < kGreyLevels && levels[g + 1] <= v) ++g;
    const int span = levels[g + 1] - levels[g];
    t.grey[v] = {static_cast<uint8_t>(g), static_cast<uint8_t>((v - levels[g]) * 64 / span)};
  }
  return t;
}

const Tables& tables() {
  static const Tables t = makeTables();
  return t;
}

inline int level(const Step& s, int threshold) {
  return s.lower + (s.fraction > threshold ? 1 : 0);
}

}  // namespace

const PicoLogPalette& halftonePalette() {
  return tables().palette;
}

uint8_t halftoneIndex(uint8_t red, uint8_t green, uint8_t blue, int32_t x, int32_t y) {
  const Tables& t = tables();
  const int threshold = kBayer[y & 7][x & 7];
  const int hi = std::max({red, green, blue}), lo = std::min({red, green, blue});
  if (hi - lo <= kNeutralSpread) {
    const int grey = (red + green + blue) / 3;
    return t.greyIndex[level(t.grey[grey], threshold)];
  }
  return static_cast<uint8_t>(level(t.cube[red], threshold) * 36 +
                              level(t.cube[green], threshold) * 6 + level(t.cube[blue], threshold));
}

DibOwner halftone(const DibImage& source, int32_t width, int32_t height) {
  if (source.Pixels == nullptr || source.Header == nullptr)
    fail("There is no picture to halftone.");
  const int32_t srcWidth = source.Header->biWidth, srcHeight = source.Header->biHeight;
  DibOwner out(width, height, 8, PixelStart::Overwritten);  // every pixel of every row is set
  const PicoLogPalette& palette = halftonePalette();
  for (int i = 0; i < 256; ++i) {
    const PALETTEENTRY& e = palette.entries[i];
    out.setColor(i, {e.peRed, e.peGreen, e.peBlue});
  }

  // Each target pixel averages the source box it covers (at least one source pixel).
  std::vector<int32_t> colStart(static_cast<size_t>(width) + 1);
  for (int32_t x = 0; x <= width; ++x) {
    colStart[x] = static_cast<int32_t>(static_cast<int64_t>(x) * srcWidth / width);
  }
  std::vector<uint8_t> bgr(static_cast<size_t>(srcWidth) * 3);
  std::vector<uint64_t> sums(static_cast<size_t>(width) * 3);
  for (int32_t y = 0; y < height; ++y) {
    const auto rowFrom = static_cast<int32_t>(static_cast<int64_t>(y) * srcHeight / height);
    const auto rowTo = std::max(
        rowFrom + 1, static_cast<int32_t>(static_cast<int64_t>(y + 1) * srcHeight / height));
    std::fill(sums.begin(), sums.end(), uint64_t{0});
    for (int32_t sy = rowFrom; sy < rowTo; ++sy) {
      rowToBgr(source, sy, bgr.data());
      for (int32_t x = 0; x < width; ++x) {
        const int32_t from = colStart[x], to = std::max(from + 1, colStart[x + 1]);
        uint32_t b = 0, g = 0, r = 0;
        for (int32_t sx = from; sx < to; ++sx) {
          b += bgr[3 * sx];
          g += bgr[3 * sx + 1];
          r += bgr[3 * sx + 2];
        }
        sums[3 * x] += b;
        sums[3 * x + 1] += g;
        sums[3 * x + 2] += r;
      }
    }
    uint8_t* dst = out.row(y);
    const uint64_t rows = static_cast<uint64_t>(rowTo - rowFrom);
    for (int32_t x = 0; x < width; ++x) {
      const uint64_t count =
          rows * static_cast<uint64_t>(std::max(1, colStart[x + 1] - colStart[x]));
      const auto avg = [&](int c) {
        return static_cast<uint8_t>((sums[3 * x + c] + count / 2) / count);
      };
      dst[x] = halftoneIndex(avg(2), avg(1), avg(0), x, y);
    }
  }
  return out;
}

}  // namespace picodec
