// Opening hand-made bitmap files through OpenDib: depths, row orders, compressions, errors
// and progress reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picodec.h"
#include "picodec_test_support.h"

using picotest::makeBmp;
using picotest::OwnedDib;
using picotest::TempDir;

namespace {

constexpr uint32_t kDarkBlue = 0x000080;  // as a BMP quad: blue in the low byte
constexpr uint32_t kYellow = 0xFFFF00;

// OwnedDib cannot be copied; the tests open into a named record instead.
#define OPEN(name, path)                          \
  OwnedDib name;                                  \
  OpenDib(&name.dib, (path).c_str(), 0, nullptr); \
  ASSERT_NE(name->Pixels, nullptr) << name.error()

// Two colours that are not black then white come as 4 bits with the same table and indices.
TEST(BmpReader, OneBitPictureKeepsItsColourTable) {
  TempDir dir;
  // 3 x 2, bottom row 1,0,1 and top row 0,1,0; rows padded to 4 bytes.
  const auto path =
      dir.write("a.bmp", makeBmp(3, 2, 1, 0, {kDarkBlue, kYellow}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}));
  OPEN(d, path);
  EXPECT_EQ(d.bits(), 4);
  EXPECT_EQ(d->RowBytes, 4);
  EXPECT_EQ(d->HasPalette, 1);
  EXPECT_EQ(d.tableColor(0), 0x800000u);  // red | green << 8 | blue << 16
  EXPECT_EQ(d.paletteEntryColor(1), 0x00FFFFu);
  EXPECT_EQ(getpixel(d.dib, 0, 0), 1u);
  EXPECT_EQ(getpixel(d.dib, 1, 0), 0u);
  EXPECT_EQ(getpixel(d.dib, 1, 1), 1u);
}

TEST(BmpReader, FourBitOddWidthAndTopDownRows) {
  TempDir dir;
  std::vector<uint32_t> table(16);
  for (int i = 0; i < 16; ++i) table[i] = static_cast<uint32_t>(i * 0x101010);
  // Negative height: the first file row is the top line.
  const auto path =
      dir.write("b.bmp", makeBmp(5, -2, 4, 0, table, {0x12, 0x34, 0x50, 0, 0xAB, 0xCD, 0xE0, 0}));
  OPEN(d, path);
  EXPECT_EQ(d.bits(), 4);
  EXPECT_EQ(d.height(), 2);
  EXPECT_EQ(d->RowBytes, 4);
  // Stored row 0 is the bottom line, which the file gave second.
  EXPECT_EQ(getpixel(d.dib, 0, 0), 0xAu);
  EXPECT_EQ(getpixel(d.dib, 4, 0), 0xEu);
  EXPECT_EQ(getpixel(d.dib, 4, 1), 0x5u);
  EXPECT_EQ(d.tableColor(15), 0xF0F0F0u);
}

TEST(BmpReader, RunLengthEightBitsWithDeltaAndEndOfPicture) {
  TempDir dir;
  std::vector<uint32_t> table(256);
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint32_t>(i);  // blue = index
  const std::vector<uint8_t> rle = {3, 7,                             // three pixels of 7
                                    0, 3, 1, 2,
                                    3, 0,        // absolute run of 3, padded to an even length
                                    0, 0,        // end of line
                                    0, 2, 2, 0,  // delta: two to the right
                                    1, 9,        // one pixel of 9 at x = 2
                                    0, 1};       // end of picture
  const auto path = dir.write("c.bmp", makeBmp(6, 3, 8, 1, table, rle));
  OPEN(d, path);
  EXPECT_EQ(d.bits(), 8);
  const std::vector<uint8_t> row0(d.row(0), d.row(0) + 6);
  EXPECT_EQ(row0, (std::vector<uint8_t>{7, 7, 7, 1, 2, 3}));
  const std::vector<uint8_t> row1(d.row(1), d.row(1) + 6);
  EXPECT_EQ(row1, (std::vector<uint8_t>{0, 0, 9, 0, 0, 0}));
  EXPECT_EQ(d.tableColor(9), 0x090000u);
}

TEST(BmpReader, RunLengthRunsNeverLeaveThePicture) {
  TempDir dir;
  std::vector<uint32_t> table(256);
  // A run of 200 in a 4-wide picture, a delta far outside, and an unterminated stream.
  const std::vector<uint8_t> rle = {200, 5, 0, 2, 255, 255, 4, 6, 0, 0, 3, 8};
  const auto path = dir.write("d.bmp", makeBmp(4, 2, 8, 1, table, rle));
  OPEN(d, path);
  const std::vector<uint8_t> row0(d.row(0), d.row(0) + 4);
  EXPECT_EQ(row0, (std::vector<uint8_t>{5, 5, 5, 5}));
}

