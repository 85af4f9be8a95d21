#include "stretch_draw.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "drawing_fixtures.h"
#include "painter_device.h"
#include "recording_dialogs.h"
#include "screen_depth.h"

namespace glim {
namespace {

using testing::DrawPath;
using testing::OwnedDib;
using testing::pathTaken;
using testing::pictureColor;
using testing::randomPicture;
using testing::shown;
using Op = DeviceCall::Op;

void drawWhole(DeviceContext& device, const DibImage& picture, int32_t destX, int32_t destY,
               int32_t destWidth, int32_t destHeight, bool halftone, bool ownPalette = true,
               HPALETTE palette = nullptr) {
  StretchDrawDib(device, destX, destY, destWidth, destHeight, picture, 0, 0,
                 picture.Header->biWidth, picture.Header->biHeight, halftone, SRCCOPY, ownPalette,
                 palette);
}

TEST(StretchDrawDib, ChoosesThePathByDepthDeviceAndDisplay) {
  for (const int32_t bits : {1, 4, 8, 16, 24, 32}) {
    OwnedDib picture = randomPicture(20, 10, bits, 1);
    for (const bool printer : {false, true}) {
      for (const int32_t screenBits : {8, 32}) {
        for (const bool halftone : {false, true}) {
          SCOPED_TRACE(::testing::Message() << bits << " bits, printer " << printer << ", screen "
                                            << screenBits << ", halftone " << halftone);
          ScreenDepthOverride screen(screenBits);
          RecordingDevice device(
              30, 30, printer ? testing::printerBehaviour() : RecordingDeviceBehaviour{});
          drawWhole(device, *picture, 0, 0, 15, 8, halftone);

          DrawPath expected = DrawPath::General;
          if (bits == 24 && screenBits <= 8 && halftone) {
            expected = DrawPath::Halftone;
          } else if ((bits == 24 || bits == 8) && !printer) {
            expected = DrawPath::Rows;
          }
          EXPECT_EQ(pathTaken(device, *picture), expected);
          EXPECT_EQ(screen.queries(), bits == 24 ? 1 : 0)
              << "the display is asked for 24 bits only";
          ASSERT_FALSE(device.calls().empty());
          EXPECT_EQ(device.calls()[0].op, Op::GetDeviceCaps);
          EXPECT_EQ(device.calls()[0].args[0], TECHNOLOGY);
          EXPECT_EQ(device.stretchMode(), COLORONCOLOR);
          if (expected == DrawPath::Rows) {
            EXPECT_EQ(device.callsOf(Op::SetDIBitsToDevice).size(), 8u) << "one call per line";
          }
        }
      }
    }
  }
}

// The clipped rectangles as the general path hands them to StretchDIBits (dest, then source).
std::vector<int64_t> clippedOnPrinter(const DibImage& picture, int32_t destX, int32_t destY,
                                      int32_t destWidth, int32_t destHeight, int32_t srcX,
                                      int32_t srcY, int32_t srcWidth, int32_t srcHeight) {
  RecordingDevice device(300, 300, testing::printerBehaviour());
  StretchDrawDib(device, destX, destY, destWidth, destHeight, picture, srcX, srcY, srcWidth,
                 srcHeight, false, SRCCOPY, true, nullptr);
  const auto calls = device.callsOf(Op::StretchDIBits);
  if (calls.size() != 1) return {};
  return {calls[0].args.begin(), calls[0].args.begin() + 8};
}

TEST(StretchDrawDib, ClipsTheSourceToThePictureInOrder) {
  OwnedDib picture = randomPicture(100, 50, 24, 2);
  using V = std::vector<int64_t>;
  // Right edge: 10 columns too many, the destination loses as many; its left edge stays.
  EXPECT_EQ(clippedOnPrinter(*picture, 5, 6, 110, 50, 0, 0, 110, 50),
            (V{5, 6, 100, 50, 0, 0, 100, 50}));
  // Negative source y: shortened at the bottom, the destination's y stays.
  EXPECT_EQ(clippedOnPrinter(*picture, 5, 6, 100, 100, 0, -10, 100, 50),
            (V{5, 6, 100, 80, 0, 0, 100, 40}));
  // Over the top by 10: shortened at the top, the destination's y moves down.
  EXPECT_EQ(clippedOnPrinter(*picture, 5, 6, 100, 100, 0, 10, 100, 50),
            (V{5, 26, 100, 80, 0, 10, 100, 40}));
  // Left edge: the destination's right edge stays.
  EXPECT_EQ(clippedOnPrinter(*picture, 5, 6, 100, 50, -20, 0, 100, 50),
            (V{25, 6, 80, 50, 0, 0, 80, 50}));
  // Both edges, the right one first: 84 * 110 / 112 = 82.5 -> 82, then 100 * 82 / 110 -> 75
  // kept at the right, so x is 7 (the left edge first would leave x at 8).
  EXPECT_EQ(clippedOnPrinter(*picture, 0, 6, 84, 50, -10, 0, 112, 50),
            (V{7, 6, 75, 50, 0, 0, 100, 50}));
  // Lengths round halves to the even neighbour: 5 * 1 / 2 = 2.5 -> 2, 7 * 1 / 2 = 3.5 -> 4.
  OwnedDib dot = randomPicture(1, 1, 24, 3);
  EXPECT_EQ(clippedOnPrinter(*dot, 0, 0, 5, 7, 0, 0, 2, 2), (V{0, 3, 2, 4, 0, 0, 1, 1}));
  // Source wholly outside, or empty: nothing is drawn and nothing divides by zero.
  EXPECT_TRUE(clippedOnPrinter(*picture, 0, 0, 50, 50, 120, 0, 10, 10).empty());
  EXPECT_TRUE(clippedOnPrinter(*picture, 0, 0, 50, 50, 0, 0, 0, 10).empty());
  EXPECT_TRUE(clippedOnPrinter(*picture, 0, 0, 50, 50, 0, 60, 10, 10).empty());
}

TEST(StretchDrawDib, ClippedLinePathDrawsOnlyThePicture) {
  // On the screen the clipped destination decides the lines: 110 -> 100 wide, 100 -> 80 high.
  OwnedDib picture = randomPicture(100, 50, 24, 4);
  RecordingDevice device(120, 120);
  StretchDrawDib(device, 0, 0, 110, 100, *picture, 0, -10, 110, 50, true, SRCCOPY, true, nullptr);
  const auto lines = device.callsOf(Op::SetDIBitsToDevice);
  ASSERT_EQ(lines.size(), 80u);
  EXPECT_EQ(lines[0].args[2], 100);
  // What remains of the source is the picture's lines 0 to 39 from the bottom.
  EXPECT_EQ(shown(device.image(), 0, 0), pictureColor(*picture, 0, 39));
  EXPECT_EQ(shown(device.image(), 99, 79), pictureColor(*picture, 99, 0));
  EXPECT_EQ(shown(device.image(), 100, 0), qRgb(255, 255, 255)) << "nothing right of it";
}

TEST(StretchDrawDib, HalftonesAReducedPictureAtTheDrawingScale) {
  ScreenDepthOverride screen(8);
  OwnedDib picture = randomPicture(200, 100, 24, 5);
  RecordingDevice device(200, 100);
  drawWhole(device, *picture, 0, 0, 100, 50, true);
  const auto stretches = device.callsOf(Op::StretchDIBits);
  ASSERT_EQ(stretches.size(), 1u);
  const DeviceCall& call = stretches[0];
  EXPECT_EQ(call.header.biWidth, 100);
  EXPECT_EQ(call.header.biHeight, 50);
  EXPECT_EQ(call.header.biBitCount, 8);
  EXPECT_EQ(call.args,
            (std::vector<int64_t>{0, 0, 100, 50, 0, 0, 100, 50, DIB_RGB_COLORS, SRCCOPY}));
  // The picture's palette is selected around the drawing and the old one put back.
  const auto selections = device.callsOf(Op::SelectPalette);
  ASSERT_EQ(selections.size(), 2u);
  EXPECT_EQ(selections[0].palette, picture->Palette);
  EXPECT_EQ(selections[0].args[0], 0) << "not forced to the background";
  EXPECT_EQ(selections[1].palette, nullptr);
  EXPECT_EQ(device.callsOf(Op::RealizePalette).size(), 1u);
}

TEST(StretchDrawDib, HalftonesAnEnlargedPictureAtItsOwnSize) {
  ScreenDepthOverride screen(8);
  OwnedDib picture = randomPicture(20, 10, 24, 6);
  RecordingDevice device(100, 100);
  drawWhole(device, *picture, 3, 4, 60, 30, true);
  const auto stretches = device.callsOf(Op::StretchDIBits);
  ASSERT_EQ(stretches.size(), 1u);
  EXPECT_EQ(stretches[0].header.biWidth, 20);
  EXPECT_EQ(stretches[0].header.biHeight, 10);
  EXPECT_EQ(stretches[0].args,
            (std::vector<int64_t>{3, 4, 60, 30, 0, 0, 20, 10, DIB_RGB_COLORS, SRCCOPY}));
}

TEST(StretchDrawDib, SelectsThePaletteAsAsked) {
  OwnedDib picture = randomPicture(8, 8, 8, 7);
  ASSERT_EQ(picture->HasPalette, 1);
  ASSERT_NE(picture->Palette, nullptr);
  {  // own palette false and a null handle: nothing is selected
    RecordingDevice device(10, 10);
    drawWhole(device, *picture, 0, 0, 8, 8, true, false, nullptr);
    EXPECT_TRUE(device.callsOf(Op::SelectPalette).empty());
    EXPECT_TRUE(device.callsOf(Op::RealizePalette).empty());
    EXPECT_EQ(pathTaken(device, *picture), DrawPath::Rows);
  }
  {  // the picture's own palette, selected before drawing and replaced after
    RecordingDevice device(10, 10);
    drawWhole(device, *picture, 0, 0, 8, 8, true, true, nullptr);
    const auto& calls = device.calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls[2].op, Op::SelectPalette);
    EXPECT_EQ(calls[2].palette, picture->Palette);
    EXPECT_EQ(calls[3].op, Op::RealizePalette);
    EXPECT_EQ(calls.back().op, Op::SelectPalette);
    EXPECT_EQ(calls.back().palette, nullptr);
    EXPECT_EQ(device.selectedPalette(), nullptr);
  }
  {  // a palette handed in
    PicoLogPalette given{};
    given.count = 3;
    RecordingDevice device(10, 10);
    drawWhole(device, *picture, 0, 0, 8, 8, true, false, &given);
    const auto selections = device.callsOf(Op::SelectPalette);
    ASSERT_EQ(selections.size(), 2u);
    EXPECT_EQ(selections[0].palette, &given);
    EXPECT_EQ(device.callsOf(Op::RealizePalette)[0].result, 3);
  }
  {  // a picture without HasPalette selects nothing outside the halftone path
    OwnedDib truecolor = randomPicture(8, 8, 24, 8);
    ASSERT_NE(truecolor->HasPalette, 1);
    ScreenDepthOverride screen(32);
    RecordingDevice device(10, 10);
    drawWhole(device, *truecolor, 0, 0, 8, 8, true);
    EXPECT_TRUE(device.callsOf(Op::SelectPalette).empty());
  }
}

// The general path's fallbacks, on a printer whose StretchDIBits fails.
RecordingDeviceBehaviour failingPrinter() {
  RecordingDeviceBehaviour behaviour = testing::printerBehaviour();
  behaviour.failStretchDIBits = true;
  return behaviour;
}

TEST(StretchDrawDib, ScalesByHandWhenStretchingFails) {
  OwnedDib picture = randomPicture(3, 2, 24, 9);
  RecordingDevice device(20, 20, failingPrinter());
  drawWhole(device, *picture, 2, 1, 5, 3, false);
  const auto lines = device.callsOf(Op::SetDIBitsToDevice);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].args, (std::vector<int64_t>{2, 1, 5, 3, 0, 0, 0, 3, DIB_RGB_COLORS}));
  EXPECT_TRUE(device.callsOf(Op::CreateCompatibleBitmap).empty());
  // First and last destination pixels sit on the first and last source pixels: columns 0 0 1 1 2,
  // memory rows 0 0 1 (row 0 is the bottom device line).
  const int columns[] = {0, 0, 1, 1, 2};
  const int rows[] = {0, 0, 1};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(shown(device.image(), 2 + x, 1 + 2 - y),
                pictureColor(*picture, columns[x], rows[y]))
          << x << "," << y;
    }
  }
}

