// Shared pieces of the drawing tests: pictures of every depth and reading back what a device drew.
#pragma once

#include <QImage>

#include "picture_fixtures.h"
#include "recording_device.h"

namespace glim::testing {

// A picture of the given depth with random pixels and, up to 8 bits, a random colour table.
inline OwnedDib randomPicture(int32_t width, int32_t height, int32_t bits, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint32_t> colors(256);
  for (uint32_t& c : colors) c = random() & 0xffffff;
  const HeaderWithTable table = tableOf(colors);
  OwnedDib dib(width, height, bits, &table, bits <= 8 ? (1 << bits) : 0);
  fillRandom(*dib, seed + 1);
  return dib;
}

// The colour of a picture's pixel (x, memory row y) as a device shows it.
inline QRgb pictureColor(const DibImage& dib, int32_t x, int32_t y) {
  const uint32_t value = getpixel(dib, x, y);
  const uint32_t bits = dib.Header->biBitCount;
  if (bits <= 8) {
    const auto* table = reinterpret_cast<const RGBQUAD*>(dib.Header + 1);
    return qRgb(table[value].rgbRed, table[value].rgbGreen, table[value].rgbBlue);
  }
  if (bits == 24 || bits == 32)
    return qRgb(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff);
  const auto five = [](uint32_t c) { return (c << 3) | (c >> 2); };
  return qRgb(five((value >> 10) & 31), five((value >> 5) & 31), five(value & 31));
}

inline QRgb shown(const QImage& image, int x, int y) {
  return image.pixel(x, y) | 0xff000000u;
}

// Which way StretchDrawDib went, read from the calls it made.
enum class DrawPath { None, Halftone, Rows, General };

inline DrawPath pathTaken(const RecordingDevice& device, const DibImage& picture) {
  const auto stretches = device.callsOf(DeviceCall::Op::StretchDIBits);
  if (!stretches.empty()) {
    return stretches.front().bits == picture.Pixels ? DrawPath::General : DrawPath::Halftone;
  }
  if (!device.callsOf(DeviceCall::Op::SetDIBitsToDevice).empty()) return DrawPath::Rows;
  return DrawPath::None;
}

inline RecordingDeviceBehaviour printerBehaviour() {
  RecordingDeviceBehaviour behaviour;
  behaviour.technology = DT_RASPRINTER;
  return behaviour;
}

}  // namespace glim::testing
