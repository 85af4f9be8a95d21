// The matrix-shaper conversion alone, on one row of 6,048 pixels of an Adobe RGB picture: whole
// rows (64 pixels at a time with the wide vector instructions where the processor has them)
// against rows of 63 pixels, which the tables alone convert.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "colour_profile.h"

namespace {

using picodec::ColourConversion;
constexpr int kWidth = 6048;  // 96 rows of 63

std::shared_ptr<const ColourConversion> adobeRgb() {
  std::ifstream in("/usr/share/color/icc/colord/AdobeRGB1998.icc", std::ios::binary);
  const std::vector<uint8_t> profile((std::istreambuf_iterator<char>(in)), {});
  return ColourConversion::fromIcc(profile, ColourConversion::Layout::Bgr8);
}

std::vector<uint8_t> photoRow() {
  std::vector<uint8_t> row(kWidth * 3);
  for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 37 + i / 11);
  return row;
}

// The row converted in pieces of state.range(0) pixels.
void BM_ConvertRow(benchmark::State& state) {
  const auto conversion = adobeRgb();
  const std::vector<uint8_t> row = photoRow();
  std::vector<uint8_t> out(row.size());
  const auto piece = static_cast<int>(state.range(0));
  state.SetLabel(piece >= 64 && conversion->convertsRowsWide() ? "wide" : "tables");
  for (auto _ : state) {
    for (int x = 0; x < kWidth; x += piece) {
      conversion->convert(&row[3 * x], &out[3 * x], std::min(piece, kWidth - x));
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth);
}

}  // namespace

BENCHMARK(BM_ConvertRow)->Arg(kWidth)->Arg(63);
BENCHMARK_MAIN();
