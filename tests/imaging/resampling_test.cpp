#include "resampling.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "picture_fixtures.h"

namespace glim {
namespace {

using testing::bgrAt;
using testing::fillRandom;
using testing::greyTable;
using testing::OwnedDib;

// A 24-bit picture whose pixel (x, y) holds blue = x, green = y, red = 7: every sample shows
// where it came from.
OwnedDib coordinatePicture(int32_t width, int32_t height) {
  OwnedDib dib(width, height, 24);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = dib.row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = 7;
    }
  }
  return dib;
}

TEST(Resize, SamplesWithoutHalfPixelOffset) {
  // Width 10 to 3: step 3413, columns 0, 3, 6; the same rule down the rows.
  OwnedDib source = coordinatePicture(10, 10);
  OwnedDib result(Resize(*source, 3, 3, false));
  ASSERT_NE(result->Pixels, nullptr);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 3; ++x) {
      const auto p = bgrAt(*result, x, y);
      EXPECT_EQ(p[0], 3 * x) << x << "," << y;
      EXPECT_EQ(p[1], 3 * y) << x << "," << y;
      EXPECT_EQ(p[2], 7);
    }
  }
  // Enlarging 3 to 7 (step 438): columns 0, 0, 0, 1, 1, 2, 2.
  OwnedDib small = coordinatePicture(3, 1);
  OwnedDib wide(Resize(*small, 7, 1, false));
  const int expected[] = {0, 0, 0, 1, 1, 2, 2};
  for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(bgrAt(*wide, x, 0)[0], expected[x]) << x;

  // Width 4 has rows without padding: the last pixel of the last row ends the pixel memory.
  OwnedDib tight = coordinatePicture(4, 2);
  OwnedDib doubled(Resize(*tight, 8, 4, false));
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      const auto p = bgrAt(*doubled, x, y);
      ASSERT_EQ(p[0], x / 2);
      ASSERT_EQ(p[1], y / 2);
      ASSERT_EQ(p[2], 7);
    }
  }
}

TEST(Resize, EqualSizeCopiesEveryDepthExactly) {
  for (const int32_t bits : {1, 4, 8, 24}) {
    for (const bool smooth : {false, true}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, smooth " << smooth);
      const auto table = greyTable();
      OwnedDib source(13, 7, bits, &table, bits <= 8 ? (1 << bits) : 0);
      fillRandom(*source, 11 + bits);
      OwnedDib result(Resize(*source, 13, 7, smooth));
      ASSERT_NE(result->Pixels, nullptr);
      EXPECT_EQ(result->Header->biBitCount, bits);
      for (int32_t y = 0; y < 7; ++y) {
        for (int32_t x = 0; x < 13; ++x) {
          ASSERT_EQ(getpixel(*result, x, y), getpixel(*source, x, y)) << x << "," << y;
        }
      }
    }
  }
}

TEST(Resize, BilinearClampsAtLastColumnAndRow) {
  // 2 x 2 to 4 x 4: step 512. Blue runs 0, 200 across, green 0, 100 down.
  OwnedDib source(2, 2, 24);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 2; ++x) {
      uint8_t* p = source.row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(200 * x);
      p[1] = static_cast<uint8_t>(100 * y);
      p[2] = 50;
    }
  }
  OwnedDib result(Resize(*source, 4, 4, true));
  ASSERT_NE(result->Pixels, nullptr);
  // Column 3 (position 1.5) and row 3 take their right / lower neighbour from the last one.
  const int blue[] = {0, 100, 200, 200};
  const int green[] = {0, 50, 100, 100};
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      const auto p = bgrAt(*result, x, y);
      EXPECT_EQ(p[0], blue[x]) << x << "," << y;
      EXPECT_EQ(p[1], green[y]) << x << "," << y;
      EXPECT_EQ(p[2], 50) << "a uniform channel keeps its value";
    }
  }
}

