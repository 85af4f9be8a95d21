#include "resampling.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dibs24.h"
#include "pixel_memory.h"

namespace glim {
namespace {

// The sample grid: target index i samples source index (i * step) >> 10, step in 1/1024 source
// pixels. Products are formed in 64 bits: equal to the 32-bit ones wherever those do not
// overflow, and still right for sources of 2^21 pixels and more in one direction.
struct Grid {
  int64_t stepX = 0;
  int64_t stepY = 0;
  int64_t posX(int32_t x) const { return x * stepX; }
  int64_t posY(int32_t y) const { return y * stepY; }
};

const uint8_t* sourceRow(const DibImage& dib, int64_t row) {
  return dib.Pixels + row * dib.RowBytes;
}
uint8_t* targetRow(const DibImage& dib, int64_t row) {
  return dib.Pixels + row * dib.RowBytes;
}

void resize1Bit(const DibImage& source, const DibImage& result, const Grid& grid, int32_t width,
                int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    const auto sy = static_cast<int32_t>(grid.posY(y) >> 10);
    for (int32_t x = 0; x < width; ++x) {
      const auto sx = static_cast<int32_t>(grid.posX(x) >> 10);
      setpixel(result, x, y, getpixel(source, sx, sy));
    }
  }
}

void resize4Bit(const DibImage& source, const DibImage& result, const Grid& grid, int32_t width,
                int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* from = sourceRow(source, grid.posY(y) >> 10);
    uint8_t* to = targetRow(result, y);
    for (int32_t x = 0; x < width; ++x) {
      const int64_t sx = grid.posX(x) >> 10;
      const uint8_t b = from[sx / 2];
      const uint8_t value = (sx % 2 == 0) ? (b >> 4) : (b & 15);
      to[x / 2] |= (x % 2 == 0) ? static_cast<uint8_t>(value << 4) : value;
    }
  }
}

// Source offsets of the target columns, computed once: offset[x] = bytesPerPixel * sx.
std::vector<size_t> columnOffsets(const Grid& grid, int32_t width, size_t bytesPerPixel) {
  std::vector<size_t> offsets(static_cast<size_t>(width));
  for (int32_t x = 0; x < width; ++x) {
    offsets[static_cast<size_t>(x)] = static_cast<size_t>(grid.posX(x) >> 10) * bytesPerPixel;
  }
  return offsets;
}

void resize8Bit(const DibImage& source, const DibImage& result, const Grid& grid, int32_t width,
                int32_t height) {
  const std::vector<size_t> offsets = columnOffsets(grid, width, 1);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* from = sourceRow(source, grid.posY(y) >> 10);
    uint8_t* to = targetRow(result, y);
    for (int32_t x = 0; x < width; ++x) to[x] = from[offsets[static_cast<size_t>(x)]];
  }
}

void resize24Nearest(const DibImage& source, const DibImage& result, const Grid& grid,
                     int32_t width, int32_t height) {
  const std::vector<size_t> offsets = columnOffsets(grid, width, 3);
  // Pixels before `wide` are moved with one 4-byte load and store: the load stays inside the
  // source row (its padding included) and the store's fourth byte is overwritten by the next
  // pixel. The rest get exactly 3 bytes.
  size_t wide = 0;
  while (wide + 1 < offsets.size() && offsets[wide] + 4 <= static_cast<size_t>(source.RowBytes)) {
    ++wide;
  }
  int64_t previousRow = -1;
  for (int32_t y = 0; y < height; ++y) {
    const int64_t sy = grid.posY(y) >> 10;
    uint8_t* to = targetRow(result, y);
    if (sy == previousRow) {  // an enlarged row repeats the one above it
      std::memcpy(to, to - result.RowBytes, static_cast<size_t>(width) * 3);
      continue;
    }
    previousRow = sy;
    const uint8_t* from = sourceRow(source, sy);
    // The loads, not the arithmetic, decide the speed of this loop: each pixel also fetches the
    // bytes that the same column reads four target rows further on.
    const int64_t aheadRow = y + 4 < height ? grid.posY(y + 4) >> 10 : sy;
    const uint8_t* ahead = sourceRow(source, aheadRow);
    size_t x = 0;
    for (; x < wide; ++x) {
      __builtin_prefetch(ahead + offsets[x]);
      std::memcpy(to + 3 * x, from + offsets[x], 4);
    }
    for (; x < offsets.size(); ++x) std::memcpy(to + 3 * x, from + offsets[x], 3);
  }
}

