// OpenDib of a 24-megapixel photograph-like JPEG (or a photograph given as the argument, or a
// 24-megapixel collage of the photographs in a folder given as the argument) with
// an Adobe RGB profile against the same JPEG without one, in one run. Goal: at most 1.3 times as
// long. After the Google Benchmark runs the program times the two in alternation and prints the
// ratio of the medians (31 rounds). With `--set FOLDER` it times every JPEG in the folder instead,
// each as it is and tagged, and prints the ratio of the sums.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "../photo_like.h"
#include "picodec.h"

namespace {

std::string plainPath, taggedPath;

std::vector<char> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// The same JPEG with the profile in an APP2 segment right after its start marker.
void writeTagged(const std::string& from, const std::string& to, const std::string& profilePath) {
  const std::vector<char> jpeg = readAll(from);
  const std::vector<char> profile = readAll(profilePath);
  if (jpeg.size() < 2 || profile.empty() || profile.size() > 60000) std::abort();
  std::string segment = "ICC_PROFILE";
  segment.push_back('\0');
  segment.push_back('\1');
  segment.push_back('\1');
  segment.append(profile.begin(), profile.end());
  const size_t length = segment.size() + 2;
  std::ofstream out(to, std::ios::binary);
  out.write(jpeg.data(), 2);
  out.put(char(0xFF)).put(char(0xE2)).put(char(length >> 8)).put(char(length & 0xFF));
  out.write(segment.data(), static_cast<std::streamsize>(segment.size()));
  out.write(jpeg.data() + 2, static_cast<std::streamsize>(jpeg.size() - 2));
}

// 6000 x 4000 pixels of real photographs: the middles (3000 x 2000) of the first four JPEGs in
// `folder` that are at least that large, side by side, saved as our JPEGs are.
bool makeCollage(const std::filesystem::path& folder, const std::string& to) {
  std::vector<std::filesystem::path> photos;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".jpg") photos.push_back(entry.path());
  }
  std::sort(photos.begin(), photos.end());
  DibImage collage{};
  newdib(&collage, 6000, 4000, 24, nullptr, 0);
  int placed = 0;
  for (const auto& path : photos) {
    if (placed == 4) break;
    DibImage photo{};
    OpenDib(&photo, path.c_str(), 0, nullptr);
    const int32_t width = photo.Pixels != nullptr ? photo.Header->biWidth : 0;
    const int32_t height = photo.Pixels != nullptr ? photo.Header->biHeight : 0;
    if (photo.Pixels != nullptr && photo.Header->biBitCount == 24 && width >= 3000 &&
        height >= 2000) {
      const int32_t left = (width - 3000) / 2, top = (height - 2000) / 2;
      for (int32_t y = 0; y < 2000; ++y) {  // rows from the top; records are bottom-up
        const int32_t to_y = placed / 2 * 2000 + y;
        std::memcpy(collage.Pixels + int64_t{3999 - to_y} * collage.RowBytes + placed % 2 * 9000,
                    photo.Pixels + int64_t{height - 1 - top - y} * photo.RowBytes + left * 3, 9000);
      }
      ++placed;
    }
    deldib(photo);
  }
  const bool made =
      placed == 4 && SaveDib(collage, to.c_str(), PICODEC_SAVE_JPEG, nullptr) == PICODEC_OK;
  deldib(collage);
  return made;
}

// A photograph given on the command line (untagged), a collage of the photographs in a folder
// given instead, or a photograph-like picture made here.
void makeFiles(const char* photo) {
  const auto base =
      std::filesystem::temp_directory_path() / ("glim-colour-bench-" + std::to_string(getpid()));
  plainPath = base.string() + "-plain.jpg";
  taggedPath = base.string() + "-adobe.jpg";
  if (photo != nullptr && std::filesystem::is_directory(photo)) {
    if (!makeCollage(photo, plainPath)) std::abort();
    writeTagged(plainPath, taggedPath, "/usr/share/color/icc/colord/AdobeRGB1998.icc");
    return;
  }
  if (photo != nullptr) {
    std::filesystem::copy_file(photo, plainPath);
    writeTagged(plainPath, taggedPath, "/usr/share/color/icc/colord/AdobeRGB1998.icc");
    return;
  }
  DibImage made = glim::bench::makePhotoLikePicture();
  SaveDib(made, plainPath.c_str(), PICODEC_SAVE_JPEG, nullptr);
  deldib(made);
  writeTagged(plainPath, taggedPath, "/usr/share/color/icc/colord/AdobeRGB1998.icc");
}