TEST(Resize, BilinearTruncatesEachStage) {
  // 2 x 1 to 3 x 1: step 682, column 1 at fraction 682: (10 * 342 + 11 * 682) >> 10 = 10.
  OwnedDib source(2, 1, 24);
  source.row(0)[0] = 10;
  source.row(0)[3] = 11;
  OwnedDib result(Resize(*source, 3, 1, true));
  EXPECT_EQ(bgrAt(*result, 1, 0)[0], 10);
  EXPECT_EQ(bgrAt(*result, 2, 0)[0], 11) << "column 2 sits on the last source column";
}

TEST(Resize, SmoothIsIgnoredWhenEitherDirectionShrinks) {
  // Wider but lower: nearest neighbour, so every pixel is one of the source's values.
  OwnedDib source(2, 4, 24);
  for (int32_t y = 0; y < 4; ++y) {
    source.row(y)[0] = 0;
    source.row(y)[3] = 200;
  }
  OwnedDib result(Resize(*source, 4, 2, true));
  const int blue[] = {0, 0, 200, 200};
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(bgrAt(*result, x, 0)[0], blue[x]) << x;
}

TEST(Resize, FourBitHalvesFollowColumnParity) {
  // Source indices 1, 2, 3, 4 (bytes 0x12 0x34).
  OwnedDib source(4, 1, 4);
  source.row(0)[0] = 0x12;
  source.row(0)[1] = 0x34;
  OwnedDib doubled(Resize(*source, 8, 1, false));
  EXPECT_EQ(doubled.row(0)[0], 0x11);
  EXPECT_EQ(doubled.row(0)[1], 0x22);
  EXPECT_EQ(doubled.row(0)[2], 0x33);
  EXPECT_EQ(doubled.row(0)[3], 0x44);
  // 4 to 2 (step 2048): source columns 0 and 2, both high halves.
  OwnedDib halved(Resize(*source, 2, 1, false));
  EXPECT_EQ(halved.row(0)[0], 0x13);
  // 4 to 3 (step 1365): columns 0, 1, 2; odd target 1 lands in the low half.
  OwnedDib three(Resize(*source, 3, 1, false));
  EXPECT_EQ(three.row(0)[0], 0x12);
  EXPECT_EQ(three.row(0)[1], 0x30);
}

TEST(Resize, EightBitKeepsItsTableAndTwentyFourBitGetsNone) {
  auto table = testing::tableOf({0x102030, 0xff0000, 0x00ff00});
  OwnedDib source(5, 5, 8, &table, 256);
  fillRandom(*source, 3, 3);
  OwnedDib result(Resize(*source, 3, 2, false));
  ASSERT_NE(result->Pixels, nullptr);
  const auto* resultTable = reinterpret_cast<const RGBQUAD*>(result->Header + 1);
  const auto* sourceTable = reinterpret_cast<const RGBQUAD*>(source->Header + 1);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(std::memcmp(&resultTable[i], &sourceTable[i], 4), 0) << i;
  }
  EXPECT_EQ(result->PaletteEntries[0], 0x10);
  EXPECT_EQ(result->PaletteEntries[4], 0xff);

  // A 24-bit source whose header happens to carry colours: none are passed on.
  testing::HeaderWithTable own = testing::tableOf({0xabcdef, 0x123456});
  std::vector<uint8_t> pixels(12 * 2, 9);
  own.header.biWidth = 4;
  own.header.biHeight = 2;
  own.header.biBitCount = 24;
  own.header.biPlanes = 1;
  DibImage handMade{};
  handMade.Header = &own.header;
  handMade.Pixels = pixels.data();
  handMade.RowBytes = 12;
  OwnedDib scaled(Resize(handMade, 2, 2, false));
  ASSERT_NE(scaled->Pixels, nullptr);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(scaled->PaletteEntries[i], 0) << i;
  EXPECT_EQ(scaled.row(1)[0], 9);
}

