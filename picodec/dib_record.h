// Making, owning and freeing DibImage records. Every record the library hands out gets its
// storage here: one block with the header, the colour table and the logical palette, plus
// the pixel memory (see pixel_cache.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "picodec.h"
#include "pixel_cache.h"

namespace picodec {

struct Rgb {
  uint8_t red, green, blue;
};

// Row size of a device-independent bitmap: width x bits rounded up to 32 bits, in bytes.
int64_t dibRowBytes(int64_t width, int bitsPerPixel);

// Throws CodecError unless width x height may be allocated (size and pixel limits).
void checkPictureSize(int64_t width, int64_t height);

// Number of colour-table entries a depth has: 2, 16, 256, or 0 for 16, 24 and 32 bits.
int tableSize(int bitsPerPixel);

// Owns a record's storage until it is released to the caller; frees it otherwise.
class DibOwner {
 public:
  DibOwner() = default;
  // A new picture, all zero unless `start` is Overwritten: then only the row padding (the
  // bytes after the last whole or partial pixel byte of each row) is zero and the caller
  // must write every other byte before anyone reads it. Throws CodecError for a depth or
  // size it cannot make.
  DibOwner(int32_t width, int32_t height, int bitsPerPixel, PixelStart start = PixelStart::Zeroed);
  ~DibOwner() { reset(); }
  DibOwner(DibOwner&& other) noexcept;
  DibOwner& operator=(DibOwner&& other) noexcept;
  DibOwner(const DibOwner&) = delete;
  DibOwner& operator=(const DibOwner&) = delete;

  const DibImage& dib() const { return dib_; }
  int32_t width() const { return dib_.Header->biWidth; }
  int32_t height() const { return dib_.Header->biHeight; }
  int bitsPerPixel() const { return dib_.Header->biBitCount; }
  int32_t rowBytes() const { return dib_.RowBytes; }
  // Row y as stored (row 0 is the bottom line).
  uint8_t* row(int32_t y) const { return dib_.Pixels + static_cast<int64_t>(y) * dib_.RowBytes; }
  // Line t counted from the top of the picture.
  uint8_t* topRow(int32_t t) const { return row(dib_.Header->biHeight - 1 - t); }

  // Sets colour-table entry i in the header's table, PaletteEntries and the logical palette.
  void setColor(int index, Rgb color);
  // A grey ramp over the whole table: entry i is grey i x 255 / (size - 1).
  void setGreyTable();

  // Hands the record to the caller, who frees it with deldib.
  DibImage release();
  void reset() noexcept;

 private:
  DibImage dib_{};
};

// Frees what a record holds; ignores records the library did not make.
void freeDib(const DibImage& dib) noexcept;

// True when the record holds a picture made by this library.
bool isLiveDib(const DibImage& dib) noexcept;

// Clears a record and puts an error text at the start of PaletteEntries.
void setFailedRecord(DibImage* out, std::string_view text) noexcept;

// The palette given to true-colour records: the halftone palette (see halftone.cpp).
const PicoLogPalette& halftonePalette();

}  // namespace picodec
