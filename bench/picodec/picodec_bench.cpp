// Decoding and re-encoding real photographs through OpenDib + SaveDib, against
// libjpeg-turbo's TurboJPEG API doing the same work directly, in the same run; the same for
// one 24-megapixel picture; the ways of getting large pixel memory; and the peak memory of
// opening one large picture.
//
//   picodec_bench [--photos=DIR] --benchmark_enable_random_interleaving=true
// DIR holds the JPEG photographs (default: $GLIM_BENCH_PHOTOS, else ../bench-photos/jpeg
// beside the repository), as made by the shared photos.sh. Interleaving the repetitions of
// the two ways keeps the load of a shared machine from favouring either.
//
// The floor is TurboJPEG with its buffers kept from picture to picture (BM_TurboJpeg*Reused):
// what is left is libjpeg-turbo's own work and the file system.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// TurboJPEG with everything kept between pictures: the file buffer, the pixel memory and the
// compressed output. The floor of OpenDib + SaveDib + deldib.
class TurboJpegReused {
 public:
  TurboJpegReused() : decoder_(tjInitDecompress()), encoder_(tjInitCompress()) {}
  ~TurboJpegReused() {
    tjFree(jpeg_);
    tjDestroy(decoder_);
    tjDestroy(encoder_);
  }
  TurboJpegReused(const TurboJpegReused&) = delete;
  TurboJpegReused& operator=(const TurboJpegReused&) = delete;

  // Decodes `photo` into bottom-up BGR rows with the DIB padding and writes it as `output`.
  // Returns the picture's pixel count, or 0 when it cannot be decoded.
  int64_t openSave(const std::string& photo, const std::string& output) {
    std::FILE* in = std::fopen(photo.c_str(), "rb");
    if (in == nullptr) return 0;
    std::fseek(in, 0, SEEK_END);
    const long length = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    if (length <= 0) {
      std::fclose(in);
      return 0;
    }
    if (file_.size() < size_t(length)) file_.resize(size_t(length));
    const size_t got = std::fread(file_.data(), 1, size_t(length), in);
    std::fclose(in);
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(decoder_, file_.data(), got, &width, &height, &subsampling,
                            &colorspace) != 0) {
      return 0;
    }
    const int pitch = (width * 24 + 31) / 32 * 4;
    if (pixels_.size() < size_t(pitch) * height) pixels_.resize(size_t(pitch) * height);
    if (tjDecompress2(decoder_, file_.data(), got, pixels_.data(), width, pitch, height, TJPF_BGR,
                      TJFLAG_BOTTOMUP) != 0) {
      return 0;
    }
    const unsigned long bound = tjBufSize(width, height, TJSAMP_420);
    if (jpegCapacity_ < bound) {
      tjFree(jpeg_);
      jpeg_ = tjAlloc(int(bound));
      jpegCapacity_ = bound;
    }
    unsigned long size = jpegCapacity_;
    // TurboJPEG compresses with the fast DCT unless told otherwise; SaveDib uses the accurate
    // one, as libjpeg does by default.
    tjCompress2(encoder_, pixels_.data(), width, pitch, height, TJPF_BGR, &jpeg_, &size, TJSAMP_420,
                PICODEC_JPEG_QUALITY, TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC | TJFLAG_ACCURATEDCT);
    if (std::FILE* out = std::fopen(output.c_str(), "wb")) {
      std::fwrite(jpeg_, 1, size, out);
      std::fclose(out);
    }
    return int64_t{width} * height;
  }

 private:
  tjhandle decoder_, encoder_;
  std::vector<unsigned char> file_, pixels_;
  unsigned char* jpeg_ = nullptr;
  unsigned long jpegCapacity_ = 0;
};

