#include "dib_record.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "codec_error.h"

namespace picodec {
namespace {

constexpr uint32_t kStorageTag = 0x31444350;  // "PCD1": Storage of every live record
constexpr uint32_t kBlockMagic = 0x4B4C4244;  // "DBLK"
constexpr uint32_t kDeadMagic = 0x44414544;   // "DEAD": a freed block

// The header with its colour table directly behind it, as StretchDIBits expects.
struct BitmapInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};
static_assert(offsetof(BitmapInfo, colors) == sizeof(BITMAPINFOHEADER));

// Everything a record holds besides its pixels. Its address sits in the record's
// reserved bytes, so deldib finds it from a copy of the record.
struct DibBlock {
  uint32_t magic;
  uint8_t* pixels;
  size_t capacity;  // of the pixel memory, for the cache
  BitmapInfo info;
  PicoLogPalette palette;
};

DibBlock* blockOf(const DibImage& dib) noexcept {
  DibBlock* block = nullptr;
  static_assert(sizeof(block) <= sizeof(dib.Reserved3));
  std::memcpy(&block, dib.Reserved3, sizeof(block));
  return block;
}

}  // namespace

int64_t dibRowBytes(int64_t width, int bitsPerPixel) {
  return (width * bitsPerPixel + 31) / 32 * 4;
}

void checkPictureSize(int64_t width, int64_t height) {
  if (width < 1 || height < 1) {
    fail("The picture has an invalid size of " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels.");
  }
  if (width > PICODEC_MAX_DIMENSION || height > PICODEC_MAX_DIMENSION ||
      width * height > static_cast<int64_t>(PICODEC_MAX_PIXELS)) {
    fail("The picture is too large (" + std::to_string(width) + " x " + std::to_string(height) +
         " pixels).");
  }
}

int tableSize(int bitsPerPixel) {
  return bitsPerPixel <= 8 ? 1 << bitsPerPixel : 0;
}

DibOwner::DibOwner(int32_t width, int32_t height, int bitsPerPixel, PixelStart start) {
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 16 &&
      bitsPerPixel != 24 && bitsPerPixel != 32) {
    fail("A picture of " + std::to_string(bitsPerPixel) + " bits per pixel cannot be made.");
  }
  checkPictureSize(width, height);
  const int64_t rowBytes = dibRowBytes(width, bitsPerPixel);
  const int64_t imageBytes = rowBytes * height;

  auto* block = new (std::nothrow) DibBlock{};
  if (block == nullptr) fail("Not enough memory for a picture.");
  block->pixels = takePixelMemory(static_cast<size_t>(imageBytes), start, block->capacity);
  if (block->pixels == nullptr) {
    delete block;
    fail("Not enough memory for a picture of " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels.");
  }
  block->magic = kBlockMagic;
  if (start == PixelStart::Overwritten) {
    // The caller fills the pixels; the row padding it leaves is read by whoever hashes or
    // copies whole rows, so it must hold zeros as in any other record.
    const int64_t used = (int64_t{width} * bitsPerPixel + 7) / 8;
    if (used < rowBytes) {
      for (int64_t y = 0; y < height; ++y) {
        std::memset(block->pixels + y * rowBytes + used, 0, static_cast<size_t>(rowBytes - used));
      }
    }
  }

  const int colors = tableSize(bitsPerPixel);
  BITMAPINFOHEADER& h = block->info.header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<uint16_t>(bitsPerPixel);
  h.biCompression = 0;  // BI_RGB
  h.biSizeImage = static_cast<uint32_t>(imageBytes);
  h.biClrUsed = static_cast<uint32_t>(colors);

  if (colors > 0) {
    block->palette.count = static_cast<uint32_t>(colors);
  } else {
    block->palette = halftonePalette();
  }

  dib_.Header = &block->info.header;
  dib_.Storage = kStorageTag;
  dib_.Pixels = block->pixels;
  dib_.RowBytes = static_cast<int32_t>(rowBytes);
  dib_.HasPalette = colors > 0 ? 1 : 0;
  dib_.Palette = &block->palette;
  std::memcpy(dib_.Reserved3, &block, sizeof(block));
}

DibOwner::DibOwner(DibOwner&& other) noexcept : dib_(other.dib_) {
  other.dib_ = DibImage{};
}

DibOwner& DibOwner::operator=(DibOwner&& other) noexcept {
  if (this != &other) {
    reset();
    dib_ = other.dib_;
    other.dib_ = DibImage{};
  }
  return *this;
}

void DibOwner::setColor(int index, Rgb color) {
  DibBlock* block = blockOf(dib_);
  if (index < 0 || index > 255) return;
  block->info.colors[index] = RGBQUAD{color.blue, color.green, color.red, 0};
  uint8_t* entry = dib_.PaletteEntries + 4 * index;
  entry[0] = color.red;
  entry[1] = color.green;
  entry[2] = color.blue;
  entry[3] = 0;
  if (dib_.HasPalette == 1) block->palette.entries[index] = {color.red, color.green, color.blue, 0};
}

void DibOwner::setGreyTable() {
  const int size = tableSize(bitsPerPixel());
  for (int i = 0; i < size; ++i) {
    const auto grey = static_cast<uint8_t>(i * 255 / (size - 1));
    setColor(i, {grey, grey, grey});
  }
}

DibImage DibOwner::release() {
  const DibImage dib = dib_;
  dib_ = DibImage{};
  return dib;
}

void DibOwner::reset() noexcept {
  if (dib_.Storage != 0) freeDib(dib_);
  dib_ = DibImage{};
}

bool isLiveDib(const DibImage& dib) noexcept {
  if (dib.Storage != kStorageTag || dib.Header == nullptr) return false;
  const DibBlock* block = blockOf(dib);
  return block != nullptr && block->magic == kBlockMagic && &block->info.header == dib.Header;
}

void freeDib(const DibImage& dib) noexcept {
  if (!isLiveDib(dib)) return;
  DibBlock* block = blockOf(dib);
  givePixelMemory(block->pixels, block->capacity);
  block->magic = kDeadMagic;
  delete block;
}

void setFailedRecord(DibImage* out, std::string_view text) noexcept {
  if (out == nullptr) return;
  *out = DibImage{};
  const size_t n = std::min(text.size(), sizeof(out->PaletteEntries) - 1);
  std::memcpy(out->PaletteEntries, text.data(), n);
  out->PaletteEntries[n] = 0;
}

}  // namespace picodec
