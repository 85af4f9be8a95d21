// newdib, deldib, getpixel and setpixel through the library's C interface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "picodec.h"
#include "picodec_test_support.h"

using picotest::OwnedDib;

namespace {

struct DepthCase {
  int bits;
  int width;
  int rowBytes;
  int tableEntries;
};

class NewDibDepth : public ::testing::TestWithParam<DepthCase> {};

TEST_P(NewDibDepth, MakesZeroedPictureWithStandardRows) {
  const DepthCase c = GetParam();
  OwnedDib d;
  newdib(&d.dib, c.width, 3, c.bits, nullptr, 0);
  ASSERT_NE(d->Storage, 0u);
  ASSERT_NE(d->Pixels, nullptr);
  EXPECT_EQ(d->RowBytes, c.rowBytes);
  EXPECT_EQ(d->Header->biSize, 40u);
  EXPECT_EQ(d->Header->biWidth, c.width);
  EXPECT_EQ(d->Header->biHeight, 3);
  EXPECT_EQ(d->Header->biBitCount, c.bits);
  EXPECT_EQ(d->Header->biSizeImage, static_cast<uint32_t>(c.rowBytes * 3));
  for (int i = 0; i < c.rowBytes * 3; ++i) ASSERT_EQ(d->Pixels[i], 0) << "byte " << i;
  // Palette pictures are drawn with their own palette; the others carry the halftone one.
  ASSERT_NE(d->Palette, nullptr);
  EXPECT_EQ(d->HasPalette, c.tableEntries > 0 ? 1 : 0);
  EXPECT_EQ(d->Palette->count, c.tableEntries > 0 ? static_cast<uint32_t>(c.tableEntries) : 256u);
}

INSTANTIATE_TEST_SUITE_P(AllDepths, NewDibDepth,
                         ::testing::Values(DepthCase{1, 33, 8, 2}, DepthCase{4, 5, 4, 16},
                                           DepthCase{4, 9, 8, 16}, DepthCase{8, 3, 4, 256},
                                           DepthCase{16, 3, 8, 0}, DepthCase{24, 1, 4, 0},
                                           DepthCase{24, 5, 16, 0}, DepthCase{32, 3, 12, 0}));

TEST(NewDib, CopiesTheGivenColoursIntoHeaderTableAndPaletteEntries) {
  OwnedDib source;
  newdib(&source.dib, 2, 2, 8, nullptr, 0);
  ASSERT_NE(source->Storage, 0u);
  auto* table = reinterpret_cast<RGBQUAD*>(source->Header + 1);
  for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};

  OwnedDib copy;
  newdib(&copy.dib, 4, 4, 8, source->Header, 100);
  ASSERT_NE(copy->Storage, 0u);
  for (int i = 0; i < 100; ++i) {
    const uint32_t expected = uint32_t(i / 2) | uint32_t(255 - i) << 8 | uint32_t(i) << 16;
    EXPECT_EQ(copy.tableColor(i), expected) << i;
    EXPECT_EQ(copy.paletteEntryColor(i), expected) << i;
    const PALETTEENTRY& e = copy->Palette->entries[i];
    EXPECT_EQ(e.peRed | e.peGreen << 8 | e.peBlue << 16, static_cast<int>(expected)) << i;
  }
  // Entries beyond the requested count are not copied.
  EXPECT_EQ(copy.tableColor(100), 0u);
  EXPECT_EQ(copy.paletteEntryColor(200), 0u);
}

TEST(NewDib, RefusesImpossibleRequestsWithoutStorage) {
  const struct {
    int width, height, bits;
  } cases[] = {{0, 5, 24}, {5, -1, 24}, {5, 5, 7}, {5, 5, 0}, {70000, 2, 8}, {20000, 20000, 24}};
  for (const auto& c : cases) {
    OwnedDib d;
    std::memset(&d.dib, 0xAB, sizeof d.dib);  // whatever the caller's record held before
    newdib(&d.dib, c.width, c.height, c.bits, nullptr, 0);
    EXPECT_EQ(d->Storage, 0u) << c.width << "x" << c.height << "@" << c.bits;
    EXPECT_EQ(d->Pixels, nullptr);
    EXPECT_GT(d.error().size(), 5u);
  }
}