void resize24Bilinear(const DibImage& source, const DibImage& result, const Grid& grid,
                      int32_t width, int32_t height) {
  const int32_t lastColumn = DibWidth(source) - 1;
  const int32_t lastRow = DibHeight(source) - 1;
  for (int32_t y = 0; y < height; ++y) {
    const int64_t py = grid.posY(y);
    const auto sy0 = static_cast<int32_t>(py >> 10);
    const int32_t sy1 = std::min(sy0 + 1, lastRow);
    const auto fy = static_cast<uint32_t>(py & 1023);
    const uint8_t* row0 = sourceRow(source, sy0);
    const uint8_t* row1 = sourceRow(source, sy1);
    uint8_t* to = targetRow(result, y);
    for (int32_t x = 0; x < width; ++x) {
      const int64_t px = grid.posX(x);
      const auto sx0 = static_cast<int32_t>(px >> 10);
      const int32_t sx1 = std::min(sx0 + 1, lastColumn);
      const auto fx = static_cast<uint32_t>(px & 1023);
      const uint8_t* a = row0 + 3 * sx0;
      const uint8_t* b = row0 + 3 * sx1;
      const uint8_t* c = row1 + 3 * sx0;
      const uint8_t* d = row1 + 3 * sx1;
      for (int channel = 0; channel < 3; ++channel) {
        const uint32_t first = (a[channel] * (1024 - fx) + b[channel] * fx) >> 10;
        const uint32_t second = (c[channel] * (1024 - fx) + d[channel] * fx) >> 10;
        to[3 * x + channel] = static_cast<uint8_t>((first * (1024 - fy) + second * fy) >> 10);
      }
    }
  }
}

// The source columns of each target column: [starts[x], starts[x + 1]).
std::vector<int32_t> spans(int32_t source, int32_t target) {
  std::vector<int32_t> starts(static_cast<size_t>(target) + 1);
  for (int32_t i = 0; i <= target; ++i) {
    starts[static_cast<size_t>(i)] = static_cast<int32_t>(int64_t{i} * source / target);
  }
  return starts;
}

void average24(const DibImage& source, const DibImage& result, int32_t width, int32_t height) {
  const std::vector<int32_t> columns = spans(DibWidth(source), width);
  const std::vector<int32_t> rows = spans(DibHeight(source), height);
  // A row's run of one target column holds at most 65535 pixels, so its sums fit 32 bits.
  std::vector<uint64_t> sums(static_cast<size_t>(width) * 3);
  for (int32_t y = 0; y < height; ++y) {
    std::fill(sums.begin(), sums.end(), uint64_t{0});
    const int32_t firstRow = rows[static_cast<size_t>(y)];
    const int32_t endRow = rows[static_cast<size_t>(y) + 1];
    for (int32_t row = firstRow; row < endRow; ++row) {
      const uint8_t* from = sourceRow(source, row);
      uint64_t* sum = sums.data();
      for (int32_t x = 0; x < width; ++x, sum += 3) {
        uint32_t b = 0, g = 0, r = 0;
        const uint8_t* end = from + 3 * columns[static_cast<size_t>(x) + 1];
        for (const uint8_t* p = from + 3 * columns[static_cast<size_t>(x)]; p < end; p += 3) {
          b += p[0];
          g += p[1];
          r += p[2];
        }
        sum[0] += b;
        sum[1] += g;
        sum[2] += r;
      }
    }
    uint8_t* to = targetRow(result, y);
    for (int32_t x = 0; x < width; ++x) {
      const uint64_t count = static_cast<uint64_t>(endRow - firstRow) *
                             static_cast<uint64_t>(columns[static_cast<size_t>(x) + 1] -
                                                   columns[static_cast<size_t>(x)]);
      for (int channel = 0; channel < 3; ++channel) {
        const uint64_t sum = sums[static_cast<size_t>(x) * 3 + static_cast<size_t>(channel)];
        to[3 * x + channel] = static_cast<uint8_t>((sum + count / 2) / count);
      }
    }
  }
}

}  // namespace

DibImage ResizeAveraged(const DibImage& source, int32_t width, int32_t height) {
  if (source.Header == nullptr || source.Pixels == nullptr || DibBitCount(source) != 24 ||
      width < 1 || height < 1 || width >= DibWidth(source) || height >= DibHeight(source)) {
    return Resize(source, width, height, false);
  }
  DibImage result{};
  newdib(&result, width, height, 24, source.Header, DibTableColors(source));
  if (result.Pixels == nullptr) return result;
  average24(source, result, width, height);
  return result;
}

DibImage Resize(const DibImage& source, int32_t width, int32_t height, bool smooth) {
  DibImage result{};
  if (source.Header == nullptr || source.Pixels == nullptr) return result;
  // A size below 1 would divide by zero below; one pixel is the nearest sound picture.
  width = std::max(width, 1);
  height = std::max(height, 1);

  const int32_t sourceWidth = DibWidth(source);
  const int32_t sourceHeight = DibHeight(source);
  const uint32_t bits = DibBitCount(source);
  Grid grid;
  grid.stepX = int64_t{sourceWidth} * 1024 / width;
  grid.stepY = int64_t{sourceHeight} * 1024 / height;

  newdib(&result, width, height, static_cast<int32_t>(bits), source.Header, DibTableColors(source));
  if (result.Pixels == nullptr) return result;
  adviseLargePixelWrite(result);

  switch (bits) {
    case 1:
      resize1Bit(source, result, grid, width, height);
      break;
    case 4:
      resize4Bit(source, result, grid, width, height);
      break;
    case 8:
      resize8Bit(source, result, grid, width, height);
      break;
    case 24:
      if (smooth && height >= sourceHeight && width >= sourceWidth) {
        resize24Bilinear(source, result, grid, width, height);
      } else {
        resize24Nearest(source, result, grid, width, height);
      }
      break;
    default:  // 16 and 32 bits: the picture stays as newdib made it
      break;
  }
  return result;
}

}  // namespace glim
