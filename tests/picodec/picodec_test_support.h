// Helpers for the codec tests: temporary files, hand-made bitmap files, a record that frees
// itself, and the folder of the public test pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "picodec.h"

namespace picotest {

// A record from OpenDib, newdib or the halftoning, freed with deldib at the end of the scope.
struct OwnedDib {
  DibImage dib{};
  OwnedDib() = default;
  OwnedDib(OwnedDib&& other) noexcept : dib(other.dib) { other.dib = DibImage{}; }
  OwnedDib(const OwnedDib&) = delete;
  OwnedDib& operator=(const OwnedDib&) = delete;
  ~OwnedDib() {
    if (dib.Storage != 0) deldib(dib);
  }
  const DibImage* operator->() const { return &dib; }
  std::string error() const { return reinterpret_cast<const char*>(dib.PaletteEntries); }
  int32_t width() const { return dib.Header->biWidth; }
  int32_t height() const { return dib.Header->biHeight; }
  int bits() const { return dib.Header->biBitCount; }
  const uint8_t* row(int32_t y) const { return dib.Pixels + int64_t{y} * dib.RowBytes; }
  // Colour of entry i as the header's table holds it: red | green << 8 | blue << 16.
  uint32_t tableColor(int i) const {
    const auto* t = reinterpret_cast<const RGBQUAD*>(dib.Header + 1);
    return t[i].rgbRed | t[i].rgbGreen << 8 | t[i].rgbBlue << 16;
  }
  uint32_t paletteEntryColor(int i) const {
    const uint8_t* e = dib.PaletteEntries + 4 * i;
    return e[0] | e[1] << 8 | e[2] << 16;
  }
  // Colour of stored pixel (x, y) through the table or directly: red | green << 8 | blue << 16.
  uint32_t color(int32_t x, int32_t y) const {
    const uint32_t v = getpixel(dib, x, y);
    return bits() <= 8 ? tableColor(static_cast<int>(v)) : (v & 0xFFFFFF);
  }
};

// A folder under the test's temporary directory, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> readFile(const std::string& path);

// A BITMAPINFOHEADER bitmap file: `rows` are the file's pixel rows in file order (padding
// included), `table` the colour table as blue, green, red, 0 quads, or for 16 and 32 bits
// the bit-field masks.
std::vector<uint8_t> makeBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                             const std::vector<uint32_t>& table, const std::vector<uint8_t>& rows);

// The public test pictures, or empty when the folder is absent.
std::string testdataDir();

}  // namespace picotest