TEST(Resize, SixteenAndThirtyTwoBitSourcesLeaveTheNewPicture) {
  for (const int32_t bits : {16, 32}) {
    OwnedDib source(6, 6, bits);
    fillRandom(*source, 5);
    OwnedDib result(Resize(*source, 4, 3, false));
    ASSERT_NE(result->Pixels, nullptr);
    EXPECT_EQ(result.width(), 4);
    EXPECT_EQ(result.height(), 3);
    EXPECT_EQ(result->Header->biBitCount, bits);
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t i = 0; i < result->RowBytes; ++i) ASSERT_EQ(result.row(y)[i], 0);
    }
  }
}

TEST(Resize, OneBitGoesThroughPixelValues) {
  OwnedDib source(3, 2, 1);
  // Row 0: 1 0 1, row 1: 0 1 0.
  for (int32_t x = 0; x < 3; ++x) {
    setpixel(*source, x, 0, x % 2 == 0 ? 1 : 0);
    setpixel(*source, x, 1, x % 2 == 1 ? 1 : 0);
  }
  OwnedDib result(Resize(*source, 6, 4, false));
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      EXPECT_EQ(getpixel(*result, x, y), getpixel(*source, x / 2, y / 2)) << x << "," << y;
    }
  }
}

TEST(Resize, SizesBelowOneAreTakenAsOne) {
  OwnedDib source = coordinatePicture(8, 8);
  for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, -1}}) {
    OwnedDib result(Resize(*source, w, h, true));
    ASSERT_NE(result->Pixels, nullptr) << w << " x " << h;
    EXPECT_EQ(result.width(), std::max(w, 1));
    EXPECT_EQ(result.height(), std::max(h, 1));
    EXPECT_EQ(bgrAt(*result, 0, 0)[0], 0);
    EXPECT_EQ(bgrAt(*result, 0, 0)[2], 7);
  }
}

TEST(Resize, NoPictureGivesNoPixels) {
  DibImage empty{};
  const DibImage result = Resize(empty, 4, 4, false);
  EXPECT_EQ(result.Pixels, nullptr);
  EXPECT_EQ(result.Storage, 0u);
  // A size the library refuses to make: the result has no pixel memory and nothing is copied.
  OwnedDib source = coordinatePicture(4, 4);
  OwnedDib huge(Resize(*source, 1 << 30, 1 << 30, false));
  EXPECT_EQ(huge->Pixels, nullptr);
}

// Area averaging: every target pixel is the rounded mean of exactly its box of source pixels,
// for several sizes made in one sweep, with 16-bit sums and with 32-bit ones (300 rows a box).
TEST(ResizeAveraged, EachPixelIsTheRoundedMeanOfItsBox) {
  for (const auto& [width, height, sizes] :
       {std::tuple{37, 23, std::vector<PictureSize>{{5, 3}, {10, 7}, {36, 22}}},
        std::tuple{3, 600, std::vector<PictureSize>{{1, 2}}},
        // The largest 16-bit boxes of 2 or 3 and 3 or 4 columns: 256 rows, up to 1024 values.
        std::tuple{200, 1024, std::vector<PictureSize>{{90, 4}, {60, 4}}}}) {
    OwnedDib source(width, height, 24);
    fillRandom(*source, 5);
    const std::vector<DibImage> made = ResizeAveraged(*source, sizes);
    for (size_t i = 0; i < sizes.size(); ++i) {
      OwnedDib result(made[i]);
      const auto [w, h] = sizes[i];
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          for (int c = 0; c < 3; ++c) {
            uint64_t sum = 0, count = 0;
            for (int32_t sy = y * height / h; sy < (y + 1) * height / h; ++sy) {
              for (int32_t sx = x * width / w; sx < (x + 1) * width / w; ++sx, ++count) {
                sum += bgrAt(*source, sx, sy)[c];
              }
            }
            ASSERT_EQ(bgrAt(*result, x, y)[c], (sum + count / 2) / count)
                << w << " " << x << "," << y;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace glim