TEST(BmpReader, TrueColourDepthsArriveAsTwentyFourBits) {
  TempDir dir;
  // 24 bits: one blue-green-red pixel per 3 bytes, rows padded.
  OPEN(rgb, dir.write("e.bmp", makeBmp(1, 1, 24, 0, {}, {0x30, 0x20, 0x10, 0})));
  EXPECT_EQ(rgb.bits(), 24);
  EXPECT_EQ(getpixel(rgb.dib, 0, 0), 0x302010u);

  // 16 bits, 5-5-5: pure red and pure green.
  OPEN(w, dir.write("f.bmp", makeBmp(2, 1, 16, 0, {}, {0x00, 0x7C, 0xE0, 0x03})));
  EXPECT_EQ(w.bits(), 24);
  EXPECT_EQ(w.color(0, 0), 0x0000FFu);
  EXPECT_EQ(w.color(1, 0), 0x00FF00u);

  // 32 bits without bit fields: the fourth byte is padding, not transparency.
  OPEN(x, dir.write("g.bmp", makeBmp(1, 1, 32, 0, {}, {0x10, 0x20, 0x30, 0x00})));
  EXPECT_EQ(x.bits(), 24);
  EXPECT_EQ(x.color(0, 0), 0x102030u);
}

TEST(BmpReader, AlphaBitFieldsAreCompositedOverWhite) {
  TempDir dir;
  // BI_ALPHABITFIELDS in a 40-byte header: four masks follow it. Pixels: opaque black,
  // fully transparent black, half-transparent red.
  auto file = makeBmp(3, 1, 32, 6, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                      {0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0x80});
  OPEN(d, dir.write("h.bmp", file));
  EXPECT_EQ(d.color(0, 0), 0x000000u);
  EXPECT_EQ(d.color(1, 0), 0xFFFFFFu);
  EXPECT_EQ(d.color(2, 0), 0x7F7FFFu);
}

TEST(BmpReader, DamagedFilesFailWithATextAndNoPicture) {
  TempDir dir;
  const auto good = makeBmp(4, 4, 24, 0, {}, std::vector<uint8_t>(48, 0x55));
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated", {good.begin(), good.end() - 10}});
  cases.push_back({"header-only", {good.begin(), good.begin() + 20}});
  auto huge = good;
  huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x00;  // 16 million wide
  cases.push_back({"huge", huge});
  auto depth = good;
  depth[28] = 7;
  cases.push_back({"depth", depth});
  cases.push_back({"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}});
  for (const Case& c : cases) {
    OwnedDib d;
    OpenDib(&d.dib, dir.write(c.name, c.bytes).c_str(), 0, nullptr);
    EXPECT_EQ(d->Pixels, nullptr) << c.name;
    EXPECT_EQ(d->Storage, 0u) << c.name;
    EXPECT_GT(d.error().size(), 5u) << c.name;
  }
  OwnedDib missing;
  OpenDib(&missing.dib, dir.file("absent.bmp").c_str(), 0, nullptr);
  EXPECT_EQ(missing->Pixels, nullptr);
  EXPECT_NE(missing.error().find("cannot be opened"), std::string::npos) << missing.error();
}

struct ProgressLog : PicoWindow {
  std::vector<intptr_t> percents;
  ProgressLog() {
    send = [](PicoWindow* w, uint32_t message, intptr_t wparam, intptr_t) {
      EXPECT_EQ(message, PICODEC_WM_USER);
      static_cast<ProgressLog*>(w)->percents.push_back(wparam);
    };
  }
};

TEST(BmpReader, ReportsRisingProgressFromZeroToHundred) {
  TempDir dir;
  const int height = 500;
  const auto path =
      dir.write("p.bmp", makeBmp(3, height, 24, 0, {}, std::vector<uint8_t>(12 * height, 1)));
  ProgressLog window;
  OwnedDib d;
  OpenDib(&d.dib, path.c_str(), 0, &window);
  ASSERT_NE(d->Pixels, nullptr);
  ASSERT_GE(window.percents.size(), 3u);
  EXPECT_LE(window.percents.size(), 40u);
  EXPECT_EQ(window.percents.front(), 0);
  EXPECT_EQ(window.percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(window.percents.begin(), window.percents.end()));
}

}  // namespace
