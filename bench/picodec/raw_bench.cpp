// OpenDib of camera RAW files against a JPEG of the same size (6000 x 4000), in one run: a DNG
// whose full-size JPEG preview is taken (goal: at most 1.2 times the JPEG's time) and a DNG
// that is developed from its sensor data. After the Google Benchmark runs the program times the
// JPEG and the DNG with a preview in alternation and prints the ratio of the medians (15 rounds).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../tests/support/made_dng.h"
#include "../photo_like.h"
#include "picodec.h"

namespace {

std::string jpegPath, previewPath, developedPath;

void writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

double openSeconds(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  DibImage dib{};
  OpenDib(&dib, path.c_str(), 0, nullptr);
  if (dib.Pixels == nullptr) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), reinterpret_cast<char*>(dib.PaletteEntries));
    std::exit(1);
  }
  deldib(dib);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_Open(benchmark::State& state, const std::string* path) {
  for (auto _ : state) state.SetIterationTime(openSeconds(*path));
}

}  // namespace

BENCHMARK_CAPTURE(BM_Open, jpeg, &jpegPath)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Open, dng_with_full_preview, &previewPath)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Open, dng_developed, &developedPath)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "glim-raw-bench";
  std::filesystem::create_directories(folder);
  jpegPath = folder / "photo.jpg";
  previewPath = folder / "preview.dng";
  developedPath = folder / "developed.dng";
  DibImage photo = glim::bench::makePhotoLikePicture();
  SaveDib(photo, jpegPath.c_str(), PICODEC_SAVE_JPEG, nullptr);
  // The sensor sees the photograph's colours (rows stored bottom up), linear.
  const auto scene = [&photo](int x, int y, int c) {
    const uint8_t v = photo.Pixels[int64_t{3999 - y} * photo.RowBytes + 3 * x + 2 - c];
    return (v / 255.0) * (v / 255.0);
  };
  std::ifstream in(jpegPath, std::ios::binary);
  const std::vector<uint8_t> jpeg((std::istreambuf_iterator<char>(in)), {});
  writeAll(previewPath, picotest::madeDng(6000, 4000, 1, scene, jpeg));
  writeAll(developedPath, picotest::madeDng(6000, 4000, 1, scene));
  deldib(photo);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::vector<double> plain, preview;
  for (int round = 0; round < 15; ++round) {
    plain.push_back(openSeconds(jpegPath));
    preview.push_back(openSeconds(previewPath));
  }
  std::nth_element(plain.begin(), plain.begin() + 7, plain.end());
  std::nth_element(preview.begin(), preview.begin() + 7, preview.end());
  std::printf("DNG with a full-size preview / JPEG, medians: %.3f (%.1f ms / %.1f ms)\n",
              preview[7] / plain[7], preview[7] * 1000, plain[7] * 1000);
  std::filesystem::remove_all(folder);
  return 0;
}
