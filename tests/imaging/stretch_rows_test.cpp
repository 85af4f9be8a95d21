#include <gtest/gtest.h>

#include "drawing_fixtures.h"
#include "screen_depth.h"
#include "stretch_draw.h"

namespace glim {
namespace {

using testing::OwnedDib;
using testing::pictureColor;
using testing::randomPicture;
using testing::shown;
using Op = DeviceCall::Op;

TEST(StretchRows24, ThreeTimesEnlargedCopiesEachLineOnceAndSendsItThrice) {
  OwnedDib picture = randomPicture(4, 3, 24, 30);
  RecordingDevice device(12, 9);
  EXPECT_EQ(StretchRows24(device, 0, 0, 12, 9, *picture, 0, 0, 4, 3), 3);
  const auto lines = device.callsOf(Op::SetDIBitsToDevice);
  ASSERT_EQ(lines.size(), 9u);
  for (size_t r = 0; r < 9; ++r) {
    EXPECT_EQ(lines[r].args, (std::vector<int64_t>{0, static_cast<int64_t>(r), 12, 1, 0, 0, 0, 1,
                                                   DIB_RGB_COLORS}));
    EXPECT_EQ(lines[r].bits, lines[0].bits) << "one line buffer";
    EXPECT_EQ(lines[r].header.biHeight, 1);
    EXPECT_EQ(lines[r].scanBytes, lines[r / 3 * 3].scanBytes);
  }
  EXPECT_NE(lines[0].scanBytes, lines[3].scanBytes);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 12; ++x) {
      ASSERT_EQ(shown(device.image(), x, y), pictureColor(*picture, x / 3, 2 - y / 3))
          << x << "," << y;
    }
  }
}

TEST(StretchRows24, OnlyTheVisiblePartIsSentWithThePixelsOfAWholeDrawing) {
  OwnedDib picture = randomPicture(7, 5, 24, 34);
  RecordingDevice whole(63, 45);
  StretchRows24(whole, 0, 0, 63, 45, *picture, 0, 0, 7, 5);
  // A window of columns 20..40 and lines 10..17 of a destination far larger than the device.
  RecordingDevice part(63, 45);
  const VisibleRect visible{20, 10, 41, 18};
  StretchRows24(part, 0, 0, 63, 45, *picture, 0, 0, 7, 5, &visible);
  const auto lines = part.callsOf(Op::SetDIBitsToDevice);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].args[0], 20);
  EXPECT_EQ(lines[0].args[1], 10);
  EXPECT_EQ(lines[0].args[2], 21);
  for (int y = 10; y < 18; ++y) {
    for (int x = 20; x < 41; ++x) {
      ASSERT_EQ(shown(part.image(), x, y), shown(whole.image(), x, y)) << x << "," << y;
    }
  }
  // Nothing visible: nothing sent.
  RecordingDevice none(63, 45);
  const VisibleRect outside{100, 100, 200, 200};
  EXPECT_EQ(StretchRows24(none, 0, 0, 63, 45, *picture, 0, 0, 7, 5, &outside), 0);
  EXPECT_TRUE(none.callsOf(Op::SetDIBitsToDevice).empty());
}

TEST(StretchRows24, ThroughStretchDrawDibOnTheScreen) {
  ScreenDepthOverride screen(32);
  OwnedDib picture = randomPicture(4, 3, 24, 31);
  RecordingDevice device(12, 9);
  StretchDrawDib(device, 0, 0, 12, 9, *picture, 0, 0, 4, 3, true, SRCCOPY, true, nullptr);
  EXPECT_EQ(device.callsOf(Op::SetDIBitsToDevice).size(), 9u);
  EXPECT_EQ(shown(device.image(), 11, 8), pictureColor(*picture, 3, 0));
}

TEST(StretchRows24, ReducesByNearestNeighbourAndSkipsRepeatedCopies) {
  OwnedDib picture = randomPicture(10, 9, 24, 32);
  RecordingDevice device(3, 3);
  // 10 columns to 3: source columns 0, 3, 6; 9 lines to 3: top lines 0, 3, 6.
  EXPECT_EQ(StretchRows24(device, 0, 0, 3, 3, *picture, 0, 0, 10, 9), 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(shown(device.image(), x, y), pictureColor(*picture, 3 * x, 8 - 3 * y));
    }
  }
}

TEST(StretchRows24, LinesAndColumnsOutsideThePictureAreBlack) {
  OwnedDib picture = randomPicture(4, 4, 24, 33);
  RecordingDevice device(4, 4);
  // Two columns left of the picture and two lines above it.
  StretchRows24(device, 0, 0, 4, 4, *picture, -2, -2, 4, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const QRgb expected =
          (x < 2 || y < 2) ? qRgb(0, 0, 0) : pictureColor(*picture, x - 2, 3 - (y - 2));
      EXPECT_EQ(shown(device.image(), x, y), expected) << x << "," << y;
    }
  }
  // Wholly beside the picture: every line is sent, all black.
  RecordingDevice beside(4, 2);
  EXPECT_EQ(StretchRows24(beside, 0, 0, 4, 2, *picture, 10, 0, 4, 2), 2);
  EXPECT_EQ(beside.callsOf(Op::SetDIBitsToDevice).size(), 2u);
  EXPECT_EQ(shown(beside.image(), 3, 1), qRgb(0, 0, 0));
  // Below the picture (source top past its last line): all black as well.
  RecordingDevice below(4, 2);
  EXPECT_EQ(StretchRows24(below, 0, 0, 4, 2, *picture, 0, 6, 4, 2), 0);
  EXPECT_EQ(shown(below.image(), 0, 0), qRgb(0, 0, 0));
}

TEST(StretchRows24, EmptyDestinationDrawsNothing) {
  OwnedDib picture = randomPicture(4, 4, 24, 34);
  RecordingDevice device(4, 4);
  EXPECT_EQ(StretchRows24(device, 0, 0, 0, 4, *picture, 0, 0, 4, 4), 0);
  EXPECT_EQ(StretchRows24(device, 0, 0, 4, -1, *picture, 0, 0, 4, 4), 0);
  EXPECT_TRUE(device.calls().empty());
}

TEST(StretchRows8, LinesCarryThePicturesColourTable) {
  OwnedDib picture = randomPicture(5, 4, 8, 35);
  RecordingDevice device(10, 8);
  EXPECT_EQ(StretchRows8(device, 0, 0, 10, 8, *picture, 0, 0, 5, 4), 4);
  const auto lines = device.callsOf(Op::SetDIBitsToDevice);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].header.biBitCount, 8);
  // The line's indices are the picture's (top line first), and show the picture's colours.
  for (int x = 0; x < 10; ++x) EXPECT_EQ(lines[0].scanBytes[x], picture.row(3)[x / 2]);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 10; ++x) {
      ASSERT_EQ(shown(device.image(), x, y), pictureColor(*picture, x / 2, 3 - y / 2));
    }
  }
}

}  // namespace
}  // namespace glim
