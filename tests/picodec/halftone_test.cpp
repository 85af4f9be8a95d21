// DIBHalftoneDIB and DIBHalftoneDIBXY: 8-bit palette copies for palette displays.
#include <gtest/gtest.h>

#include <array>

#include "picodec.h"
#include "picodec_test_support.h"

using picotest::OwnedDib;

namespace {

OwnedDib filled(int width, int height, uint32_t color) {
  OwnedDib d;
  newdib(&d.dib, width, height, 24, nullptr, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) setpixel(d.dib, x, y, color);
  return d;
}

// The average colour a halftoned area shows, per channel.
std::array<double, 3> averageColor(const OwnedDib& d) {
  std::array<double, 3> sum{};
  for (int y = 0; y < d.height(); ++y)
    for (int x = 0; x < d.width(); ++x) {
      const uint32_t c = d.color(x, y);
      for (int k = 0; k < 3; ++k) sum[k] += (c >> (8 * k)) & 255;
    }
  for (auto& s : sum) s /= double(d.width()) * d.height();
  return sum;
}

TEST(Halftone, MakesAnEightBitPaletteCopyThatAveragesToTheSourceColour) {
  for (uint32_t color : {0x000000u, 0xFFFFFFu, 0x336699u, 0x8040C0u, 0x7F7F7Fu, 0x10E0A0u}) {
    SCOPED_TRACE(color);
    DibImage source = {};
    newdib(&source, 32, 32, 24, nullptr, 0);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) setpixel(source, x, y, color);
    OwnedDib h;
    DIBHalftoneDIB(&h.dib, source);
    deldib(source);
    ASSERT_NE(h->Pixels, nullptr) << h.error();
    EXPECT_EQ(h.bits(), 8);
    EXPECT_EQ(h.width(), 32);
    EXPECT_EQ(h.height(), 32);
    EXPECT_EQ(h->HasPalette, 1);
    ASSERT_NE(h->Palette, nullptr);
    EXPECT_EQ(h->Palette->count, 256u);
    // The palette handle, the header's table and PaletteEntries hold the same colours.
    for (int i = 0; i < 256; ++i) {
      const PALETTEENTRY& e = h->Palette->entries[i];
      ASSERT_EQ(uint32_t(e.peRed | e.peGreen << 8 | e.peBlue << 16), h.tableColor(i));
      ASSERT_EQ(h.paletteEntryColor(i), h.tableColor(i));
    }
    const auto avg = averageColor(h);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(avg[k], double((color >> (8 * k)) & 255), 4.0) << k;
  }
}

TEST(Halftone, ScalesToTheRequestedSizeAveragingAreas) {
  // Left half black, right half white: reduced to 10 x 5, the left columns stay dark.
  OwnedDib source = filled(200, 100, 0x000000);
  for (int y = 0; y < 100; ++y)
    for (int x = 100; x < 200; ++x) setpixel(source.dib, x, y, 0xFFFFFF);
  OwnedDib h;
  DIBHalftoneDIBXY(&h.dib, source.dib, 10, 5);
  ASSERT_NE(h->Pixels, nullptr);
  EXPECT_EQ(h.width(), 10);
  EXPECT_EQ(h.height(), 5);
  EXPECT_EQ(h.color(0, 0), 0x000000u);
  EXPECT_EQ(h.color(9, 4), 0xFFFFFFu);

  OwnedDib larger;
  DIBHalftoneDIBXY(&larger.dib, source.dib, 400, 3);
  ASSERT_NE(larger->Pixels, nullptr);
  EXPECT_EQ(larger.width(), 400);
  EXPECT_EQ(larger.color(399, 2), 0xFFFFFFu);
}

TEST(Halftone, RefusesImpossibleSizesWithoutStorage) {
  OwnedDib source = filled(4, 4, 0x123456);
  for (auto [w, h] : {std::pair{0, 4}, {4, -1}, {100000, 1}}) {
    OwnedDib out;
    DIBHalftoneDIBXY(&out.dib, source.dib, w, h);
    EXPECT_EQ(out->Storage, 0u);
    EXPECT_EQ(out->Pixels, nullptr);
  }
  OwnedDib none;
  DibImage empty{};
  DIBHalftoneDIB(&none.dib, empty);
  EXPECT_EQ(none->Pixels, nullptr);
}

}  // namespace