void open(const std::string& path) {
  DibImage dib{};
  OpenDib(&dib, path.c_str(), 0, nullptr);
  if (dib.Pixels == nullptr) std::abort();
  deldib(dib);
}

void BM_OpenUntagged(benchmark::State& state) {
  for (auto _ : state) open(plainPath);
}

void BM_OpenAdobeRgb(benchmark::State& state) {
  for (auto _ : state) open(taggedPath);
}

double seconds(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  open(path);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double medianSeconds(const std::string& path, int rounds) {
  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) times.push_back(seconds(path));
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Every JPEG in `folder` as it is and with the Adobe RGB profile: the sums of the medians.
void timeSet(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> photos;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".jpg") continue;
    // Photographs that carry a profile already are left out: they are converted either way.
    const std::vector<char> bytes = readAll(entry.path().string());
    const std::string_view head(bytes.data(), std::min<size_t>(bytes.size(), 65536));
    if (head.find("ICC_PROFILE") == std::string_view::npos) photos.push_back(entry.path());
  }
  std::sort(photos.begin(), photos.end());
  const std::string tagged = (std::filesystem::temp_directory_path() /
                              ("glim-colour-bench-" + std::to_string(getpid()) + "-set.jpg"))
                                 .string();
  double plainSum = 0, taggedSum = 0, megapixels = 0;
  for (const auto& photo : photos) {
    DibImage dib{};
    OpenDib(&dib, photo.c_str(), 0, nullptr);
    if (dib.Pixels == nullptr) std::abort();
    megapixels += double(dib.Header->biWidth) * dib.Header->biHeight / 1e6;
    deldib(dib);
    writeTagged(photo.string(), tagged, "/usr/share/color/icc/colord/AdobeRGB1998.icc");
    for (int round = 0; round < 2; ++round) {  // alternating, medians of 5 each
      plainSum += medianSeconds(photo.string(), 5) / 2;
      taggedSum += medianSeconds(tagged, 5) / 2;
    }
  }
  std::filesystem::remove(tagged);
  std::printf(
      "OpenDib of %zu photographs (%.0f MP): untagged %.2f s, Adobe RGB %.2f s, ratio %.3f\n",
      photos.size(), megapixels, plainSum, taggedSum, taggedSum / plainSum);
}

}  // namespace

BENCHMARK(BM_OpenUntagged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAdobeRgb)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 2 && std::string(argv[1]) == "--set") {
    timeSet(argv[2]);
    return 0;
  }
  makeFiles(argc > 1 ? argv[1] : nullptr);
  benchmark::RunSpecifiedBenchmarks();
  std::vector<double> plain, tagged;
  for (int round = 0; round < 31; ++round) {
    plain.push_back(seconds(plainPath));
    tagged.push_back(seconds(taggedPath));
  }
  std::sort(plain.begin(), plain.end());
  std::sort(tagged.begin(), tagged.end());
  const double p = plain[plain.size() / 2], t = tagged[tagged.size() / 2];
  std::printf("OpenDib of %.1f MB: untagged %.1f ms, Adobe RGB %.1f ms, ratio %.3f (goal <= 1.3)\n",
              static_cast<double>(std::filesystem::file_size(plainPath)) / 1e6, p * 1e3, t * 1e3,
              t / p);
  std::filesystem::remove(plainPath);
  std::filesystem::remove(taggedPath);
  benchmark::Shutdown();
  return 0;
}
