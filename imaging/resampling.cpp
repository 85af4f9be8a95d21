#include "resampling.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <utility>
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

// The rounded mean of `count` values of at most 255 with `sum`, by a multiplication with
// the reciprocal in 40 fraction bits: exact while count < 2^16 (the error stays below the
// quotient's distance to the next integer); larger counts divide. Three divisions a pixel took
// half the time of the averaging.
uint64_t reciprocalOf(uint64_t count) {
  return count < (1u << 16) ? ((uint64_t{1} << 40) + count - 1) / count : 0;
}
inline uint8_t meanOf(uint64_t sum, uint64_t count, uint64_t reciprocal) {
  const uint64_t n = sum + count / 2;
  return static_cast<uint8_t>(reciprocal != 0 ? (n * reciprocal) >> 40 : n / count);
}

// One target of averageAll: its picture, its spans, and the source rows summed so far for its
// current row, byte by byte: in 16 bits while a target row takes at most 257 source rows (half
// the memory to go through), else in 32 (at most 65535 rows of 255). The sums have four
// values more than a source row, always 0, so that a span's last column may be read whole
// (with the next pixel's first channel) without a test.
struct AveragedTarget {
  DibImage picture{};
  std::vector<int32_t> columns, rows;
  std::vector<uint16_t> narrow;
  std::vector<uint32_t> wide;
  int32_t y = 0;
  int32_t least = 0;  // a target pixel takes `least` source columns or one more
};

// The first source row of a target row replaces the sums, the others are added: plain loops
// over the whole row, which the compiler vectorises, with wider vectors where the processor
// has them.
template <typename Sum>
inline void addRowTo(Sum* sum, const uint8_t* from, size_t bytes, bool first) {
  if (first) {
    for (size_t i = 0; i < bytes; ++i) sum[i] = from[i];
  } else {
    for (size_t i = 0; i < bytes; ++i) sum[i] = static_cast<Sum>(sum[i] + from[i]);
  }
}
[[gnu::target_clones("avx2", "default")]] void addRow(uint16_t* sum, const uint8_t* from,
                                                      size_t bytes, bool first) {
  addRowTo(sum, from, bytes, first);
}
[[gnu::target_clones("avx2", "default")]] void addRow(uint32_t* sum, const uint8_t* from,
                                                      size_t bytes, bool first) {
  addRowTo(sum, from, bytes, first);
}

// The columns of target row t.y for spans of any width.
template <typename Sum>
void finishAnyColumns(const AveragedTarget& t, const Sum* sum, uint8_t* to, uint64_t rowCount) {
  const auto least = static_cast<uint64_t>(t.least);
  const uint64_t fewer = reciprocalOf(rowCount * least),
                 more = reciprocalOf(rowCount * (least + 1));
  for (size_t x = 0; x + 1 < t.columns.size(); ++x) {
    const auto first = static_cast<size_t>(t.columns[x]);
    const auto end = static_cast<size_t>(t.columns[x + 1]);
    uint64_t b = 0, g = 0, r = 0;
    for (size_t column = first; column < end; ++column) {
      b += sum[3 * column];
      g += sum[3 * column + 1];
      r += sum[3 * column + 2];
    }
    const uint64_t count = rowCount * (end - first);
    const uint64_t reciprocal = end - first == least ? fewer : more;
    to[3 * x] = meanOf(b, count, reciprocal);
    to[3 * x + 1] = meanOf(g, count, reciprocal);
    to[3 * x + 2] = meanOf(r, count, reciprocal);
  }
}

// The columns of target row t.y for spans of `Least` or `Least + 1` columns: the extra
// column is added masked, so there is no branch a pixel.
template <int Least, typename Sum>
void finishColumns(const AveragedTarget& t, const Sum* sum, uint8_t* to, uint64_t rowCount) {
  const uint64_t fewerCount = rowCount * Least, moreCount = rowCount * (Least + 1);
  const uint64_t fewer = reciprocalOf(fewerCount), more = reciprocalOf(moreCount);
  if (fewer == 0 || more == 0) return finishAnyColumns(t, sum, to, rowCount);
  const int32_t* columns = t.columns.data();
  const size_t width = t.columns.size() - 1;
  for (size_t x = 0; x < width; ++x) {
    const Sum* p = sum + 3 * static_cast<size_t>(columns[x]);
    uint64_t b = p[0], g = p[1], r = p[2];
    for (int k = 1; k < Least; ++k) {
      b += p[3 * k];
      g += p[3 * k + 1];
      r += p[3 * k + 2];
    }
    const bool extra = columns[x + 1] - columns[x] > Least;
    const uint64_t mask = extra ? ~uint64_t{0} : 0;
    b += p[3 * Least] & mask;
    g += p[3 * Least + 1] & mask;
    r += p[3 * Least + 2] & mask;
    const uint64_t half = (extra ? moreCount : fewerCount) / 2;
    const uint64_t reciprocal = extra ? more : fewer;
    to[3 * x] = static_cast<uint8_t>((b + half) * reciprocal >> 40);
    to[3 * x + 1] = static_cast<uint8_t>((g + half) * reciprocal >> 40);
    to[3 * x + 2] = static_cast<uint8_t>((r + half) * reciprocal >> 40);
  }
}