TEST(StretchDrawDib, HandScalingHandlesEveryPaletteDepthAndOnePixelDestinations) {
  for (const int32_t bits : {1, 4, 8}) {
    OwnedDib picture = randomPicture(7, 5, bits, 10 + bits);
    RecordingDevice device(20, 20, failingPrinter());
    drawWhole(device, *picture, 0, 0, 13, 9, false);
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < 13; ++x) {
        const int sx = 6 * x / 12, sy = 4 * y / 8;
        ASSERT_EQ(shown(device.image(), x, 8 - y), pictureColor(*picture, sx, sy))
            << bits << " bits " << x << "," << y;
      }
    }
  }
  // One pixel wide or high: every destination pixel takes the first source pixel of its line.
  OwnedDib picture = randomPicture(6, 4, 24, 20);
  RecordingDevice device(20, 20, failingPrinter());
  drawWhole(device, *picture, 0, 0, 1, 4, false);
  drawWhole(device, *picture, 5, 0, 6, 1, false);
  for (int y = 0; y < 4; ++y)
    EXPECT_EQ(shown(device.image(), 0, 3 - y), pictureColor(*picture, 0, y));
  for (int x = 0; x < 6; ++x)
    EXPECT_EQ(shown(device.image(), 5 + x, 0), pictureColor(*picture, x, 0));
}