TEST(DelDib, FreesThroughACopyOfTheRecordAndIgnoresEmptyRecords) {
  DibImage d{};
  newdib(&d, 10, 10, 24, nullptr, 0);
  const DibImage copy = d;  // a whole-record copy shares the storage
  deldib(copy);             // freeing through the copy releases it (ASan reports a leak otherwise)
  DibImage empty{};
  deldib(empty);
  DibImage failed{};
  newdib(&failed, 0, 0, 24, nullptr, 0);
  deldib(failed);
}

// The value each depth stores, and the bytes it leaves in the row.
TEST(PixelAccess, AgreesWithTheDocumentedLayoutForEveryDepth) {
  struct Case {
    int bits;
    int x;
    uint32_t value;
    std::vector<uint8_t> bytes;  // expected row bytes from offset `at`
    int at;
  };
  const Case cases[] = {
      {1, 0, 1, {0x80}, 0},
      {1, 9, 1, {0x40}, 1},
      {4, 2, 0xA, {0xA0}, 1},
      {4, 3, 0x5, {0x05}, 1},
      {8, 2, 200, {200}, 2},
      {16, 1, 0x7C1F, {0x1F, 0x7C}, 2},
      {24, 1, 0x112233, {0x11, 0x22, 0x33}, 3},  // red (0x33) in the low byte, stored last
      {32, 1, 0x44112233, {0x11, 0x22, 0x33, 0x44}, 4},
  };
  for (const Case& c : cases) {
    OwnedDib d;
    newdib(&d.dib, 11, 2, c.bits, nullptr, 0);
    ASSERT_NE(d->Pixels, nullptr);
    setpixel(d.dib, c.x, 1, c.value);
    EXPECT_EQ(getpixel(d.dib, c.x, 1), c.value) << c.bits;
    const uint8_t* row = d->Pixels + d->RowBytes;  // row 1 as stored
    for (size_t i = 0; i < c.bytes.size(); ++i) {
      EXPECT_EQ(row[c.at + i], c.bytes[i]) << c.bits << " bits, byte " << c.at + i;
    }
    // Row 0 and the rest of row 1 stay untouched.
    int nonZero = 0;
    for (int i = 0; i < d->RowBytes * 2; ++i) nonZero += d->Pixels[i] != 0;
    EXPECT_EQ(nonZero, static_cast<int>(std::count_if(c.bytes.begin(), c.bytes.end(),
                                                      [](uint8_t b) { return b != 0; })));
  }
}

TEST(PixelAccess, NeighbouringPixelsKeepTheirValues) {
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    OwnedDib d;
    newdib(&d.dib, 13, 3, bits, nullptr, 0);
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x) setpixel(d.dib, x, y, (x * 7 + y * 3 + 1) * 0x01030507u & mask);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x)
        ASSERT_EQ(getpixel(d.dib, x, y), (x * 7 + y * 3 + 1) * 0x01030507u & mask)
            << bits << " bits at " << x << "," << y;
  }
}

TEST(PixelAccess, IgnoresPixelsOutsideThePicture) {
  OwnedDib d;
  newdib(&d.dib, 4, 4, 8, nullptr, 0);
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 4}, {1 << 30, 1}}) {
    EXPECT_EQ(setpixel(d.dib, x, y, 7), PICODEC_FAILED);
    EXPECT_EQ(getpixel(d.dib, x, y), 0u);
  }
  for (int i = 0; i < d->RowBytes * 4; ++i) EXPECT_EQ(d->Pixels[i], 0);
  DibImage empty{};
  EXPECT_EQ(getpixel(empty, 0, 0), 0u);
}

}  // namespace
