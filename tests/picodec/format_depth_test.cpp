// What depth and colour table each kind of picture arrives with, and the EXIF orientation.
#include <gtest/gtest.h>

#include <cmath>

#include <cstring>
#include <string>
#include <vector>

#include "made_dng.h"
#include "picodec.h"
#include "picodec_test_support.h"

using picotest::OwnedDib;

namespace {

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// The PLTE chunk of a PNG file as red | green << 8 | blue << 16 values.
std::vector<uint32_t> pngPalette(const std::vector<uint8_t>& file) {
  std::vector<uint32_t> colors;
  for (size_t i = 8; i + 12 <= file.size();) {
    const uint32_t length = be32(&file[i]);
    if (std::memcmp(&file[i + 4], "PLTE", 4) == 0) {
      for (uint32_t k = 0; k + 3 <= length; k += 3) {
        const uint8_t* c = &file[i + 8 + k];
        colors.push_back(c[0] | c[1] << 8 | c[2] << 16);
      }
    }
    i += 12 + size_t{length};
  }
  return colors;
}

// The colour table of a BITMAPINFOHEADER bitmap file.
std::vector<uint32_t> bmpTable(const std::vector<uint8_t>& file, int entries) {
  std::vector<uint32_t> colors;
  const size_t at = 14 + (file[14] | file[15] << 8);
  for (int i = 0; i < entries; ++i) {
    const uint8_t* q = &file[at + 4 * i];
    colors.push_back(q[2] | q[1] << 8 | q[0] << 16);
  }
  return colors;
}

class PaletteDepth : public ::testing::Test {
 protected:
  void SetUp() override {
    if (picotest::testdataDir().empty()) GTEST_SKIP() << "no public test pictures here";
  }
  std::string file(const std::string& relative) { return picotest::testdataDir() + "/" + relative; }
};

TEST_F(PaletteDepth, PalettePngsKeepDepthAndTable) {
  // basn3p02 is 2 bits per pixel: widened to 4; basn3p01's two colours are not black and
  // white, so it comes as 4 bits too.
  const struct {
    const char* name;
    int bits;
  } cases[] = {{"basn3p01.png", 4}, {"basn3p02.png", 4}, {"basn3p04.png", 4}, {"basn3p08.png", 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file(std::string("png/pngsuite/") + c.name);
    OwnedDib d;
    OpenDib(&d.dib, path.c_str(), 0, nullptr);
    ASSERT_NE(d->Pixels, nullptr) << d.error();
    EXPECT_EQ(d.bits(), c.bits);
    EXPECT_EQ(d->RowBytes, (d.width() * c.bits + 31) / 32 * 4);
    const auto palette = pngPalette(picotest::readFile(path));
    ASSERT_FALSE(palette.empty());
    // These files carry a gamma of 1.0: their palette comes into sRGB.
    const auto toSrgb = [](uint32_t colour) {
      uint32_t result = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const double linear = ((colour >> shift) & 255) / 255.0;
        const double encoded =
            linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
        result |= static_cast<uint32_t>(std::lround(encoded * 255)) << shift;
      }
      return result;
    };
    for (size_t i = 0; i < palette.size(); ++i) {
      for (const uint32_t got : {d.tableColor(int(i)), d.paletteEntryColor(int(i))}) {
        const uint32_t want = toSrgb(palette[i]);
        for (int shift = 0; shift < 24; shift += 8) {
          EXPECT_NEAR(int((got >> shift) & 255), int((want >> shift) & 255), 1) << "entry " << i;
        }
      }
    }
  }
}

TEST_F(PaletteDepth, PaletteBitmapsKeepDepthAndTable) {
  for (const auto& [name, bits] : {std::pair{"pal1.bmp", 1},
                                   {"pal4.bmp", 4},
                                   {"pal8.bmp", 8},
                                   {"pal4rle.bmp", 4},
                                   {"pal8rle.bmp", 8}}) {
    SCOPED_TRACE(name);
    const std::string path = file(std::string("bmp/bmpsuite-2.3/g/") + name);
    OwnedDib d;
    OpenDib(&d.dib, path.c_str(), 0, nullptr);
    ASSERT_NE(d->Pixels, nullptr) << d.error();
    EXPECT_EQ(d.bits(), bits);
    const auto bytes = picotest::readFile(path);
    const uint32_t used = bytes[46] | bytes[47] << 8;
    const auto table = bmpTable(bytes, used != 0 ? int(used) : 1 << bits);
    for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(d.tableColor(int(i)), table[i]) << i;
  }
}

TEST_F(PaletteDepth, GreyscaleArrivesAsEightBitsWithAGreyRamp) {
  // Grey files without a gamma of their own (PngSuite's basic files carry 1.0).
  for (const char* name : {"png/libpng-testpngs/gray-1.png", "png/libpng-testpngs/gray-16-sRGB.png",
                           "jpeg/misc/hopper_gray.jpg", "tiff/libtiff/minisblack-1c-8b.tiff"}) {
    SCOPED_TRACE(name);
    OwnedDib d;
    OpenDib(&d.dib, file(name).c_str(), 0, nullptr);
    ASSERT_NE(d->Pixels, nullptr) << d.error();
    EXPECT_EQ(d.bits(), 8);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(d.tableColor(i), uint32_t(i) * 0x010101u) << i;
  }
}

TEST_F(PaletteDepth, TrueColourAndAlphaArriveAsTwentyFourBits) {
  for (const char* name :
       {"png/pngsuite/basn2c08.png", "png/pngsuite/basn6a08.png", "jpeg/misc/hopper.jpg",
        "webp/misc/hopper.webp", "gif/misc/hopper.gif"}) {
    OwnedDib d;
    OpenDib(&d.dib, file(name).c_str(), 0, nullptr);
    if (d->Pixels == nullptr && std::string(name).find("webp") != std::string::npos) continue;
    ASSERT_NE(d->Pixels, nullptr) << name << ": " << d.error();
    if (std::string(name).ends_with(".gif")) {
      EXPECT_LE(d.bits(), 8) << name;
    } else {
      EXPECT_EQ(d.bits(), 24) << name;
    }
  }
}

// Mean absolute difference of two 24-bit records of the same size, in colour units.
double meanDifference(const OwnedDib& a, const OwnedDib& b) {
  uint64_t sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width() * 3; ++x) sum += std::abs(a.row(y)[x] - b.row(y)[x]);
  return double(sum) / (double(a.width()) * a.height() * 3);
}

