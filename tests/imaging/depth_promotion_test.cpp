#include "depth_promotion.h"

#include <gtest/gtest.h>

#include "picture_fixtures.h"

namespace glim {
namespace {

using testing::bgrAt;
using testing::OwnedDib;

TEST(DepthUpTo24, TwentyFourBitPictureIsUntouched) {
  OwnedDib picture(5, 3, 24);
  picture.row(1)[4] = 77;
  const DibImage before = *picture;
  DepthUpTo24(*picture);
  EXPECT_EQ(std::memcmp(&before, &*picture, sizeof(DibImage)), 0);
  EXPECT_EQ(picture.row(1)[4], 77);
}

TEST(DepthUpTo24, OneBitIgnoresTheColourTable) {
  // Dark blue and yellow: index 0 must still become black and index 1 white.
  auto table = testing::tableOf({0x000080, 0xffff00});
  OwnedDib picture(10, 3, 1, &table, 2);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 10; ++x) setpixel(*picture, x, y, (x + y) % 3 == 0 ? 1 : 0);
  }
  DepthUpTo24(*picture);
  ASSERT_EQ(picture->Header->biBitCount, 24);
  ASSERT_EQ(picture.width(), 10);
  ASSERT_EQ(picture.height(), 3);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 10; ++x) {
      const uint8_t expected = (x + y) % 3 == 0 ? 255 : 0;
      const auto p = bgrAt(*picture, x, y);
      EXPECT_EQ(p[0], expected);
      EXPECT_EQ(p[1], expected);
      EXPECT_EQ(p[2], expected) << x << "," << y;
    }
  }
}

TEST(DepthUpTo24, FourBitOddWidthTakesLastPixelFromHighHalf) {
  std::vector<uint32_t> colors;
  for (uint32_t i = 0; i < 16; ++i) colors.push_back((i * 16) << 16 | (i * 8) << 8 | i);
  auto table = testing::tableOf(colors);
  OwnedDib picture(5, 2, 4, &table, 16);
  // Row 0: 1 2 3 4 5 (last byte 0x5?), row 1: 15 14 13 12 11; the unused low half is 9.
  const uint8_t rows[2][3] = {{0x12, 0x34, 0x59}, {0xfe, 0xdc, 0xb9}};
  for (int32_t y = 0; y < 2; ++y) std::memcpy(picture.row(y), rows[y], 3);
  DepthUpTo24(*picture);
  ASSERT_EQ(picture->Header->biBitCount, 24);
  const int indices[2][5] = {{1, 2, 3, 4, 5}, {15, 14, 13, 12, 11}};
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      const int i = indices[y][x];
      const auto p = bgrAt(*picture, x, y);
      EXPECT_EQ(p[0], i) << x << "," << y;
      EXPECT_EQ(p[1], i * 8);
      EXPECT_EQ(p[2], i * 16);
    }
  }
}

TEST(DepthUpTo24, EightBitGreyGivesEqualBytes) {
  auto table = testing::greyTable();
  OwnedDib picture(7, 5, 8, &table, 256);
  testing::fillRandom(*picture, 42);
  std::vector<uint8_t> indices;
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 7; ++x) indices.push_back(picture.row(y)[x]);
  }
  DepthUpTo24(*picture);
  ASSERT_EQ(picture->Header->biBitCount, 24);
  size_t k = 0;
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 7; ++x, ++k) {
      const auto p = bgrAt(*picture, x, y);
      EXPECT_EQ(p[0], indices[k]);
      EXPECT_EQ(p[1], indices[k]);
      EXPECT_EQ(p[2], indices[k]);
    }
  }
}

TEST(DepthUpTo24, ColoursComeFromPaletteEntriesNotTheHeaderTable) {
  auto table = testing::tableOf({0x000000, 0x000000});
  OwnedDib picture(3, 1, 8, &table, 256);
  picture.row(0)[0] = 1;
  picture.row(0)[1] = 0;
  picture.row(0)[2] = 1;
  // Entry 1 as red, green, blue in the record's own copy of the table.
  picture->PaletteEntries[4] = 0x11;
  picture->PaletteEntries[5] = 0x22;
  picture->PaletteEntries[6] = 0x33;
  DepthUpTo24(*picture);
  const auto p = bgrAt(*picture, 2, 0);
  EXPECT_EQ(p[0], 0x33);
  EXPECT_EQ(p[1], 0x22);
  EXPECT_EQ(p[2], 0x11);
  EXPECT_EQ(bgrAt(*picture, 1, 0)[0], 0);
}

TEST(DepthUpTo24, KeepsOrientationAndRowPadding) {
  // Width 3 at 24 bits has one byte of padding per row; the rows stay in memory order.
  auto table = testing::greyTable();
  OwnedDib picture(3, 4, 8, &table, 256);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 3; ++x) picture.row(y)[x] = static_cast<uint8_t>(10 * y + x);
  }
  DepthUpTo24(*picture);
  ASSERT_EQ(picture->RowBytes, 12);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(bgrAt(*picture, x, y)[1], 10 * y + x);
    EXPECT_EQ(picture.row(y)[9], 0) << "padding stays zero";
  }
}

TEST(DepthUpTo24, OtherDepthsAndEmptyRecordsAreLeftAlone) {
  for (const int32_t bits : {16, 32}) {
    OwnedDib picture(4, 4, bits);
    const DibImage before = *picture;
    DepthUpTo24(*picture);
    EXPECT_EQ(std::memcmp(&before, &*picture, sizeof(DibImage)), 0) << bits;
  }
  DibImage failed{};
  std::strcpy(reinterpret_cast<char*>(failed.PaletteEntries), "not a picture file");
  DepthUpTo24(failed);
  EXPECT_EQ(failed.Pixels, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(failed.PaletteEntries), "not a picture file");
}

}  // namespace
}  // namespace glim
