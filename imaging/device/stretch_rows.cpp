// Own line-by-line scaling of 24- and 8-bit pictures for screens.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "dibs24.h"
#include "stretch_draw.h"

namespace glim {
namespace {

// Which bytes of a source line make a destination line: columns first to last (none when first
// is -1) take the pixel at offsets[j]. A one-to-one run is copied in one piece; 24-bit pixels
// before wideEnd may be moved with 4-byte loads that stay inside the source row.
struct SourceColumns {
  std::vector<int64_t> offsets;
  int64_t first = -1;
  int64_t last = -1;
  int32_t bytesPerPixel = 3;
  bool contiguous = false;
  int64_t wideEnd = -1;
};

SourceColumns describeColumns(std::vector<int64_t> offsets, int64_t first, int64_t last,
                              int32_t bytesPerPixel, int64_t rowBytes) {
  SourceColumns columns{std::move(offsets), first, last, bytesPerPixel, false, first};
  if (first < 0) return columns;
  const auto& o = columns.offsets;
  columns.contiguous = true;
  for (int64_t j = first; j <= last && columns.contiguous; ++j) {
    columns.contiguous = o[j] == o[first] + bytesPerPixel * (j - first);
  }
  while (columns.wideEnd < last && o[columns.wideEnd] + 4 <= rowBytes) ++columns.wideEnd;
  return columns;
}

void copyLine(uint8_t* line, const uint8_t* source, const SourceColumns& columns) {
  const int64_t first = columns.first, last = columns.last;
  if (first < 0) return;
  const auto& o = columns.offsets;
  if (columns.contiguous) {
    const auto bytes = static_cast<size_t>((last - first + 1) * columns.bytesPerPixel);
    std::memcpy(line + columns.bytesPerPixel * first, source + o[first], bytes);
  } else if (columns.bytesPerPixel == 3) {
    // The fourth byte of each wide store is overwritten by the next pixel (wideEnd <= last).
    int64_t j = first;
    for (; j < columns.wideEnd; ++j) std::memcpy(line + 3 * j, source + o[j], 4);
    for (; j <= last; ++j) std::memcpy(line + 3 * j, source + o[j], 3);
  } else {
    for (int64_t j = first; j <= last; ++j) line[j] = source[o[j]];
  }
}

// Nearest neighbour with one device call per destination line. Column offsets are computed once;
// a source line is copied into the line buffer only when it differs from the line before.
int32_t stretchRows(DeviceContext& device, int32_t destX, int32_t destY, int32_t destWidth,
                    int32_t destHeight, const DibImage& picture, int32_t srcX, int32_t srcTop,
                    int32_t srcWidth, int32_t srcHeight, int32_t bytesPerPixel,
                    const VisibleRect* visible) {
  if (destWidth <= 0 || destHeight <= 0 || picture.Header == nullptr || picture.Pixels == nullptr) {
    return 0;
  }
  const int64_t width = DibWidth(picture);
  const int64_t height = DibHeight(picture);
  // The destination columns and lines to send: all, or those the device can show.
  int64_t firstColumn = 0, endColumn = destWidth, firstRow = 0, endRow = destHeight;
  if (visible != nullptr) {
    firstColumn = std::clamp<int64_t>(visible->left - destX, 0, destWidth);
    endColumn = std::clamp<int64_t>(visible->right - destX, firstColumn, destWidth);
    firstRow = std::clamp<int64_t>(visible->top - destY, 0, destHeight);
    endRow = std::clamp<int64_t>(visible->bottom - destY, firstRow, destHeight);
  }
  if (firstColumn >= endColumn || firstRow >= endRow) return 0;
  const auto lineWidth = static_cast<int32_t>(endColumn - firstColumn);

  DibImage line{};
  if (bytesPerPixel == 3) {
    newdib(&line, lineWidth, 1, 24, nullptr, 0);
  } else {
    newdib(&line, lineWidth, 1, 8, picture.Header, 256);
  }
  if (line.Pixels == nullptr) {  // nothing to draw with
    if (line.Storage != 0) deldib(line);
    return 0;
  }

  // offsets[i]: byte offset of destination column firstColumn + i in a source line; valid from
  // first to last.
  std::vector<int64_t> offsets(static_cast<size_t>(lineWidth));
  int64_t first = -1, last = -1;
  for (int64_t i = 0; i < lineWidth; ++i) {
    const int64_t column = firstColumn + i;
    const int64_t offset = (srcX + int64_t{srcWidth} * column / destWidth) * bytesPerPixel;
    offsets[static_cast<size_t>(i)] = offset;
    if (offset >= 0 && offset <= bytesPerPixel * width - 1) {
      if (first < 0) first = i;
      last = i;
    }
  }

  const SourceColumns columns =
      describeColumns(std::move(offsets), first, last, bytesPerPixel, picture.RowBytes);
  const int64_t rowBytes = picture.RowBytes;
  const int64_t highestOffset = (height - 1) * rowBytes;
  int64_t previousOffset = -1;
  int32_t copied = 0;
  for (int64_t r = firstRow; r < endRow; ++r) {
    const int64_t offset = (height - 1 - (srcTop + int64_t{srcHeight} * r / destHeight)) * rowBytes;
    if (offset < 0 || offset > highestOffset) {
      std::memset(line.Pixels, 0, static_cast<size_t>(line.RowBytes));
      previousOffset = -1;  // the buffer no longer holds a source line
    } else if (offset != previousOffset) {
      copyLine(line.Pixels, picture.Pixels + offset, columns);
      previousOffset = offset;
      ++copied;
    }
    device.SetDIBitsToDevice(static_cast<int32_t>(destX + firstColumn),
                             static_cast<int32_t>(destY + r), lineWidth, 1, 0, 0, 0, 1, line.Pixels,
                             line.Header, DIB_RGB_COLORS);
  }
  deldib(line);
  return copied;
}

}  // namespace

int32_t StretchRows24(DeviceContext& device, int32_t destX, int32_t destY, int32_t destWidth,
                      int32_t destHeight, const DibImage& picture, int32_t srcX, int32_t srcTop,
                      int32_t srcWidth, int32_t srcHeight, const VisibleRect* visible) {
  return stretchRows(device, destX, destY, destWidth, destHeight, picture, srcX, srcTop, srcWidth,
                     srcHeight, 3, visible);
}

int32_t StretchRows8(DeviceContext& device, int32_t destX, int32_t destY, int32_t destWidth,
                     int32_t destHeight, const DibImage& picture, int32_t srcX, int32_t srcTop,
                     int32_t srcWidth, int32_t srcHeight, const VisibleRect* visible) {
  return stretchRows(device, destX, destY, destWidth, destHeight, picture, srcX, srcTop, srcWidth,
                     srcHeight, 1, visible);
}

}  // namespace glim