// The turned files were encoded anew from the same picture; a wrong turn or mirror gives a
// mean difference above 50.
constexpr double kReencodedTolerance = 8.0;

TEST_F(PaletteDepth, ExifOrientationSixArrivesUpright) {
  OwnedDib plain, turned;
  OpenDib(&plain.dib, file("jpeg/misc/hopper.jpg").c_str(), 0, nullptr);
  OpenDib(&turned.dib, file("jpeg/misc/hopper_orientation_6.jpg").c_str(), 0, nullptr);
  ASSERT_NE(plain->Pixels, nullptr);
  ASSERT_NE(turned->Pixels, nullptr);
  // The file stores the picture turned a quarter counter-clockwise; upright it matches
  // hopper.jpg, so its stored width becomes the height.
  ASSERT_EQ(turned.width(), plain.width());
  ASSERT_EQ(turned.height(), plain.height());
  EXPECT_LT(meanDifference(plain, turned), kReencodedTolerance);
}

// The quarters of wideJpeg's picture: red, green, blue and white, called corners A, B, C, D
// from the top left, line by line.
constexpr uint32_t kCorner[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};

// A 64 x 32 picture of the four corner colours, saved as JPEG with EXIF orientation `o` added.
std::string wideJpeg(const picotest::TempDir& dir, int o) {
  OwnedDib d;
  newdib(&d.dib, 64, 32, 24, nullptr, 0);
  for (int t = 0; t < 32; ++t)
    for (int x = 0; x < 64; ++x) setpixel(d.dib, x, 31 - t, kCorner[t / 16 * 2 + x / 32]);
  const std::string path = dir.file("wide.jpg");
  EXPECT_EQ(SaveDib(d.dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);
  // APP1 after the start marker: "Exif", a big-endian TIFF header and a directory of one
  // entry, tag 0x0112 (orientation) of type SHORT, count 1, holding `o`.
  const uint8_t app1[] = {
      0xFF, 0xE1, 0,    34,   'E', 'x', 'i', 'f', 0, 0,  // marker, length, "Exif"
      'M',  'M',  0,    42,   0,   0,   0,   8,          // header, directory at 8
      0,    1,    0x01, 0x12, 0,   3,   0,   0,   0, 1, 0, uint8_t(o), 0, 0,  // the entry
      0,    0,    0,    0};  // no further directory
  std::vector<uint8_t> bytes = picotest::readFile(path);
  bytes.insert(bytes.begin() + 2, std::begin(app1), std::end(app1));
  return dir.write("wide.jpg", bytes);
}

// The corners of a picture as seen upright (top left, top right, bottom left, bottom right),
// each named by the one of wideJpeg's colours nearest the middle of its quarter.
std::string cornersSeen(const OwnedDib& d) {
  std::string seen;
  for (const auto& [across, down] : {std::pair{1, 1}, {3, 1}, {1, 3}, {3, 3}}) {
    const uint32_t c = d.color(d.width() * across / 4, d.height() - 1 - d.height() * down / 4);
    int nearest = 0, nearestDistance = 3 * 256;
    for (int k = 0; k < 4; ++k) {
      int distance = 0;
      for (int s = 0; s < 24; s += 8)
        distance += std::abs(int((c >> s) & 255) - int((kCorner[k] >> s) & 255));
      if (distance < nearestDistance) nearest = k, nearestDistance = distance;
    }
    seen += char('A' + nearest);
  }
  return seen;
}

TEST_F(PaletteDepth, EveryExifOrientationArrivesUpright) {
  OwnedDib plain;
  OpenDib(&plain.dib, file("jpeg/misc/hopper.jpg").c_str(), 0, nullptr);
  ASSERT_NE(plain->Pixels, nullptr);
  // Where the stored corners A, B, C, D are seen upright: EXIF orientation 2 mirrors left to
  // right, 3 turns half round, 4 mirrors top to bottom, 5 mirrors along the diagonal, 6 needs a
  // quarter turn clockwise, 7 mirrors along the other diagonal, 8 needs a quarter turn
  // counter-clockwise.
  const char* const upright[] = {"",     "ABCD", "BADC", "DCBA", "CDAB",
                                 "ACBD", "CADB", "DBCA", "BDAC"};
  picotest::TempDir dir;
  for (int o = 2; o <= 8; ++o) {
    OwnedDib d;
    const auto path = file("jpeg/misc/hopper_orientation_" + std::to_string(o) + ".jpg");
    OpenDib(&d.dib, path.c_str(), 0, nullptr);
    ASSERT_NE(d->Pixels, nullptr) << o;
    ASSERT_EQ(d.width(), plain.width()) << o;
    EXPECT_LT(meanDifference(plain, d), kReencodedTolerance) << "orientation " << o;

    // A picture wider than high: 5 to 8 exchange width and height.
    OwnedDib wide;
    OpenDib(&wide.dib, wideJpeg(dir, o).c_str(), 0, nullptr);
    ASSERT_NE(wide->Pixels, nullptr) << wide.error();
    EXPECT_EQ(wide.width(), o >= 5 ? 32 : 64) << "orientation " << o;
    EXPECT_EQ(wide.height(), o >= 5 ? 64 : 32) << "orientation " << o;
    EXPECT_EQ(cornersSeen(wide), upright[o]) << "orientation " << o;

    // DNG files of the same picture: developed from the sensor data (never the small preview
    // of the first directory), and with a full-size preview taken instead of grey sensor data.
    for (const bool preview : {false, true}) {
      const auto scene = [preview](int x, int y, int c) {
        return preview ? 0.3 : 0.8 * ((kCorner[y / 16 * 2 + x / 32] >> (8 * c)) & 255) / 255;
      };
      const auto jpeg = preview ? picotest::readFile(wideJpeg(dir, 1)) : std::vector<uint8_t>{};
      OwnedDib raw;
      const auto path = dir.write("camera.dng", picotest::madeDng(64, 32, o, scene, jpeg));
      OpenDib(&raw.dib, path.c_str(), 0, nullptr);
      ASSERT_NE(raw->Pixels, nullptr) << raw.error();
      EXPECT_EQ(raw.width(), wide.width()) << "DNG, orientation " << o;
      EXPECT_EQ(raw.height(), wide.height()) << "DNG, orientation " << o;
      EXPECT_EQ(cornersSeen(raw), upright[o])
          << "DNG, orientation " << o << ", preview " << preview;
      if (preview) {
        EXPECT_EQ(meanDifference(raw, wide), 0) << "orientation " << o;
      }
    }
  }
  // A DNG whose sensor data claims 10000 x 10000 pixels in a few kilobytes is refused before
  // LibRaw unpacks it: the width and height of the sensor directory, after the data at 8.
  auto bomb = picotest::madeDng(64, 32, 1, [](int, int, int) { return 0.5; });
  for (const int at : {8 + 64 * 32 * 2 + 10, 8 + 64 * 32 * 2 + 22})
    bomb[at] = 0x10, bomb[at + 1] = 0x27;
  OwnedDib refused;
  OpenDib(&refused.dib, dir.write("bomb.dng", bomb).c_str(), 0, nullptr);
  EXPECT_EQ(refused->Pixels, nullptr);
  EXPECT_NE(refused.error().find("far less data"), std::string::npos) << refused.error();
}

// Colours of every pixel, top line first.
std::vector<uint32_t> colors(const OwnedDib& d) {
  std::vector<uint32_t> out;
  for (int t = d.height() - 1; t >= 0; --t)
    for (int x = 0; x < d.width(); ++x) out.push_back(d.color(x, t));
  return out;
}

TEST_F(PaletteDepth, TiffOrientationTagIsApplied) {
  // Fax pictures of the same page: turned right, fewer than 1% of the pixels differ (the
  // files were made separately); a wrong turn or mirror differs in about 10%.
  OwnedDib upright;
  OpenDib(&upright.dib, file("tiff/misc/g4_orientation_1.tif").c_str(), 0, nullptr);
  ASSERT_NE(upright->Pixels, nullptr);
  for (const char* name : {"tiff/misc/g4_orientation_6.tif", "tiff/misc/g4_orientation_8.tif"}) {
    OwnedDib d;
    OpenDib(&d.dib, file(name).c_str(), 0, nullptr);
    ASSERT_NE(d->Pixels, nullptr) << name;
    ASSERT_EQ(d.width(), upright.width()) << name;
    ASSERT_EQ(d.height(), upright.height()) << name;
    const auto a = colors(d), b = colors(upright);
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
    EXPECT_LT(differing, a.size() / 100) << name;
  }
}

TEST_F(PaletteDepth, WebpExifOrientationIsApplied) {
  OwnedDib plain;
  OpenDib(&plain.dib, file("webp/misc/hopper.webp").c_str(), 0, nullptr);
  ASSERT_NE(plain->Pixels, nullptr);
  for (int o = 2; o <= 8; ++o) {
    OwnedDib d;
    OpenDib(&d.dib, file("webp/misc/hopper_orientation_" + std::to_string(o) + ".webp").c_str(), 0,
            nullptr);
    ASSERT_NE(d->Pixels, nullptr) << o;
    EXPECT_LT(meanDifference(plain, d), kReencodedTolerance) << "orientation " << o;
  }
}

}  // namespace
