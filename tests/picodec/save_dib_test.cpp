// SaveDib: JPEG files that reopen close to the original, from every depth, written whole or
// not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <gif_lib.h>

#include "file_permissions.h"
#include "picodec.h"
#include "picodec_test_support.h"

using picotest::OwnedDib;
using picotest::TempDir;
namespace fs = std::filesystem;

namespace {

// Smooth colour gradients with a fine brightness texture, like a photograph: colour detail
// finer than the chroma subsampling would be lost by any JPEG writer.
void paintTestPicture(const DibImage& d) {
  for (int y = 0; y < d.Header->biHeight; ++y)
    for (int x = 0; x < d.Header->biWidth; ++x) {
      const int texture = ((x / 4 + y / 4) & 1) ? 30 : -30;
      const uint32_t r = uint32_t(std::clamp(30 + x * 190 / d.Header->biWidth + texture, 0, 255));
      const uint32_t g = uint32_t(std::clamp(30 + y * 190 / d.Header->biHeight + texture, 0, 255));
      const uint32_t b = uint32_t(128 + texture);
      setpixel(d, x, y, r | g << 8 | b << 16);
    }
}

double meanDifference(const OwnedDib& a, const OwnedDib& b) {
  uint64_t sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const uint32_t p = a.color(x, y), q = b.color(x, y);
      for (int s = 0; s < 24; s += 8) sum += std::abs(int((p >> s) & 255) - int((q >> s) & 255));
    }
  return double(sum) / (double(a.width()) * a.height() * 3);
}

// At quality 90 a saved picture stays within this mean error per colour channel.
constexpr double kRoundTripTolerance = 3.0;

