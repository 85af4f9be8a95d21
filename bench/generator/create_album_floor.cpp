// The floor for the album builder's speed: the least work that turns the same JPEG photos
// into the same files. Each photo is decoded with TurboJPEG straight into bottom-up BGR rows
// with DIB padding, encoded again full size at the album's quality and subsampling into
// OUTDIR/pics, sampled down to the default 90 x 90 thumbnail box by nearest neighbour, and
// that encoded into OUTDIR/mini. Prints the size of the largest decoded picture.
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "picodec.h"  // PICODEC_JPEG_QUALITY: the quality the album's JPEG files are written at

namespace {

constexpr int kBox = 90;

bool readWhole(const char* path, std::vector<unsigned char>& bytes) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  const bool ok = size > 0 && std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  std::fclose(file);
  return ok;
}

bool encodeTo(tjhandle encoder, const unsigned char* bgr, int width, int pitch, int height,
              const std::string& path) {
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  if (tjCompress2(encoder, bgr, width, pitch, height, TJPF_BGR, &jpeg, &size, TJSAMP_420,
                  PICODEC_JPEG_QUALITY, TJFLAG_BOTTOMUP) != 0) {
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  const bool ok = file != nullptr && std::fwrite(jpeg, 1, size, file) == size;
  if (file != nullptr) std::fclose(file);
  tjFree(jpeg);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: create_album_floor OUTDIR PHOTO.jpg...\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out / "pics");
  std::filesystem::create_directories(out / "mini");
  tjhandle decoder = tjInitDecompress();
  tjhandle encoder = tjInitCompress();
  std::vector<unsigned char> file;
  uint64_t largest = 0;
  int failures = 0;
  for (int i = 2; i < argc; ++i) {
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (!readWhole(argv[i], file) || tjDecompressHeader3(decoder, file.data(), file.size(), &width,
                                                         &height, &subsampling, &colorspace) != 0) {
      ++failures;
      continue;
    }
    const int pitch = (width * 3 + 3) & ~3;
    std::vector<unsigned char> picture(static_cast<std::size_t>(pitch) * height);
    largest = std::max<uint64_t>(largest, picture.size());
    if (tjDecompress2(decoder, file.data(), file.size(), picture.data(), width, pitch, height,
                      TJPF_BGR, TJFLAG_BOTTOMUP) != 0) {
      ++failures;
      continue;
    }
    const std::string name = std::filesystem::path(argv[i]).stem().string() + ".JPG";
    if (!encodeTo(encoder, picture.data(), width, pitch, height, (out / "pics" / name).string()))
      ++failures;

    // The thumbnail box rule and 10-bit nearest-neighbour sampling, as the album does it.
    int w = kBox;
    int h = static_cast<int>(int64_t{height} * w / width);
    if (h > kBox) {
      h = kBox;
      w = static_cast<int>(int64_t{h} * width / height);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    const int thumbPitch = (w * 3 + 3) & ~3;
    std::vector<unsigned char> thumb(static_cast<std::size_t>(thumbPitch) * h);
    const int32_t stepX = width * 1024 / w;
    const int32_t stepY = height * 1024 / h;
    for (int y = 0; y < h; ++y) {
      const unsigned char* from =
          picture.data() + static_cast<std::size_t>(y * stepY >> 10) * pitch;
      unsigned char* to = thumb.data() + static_cast<std::size_t>(y) * thumbPitch;
      for (int x = 0; x < w; ++x) std::copy_n(from + 3 * (x * stepX >> 10), 3, to + 3 * x);
    }
    if (!encodeTo(encoder, thumb.data(), w, thumbPitch, h, (out / "mini" / name).string()))
      ++failures;
  }
  tjDestroy(decoder);
  tjDestroy(encoder);
  std::printf("largest decoded picture: %llu bytes\n", static_cast<unsigned long long>(largest));
  if (failures > 0) std::fprintf(stderr, "%d pictures failed\n", failures);
  return failures == 0 ? 0 : 1;
}