void BM_TurboJpegOpenSaveReused(benchmark::State& state) {
  if (gPhotos.empty()) return state.SkipWithError("no photos: run photos.sh, pass --photos=DIR");
  TurboJpegReused turbo;
  int64_t pixels = 0;
  for (auto _ : state) {
    for (const auto& photo : gPhotos) {
      const int64_t n = turbo.openSave(photo, gOutput);
      if (n == 0) return state.SkipWithError(photo.c_str());
      pixels += n;
    }
  }
  state.counters["pictures/s"] =
      benchmark::Counter(double(gPhotos.size()) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["MP/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
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

// OpenDib + SaveDib + deldib of the 24-megapixel picture, against the floor below.
void BM_PicodecOpenSave24Megapixels(benchmark::State& state) {
  const std::string photo = largePicture();
  for (auto _ : state) {
    DibImage dib{};
    OpenDib(&dib, photo.c_str(), 0, nullptr);
    if (dib.Pixels == nullptr) return state.SkipWithError("the 24-megapixel picture");
    SaveDib(dib, gOutput.c_str(), PICODEC_SAVE_JPEG, nullptr);
    deldib(dib);
  }
}

void BM_TurboJpegOpenSave24MegapixelsReused(benchmark::State& state) {
  const std::string photo = largePicture();
  TurboJpegReused turbo;
  for (auto _ : state) {
    if (turbo.openSave(photo, gOutput) == 0) return state.SkipWithError("the 24-megapixel picture");
  }
}

// The ways of getting the pixel memory of a 24-megapixel picture (72 MB) that is then written
// whole, as a decoder does. Run with GLIBC_TUNABLES=glibc.malloc.mmap_max=0:
// glibc.malloc.trim_threshold=4294967295 for what tuning the allocator instead would give.
enum class Memory { Calloc, Malloc, MallocHugePages, MapPopulate, Reused, ReusedLazyFree };
constexpr size_t kPictureBytes = size_t{18000} * 4000;

void BM_PixelMemory(benchmark::State& state, Memory way) {
  void* kept = std::malloc(kPictureBytes);
  if (kept == nullptr) return state.SkipWithError("no memory");
  std::memset(kept, 1, kPictureBytes);
  int value = 0;
  for (auto _ : state) {
    void* memory = kept;
    switch (way) {
      case Memory::Calloc:
        memory = std::calloc(kPictureBytes, 1);
        break;
      case Memory::Malloc:
        memory = std::malloc(kPictureBytes);
        break;
      case Memory::MallocHugePages: {
        memory = std::malloc(kPictureBytes);
        const uintptr_t huge = uintptr_t{2} << 20;
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(memory) + huge - 1) & ~(huge - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(memory) + kPictureBytes) & ~(huge - 1);
        if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
        break;
      }
      case Memory::MapPopulate:
        memory = mmap(nullptr, kPictureBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        break;
      case Memory::Reused:
      case Memory::ReusedLazyFree:
        break;
    }
    if (memory == nullptr || memory == MAP_FAILED) return state.SkipWithError("no memory");
    std::memset(memory, ++value, kPictureBytes);
    benchmark::DoNotOptimize(memory);
    benchmark::ClobberMemory();
    switch (way) {
      case Memory::MapPopulate:
        munmap(memory, kPictureBytes);
        break;
      case Memory::Reused:
        break;
      case Memory::ReusedLazyFree: {
        const uintptr_t page = 4096;
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(memory) + page - 1) & ~(page - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(memory) + kPictureBytes) & ~(page - 1);
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_FREE);
        break;
      }
      default:
        std::free(memory);
    }
  }
  std::free(kept);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPictureBytes));
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
BENCHMARK(BM_TurboJpegOpenSaveReused)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_PicodecOpenSave24Megapixels)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->Repetitions(5);
BENCHMARK(BM_TurboJpegOpenSave24MegapixelsReused)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->Repetitions(5);
#define PIXEL_MEMORY(name)                              \
  BENCHMARK_CAPTURE(BM_PixelMemory, name, Memory::name) \
      ->Unit(benchmark::kMillisecond)                   \
      ->Iterations(20)                                  \
      ->Repetitions(5)
PIXEL_MEMORY(Calloc);
PIXEL_MEMORY(Malloc);
PIXEL_MEMORY(MallocHugePages);
PIXEL_MEMORY(MapPopulate);
PIXEL_MEMORY(Reused);
PIXEL_MEMORY(ReusedLazyFree);

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
