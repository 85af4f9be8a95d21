// The painter device must put the same pixels on a real image as the recording device, whose
// rendering is plain per-pixel code: that pins the painter's orientation, colour tables,
// clipping and sampling.
#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include "drawing_fixtures.h"
#include "painter_device.h"
#include "screen_depth.h"
#include "stretch_draw.h"

namespace glim {
namespace {

using testing::OwnedDib;
using testing::randomPicture;

struct DrawCase {
  const char* name;
  int32_t bits;
  int32_t width, height;  // of the picture
  int32_t destX, destY, destWidth, destHeight;
  bool printer;
  int32_t screenBits;
  uint32_t rop = SRCCOPY;  // any other is refused by both devices' stretching: hand scaling
};

// Pixels that differ between the two images, as "x,y" for the first few.
std::string differences(const QImage& a, const QImage& b) {
  std::string found;
  int count = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if ((a.pixel(x, y) | 0xff000000u) != (b.pixel(x, y) | 0xff000000u) && ++count <= 5) {
        found += std::to_string(x) + "," + std::to_string(y) + " ";
      }
    }
  }
  return count == 0 ? std::string() : std::to_string(count) + " differ: " + found;
}

class PainterMatchesRecording : public ::testing::TestWithParam<DrawCase> {};

TEST_P(PainterMatchesRecording, SamePixels) {
  const DrawCase& c = GetParam();
  ScreenDepthOverride screen(c.screenBits);
  OwnedDib picture = randomPicture(c.width, c.height, c.bits, 40 + c.bits);
  const int size = 64;

  RecordingDeviceBehaviour behaviour;
  if (c.printer) behaviour.technology = DT_RASPRINTER;
  RecordingDevice recording(size, size, behaviour, qRgb(10, 200, 30));
  StretchDrawDib(recording, c.destX, c.destY, c.destWidth, c.destHeight, *picture, 0, 0, c.width,
                 c.height, true, c.rop, true, nullptr);

  QImage image(size, size, QImage::Format_RGB32);
  image.fill(qRgb(10, 200, 30));
  {
    QPainter painter(&image);
    PainterDevice device(painter,
                         c.printer ? PainterDevice::Kind::Printer : PainterDevice::Kind::Display);
    StretchDrawDib(device, c.destX, c.destY, c.destWidth, c.destHeight, *picture, 0, 0, c.width,
                   c.height, true, c.rop, true, nullptr);
  }
  if (c.rop != SRCCOPY) {
    const auto transfers = recording.callsOf(DeviceCall::Op::SetDIBitsToDevice);
    ASSERT_EQ(transfers.size(), 1u) << "one hand-scaled copy";
    EXPECT_EQ(transfers[0].args[7], c.destHeight);
  }
  EXPECT_NE(image, QImage(size, size, QImage::Format_RGB32)) << "something was drawn";
  EXPECT_EQ(differences(recording.image(), image), "");
}

const DrawCase kCases[] = {
    // Line paths: the device only copies lines.
    {"rows24_same_size", 24, 37, 23, 3, 4, 37, 23, false, 32},
    {"rows24_enlarged", 24, 9, 7, 0, 0, 50, 40, false, 32},
    {"rows24_reduced", 24, 61, 59, 2, 2, 20, 13, false, 32},
    {"rows24_partly_off_device", 24, 30, 30, -5, -7, 90, 90, false, 32},
    {"rows8_reduced", 8, 50, 40, 1, 1, 33, 21, false, 32},
    // Halftone path: the halftoned copy drawn one to one, or enlarged by a whole factor.
    {"halftone_reduced", 24, 80, 60, 0, 0, 40, 30, false, 8},
    {"halftone_enlarged", 24, 16, 12, 4, 4, 48, 36, false, 8},
    // General path: the device stretches. Where a destination pixel's centre falls exactly on a
    // boundary between source pixels (halving, for one) the painter's own drawing paths break the
    // tie differently, so the cases keep clear of such ratios.
    {"printer24_same_size", 24, 31, 17, 5, 5, 31, 17, true, 32},
    {"printer24_doubled", 24, 16, 11, 1, 2, 32, 22, true, 32},
    {"printer8_tripled", 8, 10, 7, 0, 0, 30, 21, true, 32},
    {"printer4_doubled", 4, 13, 9, 0, 3, 26, 18, true, 32},
    {"printer1_doubled", 1, 21, 15, 3, 0, 42, 30, true, 32},
    {"screen16_same_size", 16, 19, 13, 2, 2, 19, 13, false, 32},
    {"screen32_reduced_by_three", 32, 42, 30, 0, 0, 14, 10, false, 32},
    {"printer24_uneven_enlargement", 24, 17, 13, 2, 1, 40, 31, true, 32},
    {"printer8_uneven_reduction", 8, 45, 35, 0, 0, 29, 22, true, 32},
    {"screen4_odd_width", 4, 11, 5, 0, 0, 33, 15, false, 32},
    // Hand scaling: the scaled copy reaches the device in one unscaled transfer.
    {"printer24_hand_scaled", 24, 23, 17, 3, 2, 50, 41, true, 32, 0x00EE0086u},
    {"printer1_hand_scaled", 1, 23, 17, 0, 0, 17, 9, true, 32, 0x00EE0086u},
};

