// Reading back what the print job put on paper: a PDF rasterised with pdftoppm, and where the
// picture's colour landed on it.
#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>
#include <QString>

#include "print_layout.h"

class QPrinter;

namespace glim::testing {

// The first page of the PDF at `dpi` dots per inch; a null image when pdftoppm failed.
QImage rasterisePdf(const QString& pdf, int dpi);

// A field of pdfinfo's report on the PDF ("Pages", "Title"); empty when it cannot be read.
QString pdfInfo(const QString& pdf, const QString& field);

// The bounding box of the pixels within `tolerance` of `colour` in every channel.
QRect areaOf(const QImage& page, QRgb colour, int tolerance = 40);

// Where a rectangle of the printer's device pixels lands on the paper rasterised at `dpi`:
// device (0, 0) is the printable area's top-left corner.
QRect onPaper(const PrintRect& placed, const QPrinter& printer, int dpi);

// True when every edge of `found` is within one pixel of `expected`'s.
bool edgesMatch(const QRect& found, const QRect& expected);

}  // namespace glim::testing
