#include "dib_view.h"

#include <QList>
#include <algorithm>
#include <cstring>

namespace glim {
namespace {

// Bounds that keep every offset below within 64-bit arithmetic and reject nonsense headers.
constexpr int32_t kMaxSide = 1 << 20;
constexpr uint32_t kMaxHeaderSize = 124;
constexpr uint32_t kBiRgb = 0;

QRgb rgbQuadColor(const uint8_t* quad) {
  return qRgb(quad[2], quad[1], quad[0]);
}

// The colour table as the painter takes it. The line paths send every line with the same table,
// so the last list made is kept and handed out again while the colours are the same.
QList<QRgb> colorList(const std::array<QRgb, 256>& table, int32_t size) {
  thread_local std::array<QRgb, 256> lastTable{};
  thread_local QList<QRgb> lastList;
  const auto count = static_cast<size_t>(size);
  if (lastList.size() != static_cast<qsizetype>(count) ||
      std::memcmp(lastTable.data(), table.data(), count * sizeof(QRgb)) != 0) {
    std::memcpy(lastTable.data(), table.data(), count * sizeof(QRgb));
    lastList = QList<QRgb>(table.begin(), table.begin() + size);
  }
  return lastList;
}

}  // namespace

std::optional<DibView> DibView::describe(const BITMAPINFOHEADER* header, const void* bits,
                                         uint32_t firstScan, uint32_t scans) {
  if (header == nullptr || bits == nullptr) return std::nullopt;
  if (header->biSize < sizeof(BITMAPINFOHEADER) || header->biSize > kMaxHeaderSize) {
    return std::nullopt;
  }
  if (header->biCompression != kBiRgb) return std::nullopt;
  const int32_t width = header->biWidth;
  const int32_t height = header->biHeight;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
  const int32_t bitCount = header->biBitCount;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32) {
    return std::nullopt;
  }
  if (scans == 0 || firstScan >= static_cast<uint32_t>(height) ||
      scans > static_cast<uint32_t>(height) - firstScan) {
    return std::nullopt;
  }

  DibView view;
  view.bits_ = static_cast<const uint8_t*>(bits);
  view.width_ = width;
  view.height_ = height;
  view.bitCount_ = bitCount;
  view.rowBytes_ = (int64_t{width} * bitCount + 31) / 32 * 4;
  view.firstScan_ = static_cast<int32_t>(firstScan);
  view.scans_ = static_cast<int32_t>(scans);
  if (bitCount <= 8) {
    view.table_.fill(qRgb(0, 0, 0));  // opaque black beyond a short table
    const uint32_t full = 1u << bitCount;
    const uint32_t used = header->biClrUsed;
    view.tableSize_ = static_cast<int32_t>((used > 0 && used < full) ? used : full);
    const auto* quads = reinterpret_cast<const uint8_t*>(header) + header->biSize;
    for (int32_t i = 0; i < view.tableSize_; ++i) view.table_[i] = rgbQuadColor(quads + 4 * i);
  }
  return view;
}

QRgb DibView::pixel(int32_t x, int64_t scan) const {
  const uint8_t* line = scanLine(scan);
  switch (bitCount_) {
    case 1:
      return tableColor((line[x / 8] >> (7 - x % 8)) & 1);
    case 4:
      return tableColor((x % 2 == 0) ? (line[x / 2] >> 4) : (line[x / 2] & 15));
    case 8:
      return tableColor(line[x]);
    case 16: {
      const uint32_t v = line[2 * x] | (line[2 * x + 1] << 8);
      const auto five = [](uint32_t c) { return (c << 3) | (c >> 2); };
      return qRgb(five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31));
    }
    case 24:
      return rgbQuadColor(line + 3 * x);
    default:
      return rgbQuadColor(line + 4 * x);
  }
}

QImage DibView::wrapScans() const {
  const auto* first = scanLine(firstScan_);
  if (bitCount_ == 24) {
    return QImage(first, width_, scans_, rowBytes_, QImage::Format_BGR888);
  }
  const QList<QRgb> colors = colorList(table_, 1 << std::min(bitCount_, 8));
  if (bitCount_ == 8 || bitCount_ == 1) {
    QImage image(first, width_, scans_, rowBytes_,
                 bitCount_ == 8 ? QImage::Format_Indexed8 : QImage::Format_Mono);
    image.setColorTable(colors);
    return image;
  }
  if (bitCount_ == 4) {
    QImage image(width_, scans_, QImage::Format_Indexed8);
    if (image.isNull()) return image;
    image.setColorTable(colors);
    for (int32_t row = 0; row < scans_; ++row) {
      const uint8_t* from = first + row * rowBytes_;
      uint8_t* to = image.scanLine(row);
      for (int32_t x = 0; x < width_; ++x) {
        to[x] = (x % 2 == 0) ? (from[x / 2] >> 4) : (from[x / 2] & 15);
      }
    }
    return image;
  }
  // 16 and 32 bits: converted so that the unused bits never reach the device as alpha.
  QImage image(width_, scans_, QImage::Format_RGB32);
  if (image.isNull()) return image;
  for (int32_t row = 0; row < scans_; ++row) {
    auto* to = reinterpret_cast<QRgb*>(image.scanLine(row));
    for (int32_t x = 0; x < width_; ++x) to[x] = pixel(x, firstScan_ + row);
  }
  return image;
}

}  // namespace glim