TEST(StretchDrawDib, GoesThroughADeviceBitmapWithoutDeviceIndependentBits) {
  OwnedDib picture = randomPicture(6, 4, 24, 21);
  RecordingDeviceBehaviour behaviour = failingPrinter();
  behaviour.rasterCaps = RC_BITBLT | RC_STRETCHBLT;
  RecordingDevice device(20, 20, behaviour);
  // The middle two lines (source y 1 from the bottom), drawn at their own size.
  StretchDrawDib(device, 1, 1, 6, 2, *picture, 0, 1, 6, 2, false, SRCCOPY, true, nullptr);
  EXPECT_TRUE(device.callsOf(Op::SetDIBitsToDevice).empty());
  const auto bitmaps = device.callsOf(Op::CreateCompatibleBitmap);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].args, (std::vector<int64_t>{6, 4}));
  const auto blits = device.callsOf(Op::StretchBlt);
  ASSERT_EQ(blits.size(), 1u);
  EXPECT_EQ(blits[0].args, (std::vector<int64_t>{1, 1, 6, 2, 0, 1, 6, 2, SRCCOPY}));
  EXPECT_EQ(device.callsOf(Op::SelectBitmap).size(), 2u) << "selected in and out again";
  EXPECT_TRUE(device.callsOf(Op::ShowMessage).empty());
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(shown(device.image(), 1 + x, 1), pictureColor(*picture, x, 2));
    EXPECT_EQ(shown(device.image(), 1 + x, 2), pictureColor(*picture, x, 1));
  }
}

