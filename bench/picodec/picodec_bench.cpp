// Decoding and re-encoding real photographs through OpenDib + SaveDib, against
// libjpeg-turbo's TurboJPEG API doing the same work directly, in the same run; and the peak
// memory of opening one large picture.
//
//   picodec_bench [--photos=DIR] --benchmark_enable_random_interleaving=true
// DIR holds the JPEG photographs (default: $GLIM_BENCH_PHOTOS, else ../bench-photos/jpeg
// beside the repository), as made by the shared photos.sh. Interleaving the repetitions of
// the two ways keeps the load of a shared machine from favouring either.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "picodec.h"

namespace fs = std::filesystem;

namespace {

std::string gPhotoDir;
std::vector<std::string> gPhotos;
std::string gOutput;

void findPhotos() {
  if (gPhotoDir.empty()) {
    const char* env = std::getenv("GLIM_BENCH_PHOTOS");
    gPhotoDir = env != nullptr ? env : std::string(GLIM_SOURCE_DIR) + "/../bench-photos/jpeg";
  }
  if (fs::is_directory(gPhotoDir)) {
    for (const auto& e : fs::directory_iterator(gPhotoDir)) {
      if (e.path().extension() == ".jpg") gPhotos.push_back(e.path().string());
    }
  }
  std::sort(gPhotos.begin(), gPhotos.end());
  gOutput = (fs::temp_directory_path() / ("picodec-bench-" + std::to_string(::getpid()) + ".jpg"))
                .string();
}

std::vector<unsigned char> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_PicodecOpenSave(benchmark::State& state) {
  if (gPhotos.empty()) return state.SkipWithError("no photos: run photos.sh, pass --photos=DIR");
  int64_t pixels = 0;
  for (auto _ : state) {
    for (const auto& photo : gPhotos) {
      DibImage dib{};
      OpenDib(&dib, photo.c_str(), 0, nullptr);
      if (dib.Pixels == nullptr) return state.SkipWithError(photo.c_str());
      pixels += int64_t{dib.Header->biWidth} * dib.Header->biHeight;
      SaveDib(dib, gOutput.c_str(), PICODEC_SAVE_JPEG, nullptr);
      deldib(dib);
    }
  }
  state.counters["pictures/s"] =
      benchmark::Counter(double(gPhotos.size()) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["MP/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
}

// The same work with TurboJPEG: decode into bottom-up BGR rows with the DIB row padding,
// encode at the same quality and 4:2:0, write the file.
void BM_TurboJpegOpenSave(benchmark::State& state) {
  if (gPhotos.empty()) return state.SkipWithError("no photos: run photos.sh, pass --photos=DIR");
  tjhandle decoder = tjInitDecompress(), encoder = tjInitCompress();
  for (auto _ : state) {
    for (const auto& photo : gPhotos) {
      const auto file = readAll(photo);
      int width = 0, height = 0, subsampling = 0, colorspace = 0;
      if (tjDecompressHeader3(decoder, file.data(), file.size(), &width, &height, &subsampling,
                              &colorspace) != 0) {
        return state.SkipWithError(photo.c_str());
      }
      const int pitch = (width * 24 + 31) / 32 * 4;
      auto* pixels = static_cast<unsigned char*>(std::calloc(size_t(pitch) * height, 1));
      tjDecompress2(decoder, file.data(), file.size(), pixels, width, pitch, height, TJPF_BGR,
                    TJFLAG_BOTTOMUP);
      unsigned char* jpeg = nullptr;
      unsigned long size = 0;
      tjCompress2(encoder, pixels, width, pitch, height, TJPF_BGR, &jpeg, &size, TJSAMP_420,
                  PICODEC_JPEG_QUALITY, TJFLAG_BOTTOMUP);
      if (std::FILE* out = std::fopen(gOutput.c_str(), "wb")) {
        std::fwrite(jpeg, 1, size, out);
        std::fclose(out);
      }
      tjFree(jpeg);
      std::free(pixels);
    }
  }
  tjDestroy(decoder);
  tjDestroy(encoder);
  state.counters["pictures/s"] =
      benchmark::Counter(double(gPhotos.size()) * state.iterations(), benchmark::Counter::kIsRate);
}

// A 24-megapixel photograph-like JPEG (6000 x 4000, smooth colours with fine texture),
// written once with SaveDib.
std::string largePicture() {
  static const std::string path = [] {
    const std::string out =
        (fs::temp_directory_path() / ("picodec-bench-24mp-" + std::to_string(::getpid()) + ".jpg"))
            .string();
    DibImage dib{};
    newdib(&dib, 6000, 4000, 24, nullptr, 0);
    uint32_t noise = 12345;
    for (int y = 0; y < 4000; ++y) {
      uint8_t* row = dib.Pixels + int64_t{y} * dib.RowBytes;
      for (int x = 0; x < 6000; ++x) {
        noise = noise * 1103515245u + 12345u;
        const int n = int(noise >> 27) - 16;
        row[3 * x] = uint8_t(std::clamp(x / 24 + n, 0, 255));
        row[3 * x + 1] = uint8_t(std::clamp(y / 16 + n, 0, 255));
        row[3 * x + 2] = uint8_t(std::clamp((x + y) / 40 + n, 0, 255));
      }
    }
    SaveDib(dib, out.c_str(), PICODEC_SAVE_JPEG, nullptr);
    deldib(dib);
    return out;
  }();
  return path;
}

// A line of /proc/self/status, in kilobytes.
double statusKilobytes(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(key)) return std::stod(line.substr(key.size()));
  }
  return 0;
}

// Peak resident memory added by opening a 24-megapixel JPEG, in a fresh child process, as a
// multiple of the picture's pixel bytes (72 MB).
void BM_PeakMemoryOf24MegapixelOpen(benchmark::State& state) {
  const std::string photo = largePicture();
  double ratio = 0, megabytes = 0;
  for (auto _ : state) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return state.SkipWithError("pipe");
    const pid_t child = fork();
    if (child == 0) {
      // Start the peak afresh (the parent made the picture), then compare it with now.
      std::ofstream("/proc/self/clear_refs") << "5";
      const double before = statusKilobytes("VmRSS:");
      DibImage dib{};
      OpenDib(&dib, photo.c_str(), 0, nullptr);
      const double pixelBytes = dib.Pixels != nullptr ? dib.Header->biSizeImage : 1.0;
      const double added = (statusKilobytes("VmHWM:") - before) * 1024.0;
      const double result[2] = {added / pixelBytes, pixelBytes / 1e6};
      (void)!write(pipeFds[1], result, sizeof result);
      _exit(0);
    }
    double result[2] = {0, 0};
    close(pipeFds[1]);
    (void)!read(pipeFds[0], result, sizeof result);
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    ratio = result[0];
    megabytes = result[1];
  }
  state.counters["peak/pixel bytes"] = ratio;
  state.counters["pixel MB"] = megabytes;
}

}  // namespace

// The memory figure first, while this process is still small.
BENCHMARK(BM_PeakMemoryOf24MegapixelOpen)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PicodecOpenSave)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_TurboJpegOpenSave)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(3);

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--photos=")) {
      gPhotoDir = arg.substr(9);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  findPhotos();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(gOutput.c_str());
  std::remove(largePicture().c_str());
  return 0;
}
