#include "demo_album.h"

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "album_file.h"
#include "album_settings.h"
#include "atomic_file.h"
#include "picodec.h"

namespace glim {
namespace {

struct DemoPicture {
  const char* name;
  int32_t width;
  int32_t height;
  int32_t bits;  // 24, or 8 with a palette of its own
  const char* comment;
};

// Landscape, portrait, a palette picture and a long thin one: each thumbnail rule shows.
constexpr DemoPicture kPictures[] = {
    {"Sunset.jpg", 800, 600, 24, "Evening light over the hills."},
    {"Tower.jpg", 450, 800, 24, "A <B>tall</B> one: its thumbnail is fitted by its height."},
    {"Stripes.jpg", 640, 480, 8, "Painted with a palette of 256 colours."},
    {"Panorama wide.jpg", 1600, 200, 24, "A panorama, with a space in its file name."},
};

// Smooth colour waves, so that the JPEG files look like something.
void paint24(DibImage& dib, int32_t seed) {
  const int32_t w = dib.Header->biWidth;
  const int32_t h = dib.Header->biHeight;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = dib.Pixels + static_cast<int64_t>(y) * dib.RowBytes;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t fx = x * 255 / w;
      const int32_t fy = y * 255 / h;
      row[3 * x + 0] = static_cast<uint8_t>((fx * seed + fy * 3) & 0xFF);  // blue
      row[3 * x + 1] = static_cast<uint8_t>(fy);                           // green
      row[3 * x + 2] = static_cast<uint8_t>(255 - fx);                     // red
    }
  }
}

void paint8(DibImage& dib) {
  const int32_t w = dib.Header->biWidth;
  const int32_t h = dib.Header->biHeight;
  auto* table = reinterpret_cast<RGBQUAD*>(dib.Header + 1);
  for (int i = 0; i < 256; ++i) {
    const auto value = static_cast<uint8_t>(i);
    table[i] = {value, static_cast<uint8_t>(255 - value), static_cast<uint8_t>(value ^ 0x55), 0};
    dib.PaletteEntries[4 * i + 0] = table[i].rgbRed;
    dib.PaletteEntries[4 * i + 1] = table[i].rgbGreen;
    dib.PaletteEntries[4 * i + 2] = table[i].rgbBlue;
  }
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = dib.Pixels + static_cast<int64_t>(y) * dib.RowBytes;
    for (int32_t x = 0; x < w; ++x) row[x] = static_cast<uint8_t>((x + y) / 8 * 16);
  }
}

bool writeDemoPicture(const DemoPicture& picture, int32_t seed, const std::string& path) {
  DibImage dib{};
  newdib(&dib, picture.width, picture.height, picture.bits, nullptr, 0);
  if (dib.Pixels == nullptr || dib.Header == nullptr) return false;
  if (picture.bits == 8) {
    paint8(dib);
  } else {
    paint24(dib, seed);
  }
  const bool saved = SaveDib(dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr) == PICODEC_OK;
  deldib(dib);
  return saved;
}

}  // namespace

std::optional<std::string> makeDemoAlbum(const std::string& folder, std::string& error) {
  const std::string pictures = folder + "pictures/";
  std::error_code ignored;
  std::filesystem::create_directories(pictures, ignored);

  std::vector<PictureEntry> entries;
  int32_t seed = 1;
  for (const DemoPicture& picture : kPictures) {
    const std::string path = pictures + picture.name;
    if (!writeDemoPicture(picture, seed++, path)) {
      error = "Couldn't write the demo picture " + path;
      return std::nullopt;
    }
    PictureEntry entry;
    entry.FilePath = path;
    entry.Comment = picture.comment;
    entries.push_back(std::move(entry));
  }

  AlbumSettings settings;
  settings.caption = "Glimmervellium demo album";
  settings.perLine = 2;
  settings.thumbWidth = 160;
  settings.thumbHeight = 120;
  settings.backgroundColor = rgbColor(0xE8, 0xE4, 0xD8);
  const std::string albumPath = folder + "demo.lmf";
  if (!writeFileAtomically(albumPath, encodeAlbumFile(entries, settings, albumPath))) {
    error = "Couldn't write the demo album file " + albumPath;
    return std::nullopt;
  }
  return albumPath;
}

}  // namespace glim
