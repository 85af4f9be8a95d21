#include "printed_page.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>

namespace glim::testing {

QImage rasterisePdf(const QString& pdf, int dpi) {
  QTemporaryDir folder;
  const QString prefix = folder.filePath(QStringLiteral("page"));
  QProcess process;
  process.start(
      QStringLiteral("pdftoppm"),
      {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
       QStringLiteral("-singlefile"), QStringLiteral("-f"), QStringLiteral("1"), pdf, prefix});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

QString pdfInfo(const QString& pdf, const QString& field) {
  QProcess process;
  process.start(QStringLiteral("pdfinfo"), {pdf});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return {};
  const QRegularExpression line(
      QStringLiteral("^") + QRegularExpression::escape(field) + QStringLiteral(":\\s*(.*)$"),
      QRegularExpression::MultilineOption);
  const auto match = line.match(QString::fromUtf8(process.readAllStandardOutput()));
  return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

QRect areaOf(const QImage& page, QRgb colour, int tolerance) {
  QRect area;
  for (int y = 0; y < page.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
    for (int x = 0; x < page.width(); ++x) {
      if (std::abs(qRed(line[x]) - qRed(colour)) <= tolerance &&
          std::abs(qGreen(line[x]) - qGreen(colour)) <= tolerance &&
          std::abs(qBlue(line[x]) - qBlue(colour)) <= tolerance) {
        area |= QRect(x, y, 1, 1);
      }
    }
  }
  return area;
}

QRect onPaper(const PrintRect& placed, const QPrinter& printer, int dpi) {
  const double scale = static_cast<double>(dpi) / printer.resolution();
  const QRect printable = printer.pageLayout().paintRectPixels(printer.resolution());
  const auto at = [scale](double device) { return static_cast<int>(std::lround(device * scale)); };
  const int left = at(printable.left() + placed.x);
  const int top = at(printable.top() + placed.y);
  const int right = at(printable.left() + placed.x + placed.width);
  const int bottom = at(printable.top() + placed.y + placed.height);
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

bool edgesMatch(const QRect& found, const QRect& expected) {
  return std::abs(found.left() - expected.left()) <= 1 &&
         std::abs(found.top() - expected.top()) <= 1 &&
         std::abs(found.right() - expected.right()) <= 1 &&
         std::abs(found.bottom() - expected.bottom()) <= 1;
}

}  // namespace glim::testing
