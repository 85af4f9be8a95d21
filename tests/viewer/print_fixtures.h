// Shared by the print tests: solid pictures, printers with a page of a chosen size, and the
// settings file of a test.
#pragma once

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <cstdint>

#include "../imaging/picture_fixtures.h"

namespace glim::testing {

// A 24-bit picture of one colour (0xRRGGBB).
inline OwnedDib solidPicture(int32_t width, int32_t height, uint32_t rgb) {
  OwnedDib picture(width, height, 24);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = picture.row(y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(rgb);
      row[3 * x + 1] = static_cast<uint8_t>(rgb >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(rgb >> 16);
    }
  }
  return picture;
}

// A PDF printer whose printable page is exactly width x height device pixels (points at
// 72 dots per inch, no margins).
inline void givePage(QPrinter& printer, int width, int height) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setResolution(72);
  printer.setPageLayout(QPageLayout(QPageSize(QSizeF(width, height), QPageSize::Point,
                                              QStringLiteral("test page"), QPageSize::ExactMatch),
                                    QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
}

}  // namespace glim::testing
