// Resampling, depth promotion and line-by-line stretching of a 24-megapixel picture, each next to
// the baseline it is judged against: a memcpy of the result's bytes, or the painter drawing the
// same picture wrapped without a copy.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstring>
#include <vector>

#include "depth_promotion.h"
#include "painter_device.h"
#include "resampling.h"
#include "stretch_draw.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

// A 24-megapixel picture with smooth gradients and some texture, made once.
const DibImage& photo24() {
  static DibImage dib = [] {
    DibImage made{};
    newdib(&made, kWidth, kHeight, 24, nullptr, 0);
    for (int32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = made.Pixels + int64_t{y} * made.RowBytes;
      for (int32_t x = 0; x < kWidth; ++x) {
        row[3 * x] = static_cast<uint8_t>(x / 24 + (x * y) % 7);
        row[3 * x + 1] = static_cast<uint8_t>(y / 16);
        row[3 * x + 2] = static_cast<uint8_t>((x + y) / 40);
      }
    }
    return made;
  }();
  return dib;
}

// An 8-bit picture of the same size with a full colour table.
const DibImage& photo8() {
  static DibImage dib = [] {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD table[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    for (int i = 0; i < 256; ++i) {
      info.table[i] = RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                              static_cast<uint8_t>(i * 7), 0};
    }
    DibImage made{};
    newdib(&made, kWidth, kHeight, 8, &info.header, 256);
    for (int32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = made.Pixels + int64_t{y} * made.RowBytes;
      for (int32_t x = 0; x < kWidth; ++x) row[x] = static_cast<uint8_t>((x / 3 + y * 5) & 255);
    }
    return made;
  }();
  return dib;
}

int64_t rowBytes24(int32_t width) {
  return (int64_t{width} * 24 + 31) / 32 * 4;
}

// One memcpy of `bytes`, between two buffers already touched.
void memcpyOf(benchmark::State& state, int64_t bytes) {
  std::vector<uint8_t> from(static_cast<size_t>(bytes), 1), to(static_cast<size_t>(bytes), 2);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Resize(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  const DibImage& source = photo24();
  for (auto _ : state) {
    DibImage result = glim::Resize(source, width, height, false);
    benchmark::DoNotOptimize(result.Pixels);
    deldib(result);
  }
  state.SetBytesProcessed(state.iterations() * rowBytes24(width) * height);
}
BENCHMARK(BM_Resize)->Args({90, 67})->Args({1920, 1280})->Unit(benchmark::kMillisecond);

void BM_MemcpyOfResizeResult(benchmark::State& state) {
  memcpyOf(state, rowBytes24(static_cast<int32_t>(state.range(0))) * state.range(1));
}
BENCHMARK(BM_MemcpyOfResizeResult)
    ->Args({90, 67})
    ->Args({1920, 1280})
    ->Unit(benchmark::kMillisecond);

// What any 1920 x 1280 nearest-neighbour reduction of the picture must at least do: read every
// cache line of the 1280 source rows it samples (a sample every 9.4 bytes touches them all).
void BM_ReadSampledSourceRows(benchmark::State& state) {
  const DibImage& source = photo24();
  const int64_t step = int64_t{kHeight} * 1024 / 1280;
  for (auto _ : state) {
    uint64_t sum = 0;
    for (int64_t y = 0; y < 1280; ++y) {
      const uint8_t* row = source.Pixels + (y * step >> 10) * source.RowBytes;
      for (int64_t b = 0; b < source.RowBytes; b += 64) sum += row[b];
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ReadSampledSourceRows)->Unit(benchmark::kMillisecond);

void BM_DepthUpTo24(benchmark::State& state) {
  const DibImage& source = photo8();
  for (auto _ : state) {
    // A copy of the record: promotion frees the old picture, so each round gets a fresh 8-bit one.
    state.PauseTiming();
    DibImage picture{};
    newdib(&picture, kWidth, kHeight, 8, source.Header, 256);
    std::memcpy(picture.Pixels, source.Pixels, source.Header->biSizeImage);
    std::memcpy(picture.PaletteEntries, source.PaletteEntries, sizeof(picture.PaletteEntries));
    state.ResumeTiming();
    glim::DepthUpTo24(picture);
    benchmark::DoNotOptimize(picture.Pixels);
    state.PauseTiming();
    deldib(picture);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * rowBytes24(kWidth) * kHeight);
}
BENCHMARK(BM_DepthUpTo24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemcpyOfPromotionResult(benchmark::State& state) {
  memcpyOf(state, rowBytes24(kWidth) * kHeight);
}
BENCHMARK(BM_MemcpyOfPromotionResult)->Unit(benchmark::kMillisecond);

// Line-by-line stretching through the painter device into a window-sized image: the whole
// picture into a pane (range 2 = 0), or its top-left corner one to one (range 2 = 1).
void BM_StretchRows24(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  const bool oneToOne = state.range(2) == 1;
  const DibImage& picture = photo24();
  QImage window(width, height, QImage::Format_RGB32);
  QPainter painter(&window);
  glim::PainterDevice device(painter, glim::PainterDevice::Kind::Display);
  for (auto _ : state) {
    if (oneToOne) {
      glim::StretchRows24(device, 0, 0, width, height, picture, 0, 0, width, height);
    } else {
      glim::StretchRows24(device, 0, 0, width, height, picture, 0, 0, kWidth, kHeight);
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StretchRows24)
    ->Args({185, 123, 0})
    ->Args({1024, 768, 1})
    ->Unit(benchmark::kMillisecond);

// The painter drawing the picture wrapped as it lies in memory (no copy, no flip).
void BM_PainterDrawImage(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  const bool oneToOne = state.range(2) == 1;
  const DibImage& picture = photo24();
  const QImage wrapped(picture.Pixels, kWidth, kHeight, picture.RowBytes, QImage::Format_BGR888);
  QImage window(width, height, QImage::Format_RGB32);
  QPainter painter(&window);
  for (auto _ : state) {
    if (oneToOne) {
      painter.drawImage(QPoint(0, 0), wrapped, QRect(0, 0, width, height));
    } else {
      painter.drawImage(QRectF(0, 0, width, height), wrapped, QRectF(0, 0, kWidth, kHeight));
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PainterDrawImage)
    ->Args({185, 123, 0})
    ->Args({1024, 768, 1})
    ->Unit(benchmark::kMillisecond);

// The same for an 8-bit (grey or palette) picture: each line carries the colour table.
void BM_StretchRows8(benchmark::State& state) {
  const DibImage& picture = photo8();
  QImage window(1024, 768, QImage::Format_RGB32);
  QPainter painter(&window);
  glim::PainterDevice device(painter, glim::PainterDevice::Kind::Display);
  for (auto _ : state) {
    glim::StretchRows8(device, 0, 0, 1024, 768, picture, 0, 0, 1024, 768);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StretchRows8)->Unit(benchmark::kMillisecond);

void BM_PainterDrawImage8(benchmark::State& state) {
  const DibImage& picture = photo8();
  QImage wrapped(picture.Pixels, kWidth, kHeight, picture.RowBytes, QImage::Format_Indexed8);
  QList<QRgb> colors;
  const auto* table = reinterpret_cast<const RGBQUAD*>(picture.Header + 1);
  for (int i = 0; i < 256; ++i)
    colors.push_back(qRgb(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue));
  wrapped.setColorTable(colors);
  QImage window(1024, 768, QImage::Format_RGB32);
  QPainter painter(&window);
  for (auto _ : state) {
    painter.drawImage(QPoint(0, 0), wrapped, QRect(0, 0, 1024, 768));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PainterDrawImage8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