#if defined(__SSE2__)
// finishColumns for 16-bit sums, a pixel's three channels in one vector: the rounded mean as
// (sum + count / 2) times a reciprocal a little above 1 / count in single precision, exact
// here (the sums stay below 2^24, and a mean's fraction is at least 1 / count from the next
// integer while the reciprocal's excess is below 1 / (255 count)).
template <int Least>
void finishNarrowColumns(const AveragedTarget& t, const uint16_t* sum, uint8_t* to,
                         uint64_t rowCount) {
  const auto fewerCount = static_cast<float>(rowCount * Least);
  const auto moreCount = static_cast<float>(rowCount * (Least + 1));
  const auto above = [](double count) {
    return static_cast<float>(1.0 / count * (1.0 + 1.0 / (1 << 20)));
  };
  const __m128 fewerHalf = _mm_set1_ps(static_cast<float>(rowCount * Least / 2));
  const __m128 moreHalf = _mm_set1_ps(static_cast<float>(rowCount * (Least + 1) / 2));
  const __m128 fewer = _mm_set1_ps(above(fewerCount)), more = _mm_set1_ps(above(moreCount));
  const __m128i zero = _mm_setzero_si128();
  const int32_t* columns = t.columns.data();
  const size_t width = t.columns.size() - 1;
  // Four sums from `at` (a pixel and the next one's first channel) in 32 bits.
  const auto load = [&zero](const uint16_t* at) {
    return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero);
  };
  for (size_t x = 0; x < width; ++x) {
    const uint16_t* p = sum + 3 * static_cast<size_t>(columns[x]);
    __m128i total = load(p);
    for (int k = 1; k < Least; ++k) total = _mm_add_epi32(total, load(p + 3 * k));
    const bool extra = columns[x + 1] - columns[x] > Least;
    const __m128i mask = _mm_set1_epi32(extra ? -1 : 0);
    total = _mm_add_epi32(total, _mm_and_si128(load(p + 3 * Least), mask));
    const __m128 mean = _mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(total), extra ? moreHalf : fewerHalf),
                                   extra ? more : fewer);
    const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(mean), zero);
    const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, zero)));
    // Four bytes where the next pixel overwrites the fourth; the row's last pixel gets three.
    std::memcpy(to + 3 * x, &bytes, x + 1 < width ? 4 : 3);
  }
}
#endif

// Makes target row t.y from the columns of `sums`.
template <typename Sum>
void finishRow(AveragedTarget& t, const std::vector<Sum>& sums) {
  const Sum* sum = sums.data();
  const auto rowCount = static_cast<uint64_t>(t.rows[static_cast<size_t>(t.y) + 1] -
                                              t.rows[static_cast<size_t>(t.y)]);
  uint8_t* to = targetRow(t.picture, t.y);
  ++t.y;
#if defined(__SSE2__)
  if constexpr (sizeof(Sum) == 2) {
    switch (t.least) {
      case 1:
        return finishNarrowColumns<1>(t, sum, to, rowCount);
      case 2:
        return finishNarrowColumns<2>(t, sum, to, rowCount);
      case 3:
        return finishNarrowColumns<3>(t, sum, to, rowCount);
      default:
        break;
    }
  }
#endif
  switch (t.least) {
    case 1:
      return finishColumns<1>(t, sum, to, rowCount);
    case 2:
      return finishColumns<2>(t, sum, to, rowCount);
    case 3:
      return finishColumns<3>(t, sum, to, rowCount);
    default:
      break;
  }
  finishAnyColumns(t, sum, to, rowCount);
}

// Each source row is read once, from memory, for every target: it is added to each target's
// sums, and a target row whose source rows are all in is made from the columns of its sums.
void averageAll(const DibImage& source, std::vector<AveragedTarget>& targets) {
  const auto bytes = static_cast<size_t>(DibWidth(source)) * 3;
  for (int32_t row = 0; row < DibHeight(source); ++row) {
    const uint8_t* from = sourceRow(source, row);
    for (AveragedTarget& t : targets) {
      if (t.picture.Pixels == nullptr) continue;
      const bool first = row == t.rows[static_cast<size_t>(t.y)];
      const bool done = row + 1 == t.rows[static_cast<size_t>(t.y) + 1];
      if (!t.narrow.empty()) {
        addRow(t.narrow.data(), from, bytes, first);
        if (done) finishRow(t, t.narrow);
      } else {
        addRow(t.wide.data(), from, bytes, first);
        if (done) finishRow(t, t.wide);
      }
    }
  }
}

}  // namespace

std::vector<DibImage> ResizeAveraged(const DibImage& source, std::span<const PictureSize> sizes) {
  std::vector<AveragedTarget> targets(sizes.size());
  std::vector<DibImage> results(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    const auto [width, height] = sizes[i];
    if (source.Header == nullptr || source.Pixels == nullptr || DibBitCount(source) != 24 ||
        width < 1 || height < 1 || width >= DibWidth(source) || height >= DibHeight(source)) {
      results[i] = Resize(source, width, height, false);
      continue;
    }
    AveragedTarget& t = targets[i];
    newdib(&t.picture, width, height, 24, source.Header, DibTableColors(source));
    if (t.picture.Pixels == nullptr) continue;
    t.columns = spans(DibWidth(source), width);
    t.rows = spans(DibHeight(source), height);
    t.least = DibWidth(source) / width;
    const auto rowBytes = static_cast<size_t>(DibWidth(source)) * 3 + 4;
    // Target rows take floor or ceiling of the source rows over the target rows.
    if (DibHeight(source) / height + 1 <= 257) {
      t.narrow.assign(rowBytes, 0);
    } else {
      t.wide.assign(rowBytes, 0u);
    }
  }
  averageAll(source, targets);
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (targets[i].picture.Pixels != nullptr) results[i] = targets[i].picture;
  }
  return results;
}

DibImage ResizeAveraged(const DibImage& source, int32_t width, int32_t height) {
  const PictureSize size{width, height};
  return ResizeAveraged(source, std::span<const PictureSize>(&size, 1)).front();
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