INSTANTIATE_TEST_SUITE_P(Drawing, PainterMatchesRecording, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PainterDevice, IndicesBeyondAShortColourTableAreBlackOnBothDevices) {
  // Two colours in use, pixels 0 1 2 3: the last two have no colour and must not let the
  // background through.
  testing::HeaderWithTable info = testing::tableOf({0xff0000, 0x00ff00});
  info.header.biWidth = 4;
  info.header.biHeight = 1;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biClrUsed = 2;
  const uint8_t pixels[4] = {0, 1, 2, 3};
  RecordingDevice recording(4, 1);
  QImage image(4, 1, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PainterDevice device(painter, PainterDevice::Kind::Printer);
  for (DeviceContext* target :
       {static_cast<DeviceContext*>(&recording), static_cast<DeviceContext*>(&device)}) {
    ASSERT_EQ(target->StretchDIBits(0, 0, 4, 1, 0, 0, 4, 1, pixels, &info.header, DIB_RGB_COLORS,
                                    SRCCOPY),
              1);
  }
  painter.end();
  EXPECT_EQ(differences(recording.image(), image), "");
  EXPECT_EQ(image.pixel(1, 0), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(3, 0), qRgb(0, 0, 0));
}

TEST(PainterDevice, APrinterPageGetsThePictureAsOneImage) {
  // On a PDF page every drawn image becomes an object: the picture must arrive whole, not in
  // lines, whichever depth it has.
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const int32_t bits : {1, 8, 24}) {
    const QString path = folder.filePath(QString("page%1.pdf").arg(bits));
    {
      QPdfWriter writer(path);
      QPainter painter(&writer);
      ASSERT_TRUE(painter.isActive());
      PainterDevice device(painter, PainterDevice::Kind::Printer);
      OwnedDib picture = randomPicture(64, 48, bits, 60);
      StretchDrawDib(device, 100, 100, 3000, 2250, *picture, 0, 0, 64, 48, false, SRCCOPY, true,
                     nullptr);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("/Subtype /Image"), 1) << bits << " bits";
  }
}

TEST(PainterDevice, DrawsThroughItsDeviceBitmap) {
  // The bitmap fallback on the painter device: set the bits, then stretch them onto the image.
  OwnedDib picture = randomPicture(8, 6, 24, 50);
  QImage image(16, 12, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PainterDevice device(painter, PainterDevice::Kind::Display);
  auto bitmap = device.CreateCompatibleBitmap(8, 6);
  auto memory = device.CreateCompatibleDC();
  ASSERT_TRUE(bitmap && memory);
  ASSERT_EQ(memory->SetDIBits(*bitmap, 0, 6, picture->Pixels, picture->Header, DIB_RGB_COLORS), 6);
  memory->SelectBitmap(bitmap.get());
  ASSERT_TRUE(device.StretchBlt(0, 0, 16, 12, *memory, 0, 0, 8, 6, SRCCOPY));
  painter.end();
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 16; ++x) {
      ASSERT_EQ(image.pixel(x, y) | 0xff000000u, testing::pictureColor(*picture, x / 2, 5 - y / 2))
          << x << "," << y;
    }
  }
  EXPECT_EQ(device.CreateCompatibleBitmap(0, 5), nullptr);
  EXPECT_EQ(device.CreateCompatibleBitmap(1 << 20, 1 << 20), nullptr);
}

}  // namespace
}  // namespace glim