TEST(StretchDrawDib, FallsBackToTheBitmapWhenHandScalingIsRefused) {
  OwnedDib picture = randomPicture(4, 4, 8, 22);
  RecordingDeviceBehaviour behaviour = failingPrinter();
  behaviour.failSetDIBitsToDevice = true;
  RecordingDevice device(20, 20, behaviour);
  drawWhole(device, *picture, 0, 0, 8, 8, false);
  EXPECT_EQ(device.callsOf(Op::SetDIBitsToDevice).size(), 1u);
  EXPECT_EQ(device.callsOf(Op::StretchBlt).size(), 1u);
  EXPECT_EQ(shown(device.image(), 7, 7), pictureColor(*picture, 3, 0));
}

TEST(StretchDrawDib, ReportsEachDeviceBitmapFailure) {
  struct Case {
    void (*breakIt)(RecordingDeviceBehaviour&);
    const char* message;
    size_t blits;
  };
  const Case cases[] = {
      {[](RecordingDeviceBehaviour& b) { b.failCreateCompatibleBitmap = true; },
       "Could not create bitmap.", 0},
      {[](RecordingDeviceBehaviour& b) { b.failSetDIBits = true; },
       "The device does not support the Funtkion setdibits!", 0},
      {[](RecordingDeviceBehaviour& b) { b.failStretchBlt = true; },
       "The device does not support the function StretchBlt!", 1},
  };
  OwnedDib picture = randomPicture(4, 4, 24, 23);
  for (const Case& c : cases) {
    RecordingDeviceBehaviour behaviour = failingPrinter();
    behaviour.rasterCaps = 0;
    c.breakIt(behaviour);
    RecordingDevice device(20, 20, behaviour);
    drawWhole(device, *picture, 0, 0, 4, 4, false);
    const auto messages = device.callsOf(Op::ShowMessage);
    ASSERT_EQ(messages.size(), 1u) << c.message;
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_EQ(device.callsOf(Op::StretchBlt).size(), c.blits);
    EXPECT_EQ(shown(device.image(), 0, 0), qRgb(255, 255, 255)) << "nothing drawn";
  }
}

TEST(ScreenBitsPerPixel, ReadsThePrimaryScreenUnlessOverridden) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(ScreenBitsPerPixel(), screen->depth());
  {
    ScreenDepthOverride eight(8);
    EXPECT_EQ(ScreenBitsPerPixel(), 8);
    {
      ScreenDepthOverride four(4);
      EXPECT_EQ(ScreenBitsPerPixel(), 4);
      EXPECT_EQ(four.queries(), 1);
    }
    EXPECT_EQ(ScreenBitsPerPixel(), 8);
  }
  EXPECT_EQ(ScreenBitsPerPixel(), screen->depth());
}

TEST(PainterDevice, ShowsMessagesWithoutCaptionWithOk) {
  QImage image(4, 4, QImage::Format_RGB32);
  QPainter painter(&image);
  glim::testing::RecordingDialogs dialogs;
  PainterDevice device(painter, PainterDevice::Kind::Printer, &dialogs);
  EXPECT_EQ(device.GetDeviceCaps(TECHNOLOGY), DT_RASPRINTER);
  device.ShowMessage("Could not create bitmap.");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0],
            (MessageBox{"Could not create bitmap.", "", MessageButtons::Ok, MessageIcon::None}));
}

}  // namespace
}  // namespace glim