TEST(SaveDib, TwentyFourBitPictureReopensWithSameSizeAndSmallError) {
  TempDir dir;
  OwnedDib original;
  newdib(&original.dib, 161, 97, 24, nullptr, 0);  // odd sizes: padded rows, partial blocks
  paintTestPicture(original.dib);
  const std::string path = dir.file("out.JPG");
  EXPECT_EQ(SaveDib(original.dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);

  OwnedDib reopened;
  OpenDib(&reopened.dib, path.c_str(), 0, nullptr);
  ASSERT_NE(reopened->Pixels, nullptr) << reopened.error();
  EXPECT_EQ(reopened.width(), 161);
  EXPECT_EQ(reopened.height(), 97);
  EXPECT_EQ(reopened.bits(), 24);
  // Compared pixel by pixel: a picture turned upside down would be far off.
  EXPECT_LT(meanDifference(original, reopened), kRoundTripTolerance);
}

TEST(SaveDib, RealPhotoSurvivesARoundTrip) {
  if (picotest::testdataDir().empty()) GTEST_SKIP() << "no public test pictures here";
  TempDir dir;
  OwnedDib original;
  OpenDib(&original.dib, (picotest::testdataDir() + "/jpeg/misc/cat.jpg").c_str(), 0, nullptr);
  ASSERT_NE(original->Pixels, nullptr);
  const std::string path = dir.file("cat.JPG");
  SaveDib(original.dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr);
  OwnedDib reopened;
  OpenDib(&reopened.dib, path.c_str(), 0, nullptr);
  ASSERT_NE(reopened->Pixels, nullptr);
  ASSERT_EQ(reopened.width(), original.width());
  EXPECT_LT(meanDifference(original, reopened), kRoundTripTolerance);
}

TEST(SaveDib, OtherDepthsAreConvertedToColourOrGreyJpeg) {
  TempDir dir;
  for (int bits : {1, 4, 8, 16, 32}) {
    SCOPED_TRACE(bits);
    OwnedDib d;
    newdib(&d.dib, 40, 30, bits, nullptr, 0);
    auto* table = reinterpret_cast<RGBQUAD*>(d->Header + 1);
    table[0] = {0, 0, 0, 0};
    table[1] = {0, 0, 255, 0};  // red
    for (int y = 0; y < 30; ++y)
      for (int x = 20; x < 40; ++x)
        setpixel(d.dib, x, y, bits <= 8 ? 1 : (bits == 16 ? 0x7C00 : 0xFF));
    // Built in steps: GCC 12 warns falsely about "d" + std::string in an optimised build.
    const std::string path = dir.file(std::string("d").append(std::to_string(bits)).append(".jpg"));
    SaveDib(d.dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr);
    OwnedDib reopened;
    OpenDib(&reopened.dib, path.c_str(), 0, nullptr);
    ASSERT_NE(reopened->Pixels, nullptr) << reopened.error();
    EXPECT_LT(reopened.color(5, 15) & 0xFF, 30u);    // black half
    EXPECT_GT(reopened.color(35, 15) & 0xFF, 220u);  // red half
    EXPECT_LT((reopened.color(35, 15) >> 8) & 0xFF, 40u);
  }
  // An 8-bit grey picture is written as a greyscale JPEG and comes back as one.
  OwnedDib grey;
  newdib(&grey.dib, 16, 16, 8, nullptr, 0);
  auto* table = reinterpret_cast<RGBQUAD*>(grey->Header + 1);
  for (int i = 0; i < 256; ++i) table[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) setpixel(grey.dib, x, y, 128);
  SaveDib(grey.dib, dir.file("grey.jpg").c_str(), PICODEC_SAVE_JPEG, nullptr);
  OwnedDib reopened;
  OpenDib(&reopened.dib, dir.file("grey.jpg").c_str(), 0, nullptr);
  ASSERT_NE(reopened->Pixels, nullptr);
  EXPECT_EQ(reopened.bits(), 8);
  EXPECT_NEAR(int(getpixel(reopened.dib, 8, 8)), 128, 2);
}

TEST(SaveDib, FailedSavesLeaveNoFileBehind) {
  TempDir dir;
  OwnedDib d;
  newdib(&d.dib, 8, 8, 24, nullptr, 0);
  // A folder that does not exist, a format other than JPEG, and a record without a picture.
  const std::string missing = dir.file("no/such/folder/x.jpg");
  EXPECT_EQ(SaveDib(d.dib, missing.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_FAILED);
  EXPECT_EQ(SaveDib(d.dib, dir.file("x.bmp").c_str(), 3, nullptr), PICODEC_FAILED);
  DibImage empty{};
  EXPECT_EQ(SaveDib(empty, dir.file("y.jpg").c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_FAILED);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(SaveDib, ReplacesAnExistingFileWhole) {
  const glim::testing::ScopedUmask mask(022);
  TempDir dir;
  const std::string path = dir.write("x.jpg", {'o', 'l', 'd'});
  fs::permissions(path, fs::perms(0664));
  OwnedDib d;
  newdib(&d.dib, 8, 8, 24, nullptr, 0);
  EXPECT_EQ(SaveDib(d.dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);
  EXPECT_EQ(glim::testing::modeOf(path), "0664") << "a replaced file keeps its permissions";
  const std::string fresh = (dir.path() / "new.jpg").string();
  EXPECT_EQ(SaveDib(d.dib, fresh.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);
  EXPECT_EQ(glim::testing::modeOf(fresh), "0644");
  fs::remove(fresh);
  const auto bytes = picotest::readFile(path);
  ASSERT_GT(bytes.size(), 100u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(SaveDib, NameAsLongAsTheFileSystemAllows) {
  TempDir dir;
  OwnedDib d;
  newdib(&d.dib, 8, 8, 24, nullptr, 0);
  const std::string path = dir.file(std::string(251, 'a') + ".JPG");  // 255 bytes
  EXPECT_EQ(SaveDib(d.dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(OpenDib, RefusesANamedPipeWithoutWaitingForAWriter) {
  TempDir dir;
  const std::string pipe = dir.file("pipe.jpg");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  OwnedDib d;
  OpenDib(&d.dib, pipe.c_str(), 0, nullptr);  // would block for ever if the pipe were opened
  EXPECT_EQ(d->Pixels, nullptr);
  EXPECT_GT(d.error().size(), 5u);
}

TEST(OpenDib, RefusesAJpegCutShortEvenWithAnEndMarker) {
  TempDir dir;
  OwnedDib original;
  newdib(&original.dib, 160, 120, 24, nullptr, 0);
  paintTestPicture(original.dib);
  const std::string whole = dir.file("whole.jpg");
  ASSERT_EQ(SaveDib(original.dib, whole.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);
  std::vector<uint8_t> bytes = picotest::readFile(whole);
  bytes.resize(bytes.size() / 3);  // the rest would otherwise be made up as flat grey
  bytes.push_back(0xFF);
  bytes.push_back(0xD9);
  const std::string cut = dir.write("cut.jpg", bytes);
  OwnedDib d;
  OpenDib(&d.dib, cut.c_str(), 0, nullptr);
  EXPECT_EQ(d->Pixels, nullptr);
  EXPECT_GT(d.error().size(), 5u);
}

// Entry i of oneLineGif's map: black, white, then colours that are not black (as red |
// green << 8 | blue << 16).
uint32_t mapColour(int i) {
  return i == 0 ? 0u : i == 1 ? 0xFFFFFFu : uint32_t(15 * i | 100 << 8 | (255 - 15 * i) << 16);
}

// A GIF of one line of the indexes 0 to used - 1 over a global map of `mapSize` colours.
// giflib cuts every index to the data's code size, which it takes from the map; widened,
// indexes beyond a short map reach the file as other writers leave them.
std::string oneLineGif(const TempDir& dir, int mapSize, int used) {
  std::vector<GifColorType> colours;
  for (int i = 0; i < mapSize; ++i) {
    const uint32_t c = mapColour(i);
    colours.push_back({uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  }
  std::vector<GifPixelType> line(static_cast<size_t>(used));
  for (int i = 0; i < used; ++i) line[size_t(i)] = GifPixelType(i);
  const std::string path = dir.file("line-" + std::to_string(used) + ".gif");
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (gif == nullptr) return path;
  ColorMapObject* map = GifMakeMapObject(mapSize, colours.data());
  EGifPutScreenDesc(gif, used, 1, 8, 0, map);
  int bits = 1;
  while ((1 << bits) < used) ++bits;
  gif->SColorMap->BitsPerPixel = std::max(gif->SColorMap->BitsPerPixel, bits);
  EGifPutImageDesc(gif, 0, 0, used, 1, false, nullptr);
  EGifPutLine(gif, line.data(), used);
  GifFreeMapObject(map);
  EGifCloseFile(gif, &error);
  return path;
}

TEST(OpenDib, GifIndexesBeyondAShortColourMapAreBlack) {
  // 4 x 1, a map of red and green, pixels 0, 1, 2, 3 (each code after a clear code).
  const std::vector<uint8_t> gif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x04, 0x00, 0x01, 0x00,
                                    0x80, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x2C,
                                    0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x02,
                                    0x04, 0x04, 0x43, 0x71, 0x05, 0x00, 0x3B};
  TempDir dir;
  const std::string path = dir.write("short-map.gif", gif);
  OwnedDib d;
  OpenDib(&d.dib, path.c_str(), 0, nullptr);
  ASSERT_NE(d->Pixels, nullptr) << d.error();
  EXPECT_EQ(d.color(0, 0), 0x0000FFu);
  EXPECT_EQ(d.color(1, 0), 0x00FF00u);
  EXPECT_EQ(d.color(2, 0), 0u);
  EXPECT_EQ(d.color(3, 0), 0u);

  // The depth holds the map and every index used: 2 colours take 1 bit, 3 to 16 take 4, 17
  // and more 8 (3 and 17 by an index just beyond a map of 2 and of 16).
  const struct {
    int mapSize, used, bits;
  } cases[] = {{2, 2, 1}, {2, 3, 4}, {16, 16, 4}, {16, 17, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.used) + " colours, a map of " + std::to_string(c.mapSize));
    OwnedDib line;
    OpenDib(&line.dib, oneLineGif(dir, c.mapSize, c.used).c_str(), 0, nullptr);
    ASSERT_NE(line->Pixels, nullptr) << line.error();
    EXPECT_EQ(line.bits(), c.bits);
    for (int i = 0; i < c.used; ++i) {
      EXPECT_EQ(line.color(i, 0), i < c.mapSize ? mapColour(i) : 0u) << "index " << i;
    }
  }
}

TEST(SaveDib, WritesThroughALinkAndLeavesReadOnlyFiles) {
  TempDir dir;
  OwnedDib d;
  newdib(&d.dib, 8, 8, 24, nullptr, 0);
  fs::create_directories(dir.path() / "real");
  const std::string target = dir.write("real/target.jpg", {'o', 'l', 'd'});
  fs::create_symlink(target, dir.path() / "link.jpg");
  const std::string link = dir.file("link.jpg");
  EXPECT_EQ(SaveDib(d.dib, link.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_GT(picotest::readFile(target).size(), 100u);
  const auto saved = picotest::readFile(target);
  fs::permissions(target, fs::perms::owner_read);
  EXPECT_TRUE(glim::testing::asBoundUser(dir.path(), [&] {
    return SaveDib(d.dib, target.c_str(), PICODEC_SAVE_JPEG, nullptr) == PICODEC_FAILED;
  })) << "a read-only file was replaced";
  EXPECT_EQ(picotest::readFile(target), saved);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "real"), {}), 1);
}

// A 228-byte deflate TIFF that claims 65535 x 2048 RGB in one strip of 100 bytes: libtiff
// would reserve the whole 400 MB strip before finding out.
TEST(OpenDib, RefusesATiffStripFarShorterThanItsPicture) {
  std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put16 = [&](uint32_t v) {
    tiff.push_back(uint8_t(v));
    tiff.push_back(uint8_t(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    put16(tag);
    put16(type);
    put32(count);
    put32(value);
  };
  put16(9);
  entry(256, 4, 1, 65535);  // width
  entry(257, 4, 1, 2048);   // height
  entry(258, 3, 3, 122);    // bits per sample: 8, 8, 8 at offset 122
  entry(259, 3, 1, 8);      // deflate
  entry(262, 3, 1, 2);      // RGB
  entry(273, 4, 1, 128);    // strip offset
  entry(277, 3, 1, 3);      // samples per pixel
  entry(278, 4, 1, 2048);   // rows per strip
  entry(279, 4, 1, 100);    // strip byte count
  put32(0);
  for (int i = 0; i < 3; ++i) put16(8);
  tiff.resize(228, 0);
  TempDir dir;
  const std::string path = dir.write("bomb.tif", tiff);
  OwnedDib d;
  OpenDib(&d.dib, path.c_str(), 0, nullptr);
  EXPECT_EQ(d->Pixels, nullptr);
  EXPECT_NE(d.error().find("far less data"), std::string::npos) << d.error();
}

}  // namespace
