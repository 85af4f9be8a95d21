// Pictures of one or two colours keep them all the way to 24 bits, whatever the order of
// their table: written as 1-bit palette pictures by libpng, giflib and libtiff and as BMP.
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "depth_promotion.h"
#include "gtest/gtest.h"
#include "picture_fixtures.h"

namespace glim {
namespace {

using Colour = std::array<uint8_t, 3>;  // red, green, blue
constexpr int kSize = 9;
// Index of pixel (x, y), top-down: a checkerboard, or all 0 for a one-colour picture.
int indexAt(int x, int y, bool twoColours) {
  return twoColours ? (x + y) % 2 : 0;
}

void writePng(const std::string& path, const std::vector<Colour>& table) {
  FILE* file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, kSize, kSize, 1, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> colours;
  for (const Colour& c : table) colours.push_back({c[0], c[1], c[2]});
  png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
  png_write_info(png, info);
  for (int y = 0; y < kSize; ++y) {
    std::array<png_byte, 2> row{};
    for (int x = 0; x < kSize; ++x)
      row[x / 8] |= static_cast<png_byte>(indexAt(x, y, table.size() == 2) << (7 - x % 8));
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

void writeGif(const std::string& path, const std::vector<Colour>& table) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  std::vector<GifColorType> colours;
  for (const Colour& c : table) colours.push_back({c[0], c[1], c[2]});
  while (colours.size() < 2) colours.push_back({0, 0, 0});
  ColorMapObject* map = GifMakeMapObject(2, colours.data());
  EGifPutScreenDesc(gif, kSize, kSize, 1, 0, map);
  EGifPutImageDesc(gif, 0, 0, kSize, kSize, false, nullptr);
  for (int y = 0; y < kSize; ++y) {
    std::array<GifPixelType, kSize> line{};
    for (int x = 0; x < kSize; ++x)
      line[x] = static_cast<GifPixelType>(indexAt(x, y, table.size() == 2));
    EGifPutLine(gif, line.data(), kSize);
  }
  GifFreeMapObject(map);
  EGifCloseFile(gif, &error);
}

void writeTiff(const std::string& path, const std::vector<Colour>& table) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kSize);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kSize);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  std::array<uint16_t, 2> red{}, green{}, blue{};
  for (size_t i = 0; i < table.size(); ++i) {
    red[i] = static_cast<uint16_t>(table[i][0] * 257);
    green[i] = static_cast<uint16_t>(table[i][1] * 257);
    blue[i] = static_cast<uint16_t>(table[i][2] * 257);
  }
  TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  for (int y = 0; y < kSize; ++y) {
    std::array<uint8_t, 2> row{};
    for (int x = 0; x < kSize; ++x)
      row[x / 8] |= static_cast<uint8_t>(indexAt(x, y, table.size() == 2) << (7 - x % 8));
    TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
  }
  TIFFClose(tiff);
}

void writeBmp(const std::string& path, const std::vector<Colour>& table) {
  const int rowBytes = 4;
  std::vector<uint8_t> file(14 + 40 + 8 + rowBytes * kSize);
  const auto put32 = [&file](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 14 + 40 + 8);
  put32(14, 40), put32(18, kSize), put32(22, kSize);
  file[26] = 1, file[28] = 1;
  put32(46, 2);
  for (size_t i = 0; i < table.size(); ++i) {
    file[54 + 4 * i] = table[i][2], file[55 + 4 * i] = table[i][1], file[56 + 4 * i] = table[i][0];
  }
  for (int y = 0; y < kSize; ++y) {  // bottom-up
    uint8_t* row = &file[62 + rowBytes * (kSize - 1 - y)];
    for (int x = 0; x < kSize; ++x)
      row[x / 8] |= static_cast<uint8_t>(indexAt(x, y, table.size() == 2) << (7 - x % 8));
  }
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);
}

TEST(TwoColourPictures, KeepTheirColoursInEveryFormatAndTableOrder) {
  const Colour red{200, 20, 30}, cream{250, 240, 200}, green{30, 160, 40};
  const std::vector<std::vector<Colour>> tables = {{red, cream},
                                                   {cream, red},
                                                   {green},
                                                   {{0, 0, 0}, red},
                                                   {{0, 0, 0}, {255, 255, 255}},
                                                   {{255, 255, 255}, {0, 0, 0}}};
  using Writer = void (*)(const std::string&, const std::vector<Colour>&);
  const std::pair<const char*, Writer> formats[] = {
      {"png", writePng}, {"gif", writeGif}, {"tif", writeTiff}, {"bmp", writeBmp}};
  const std::filesystem::path where =
      std::filesystem::temp_directory_path() / ("glim-two-colours-" + std::to_string(getpid()));
  std::filesystem::create_directories(where);
  const std::string folder = where.string();
  for (const auto& [extension, write] : formats) {
    for (size_t t = 0; t < tables.size(); ++t) {
      const std::vector<Colour>& table = tables[t];
      const std::string path = folder + "/p" + std::to_string(t) + "." + extension;
      write(path, table);
      testing::OwnedDib picture;
      OpenDib(&*picture, path.c_str(), 0, nullptr);
      ASSERT_NE(picture->Pixels, nullptr) << path;
      DepthUpTo24(*picture);
      ASSERT_EQ(picture->Header->biBitCount, 24) << path;
      for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
          const Colour& want = table[indexAt(x, y, table.size() == 2)];
          const auto got = testing::bgrAt(*picture, x, kSize - 1 - y);
          ASSERT_EQ((Colour{got[2], got[1], got[0]}), want) << path << " at " << x << "," << y;
        }
      }
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace glim
