// libFuzzer target for the whole library: any bytes as a picture file through OpenDib, and
// what it decodes through the pixel access and halftoning.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "picodec.h"

namespace {

int memoryFile() {
  static const int fd = memfd_create("picodec-fuzz", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  return fd;
}

void ignoreProgress(PicoWindow*, uint32_t message, intptr_t percent, intptr_t) {
  if (message != PICODEC_WM_USER || percent < 0 || percent > 100) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memoryFile();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  PicoWindow window{ignoreProgress};
  DibImage dib{};
  OpenDib(&dib, path.c_str(), 0, &window);
  if (dib.Pixels == nullptr) {
    // A failed open holds nothing and a terminated text.
    if (dib.Storage != 0 || dib.PaletteEntries[sizeof dib.PaletteEntries - 1] != 0) std::abort();
    return 0;
  }
  const BITMAPINFOHEADER& h = *dib.Header;
  // Every byte of the pixel memory is there and initialised.
  unsigned sum = 0;
  for (uint32_t i = 0; i < h.biSizeImage; ++i) sum += dib.Pixels[i];
  sum += getpixel(dib, h.biWidth - 1, h.biHeight - 1);
  if (static_cast<uint64_t>(h.biWidth) * static_cast<uint64_t>(h.biHeight) <= 65536) {
    DibImage halftoned{};
    DIBHalftoneDIBXY(&halftoned, dib, h.biWidth / 2 + 1, h.biHeight / 2 + 1);
    deldib(halftoned);
  }
  deldib(dib);
  return static_cast<int>(sum & 0);
}
