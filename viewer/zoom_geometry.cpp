#include "zoom_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "painter_device.h"

namespace glim {
namespace {

int32_t zoomed(int32_t length, int32_t zoomPercent) {
  const double value = std::trunc(static_cast<double>(length) * zoomPercent / 100.0);
  return static_cast<int32_t>(
      std::clamp(value, 0.0, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

}  // namespace

ZoomedSize zoomedSize(int32_t pictureWidth, int32_t pictureHeight, int32_t zoomPercent,
                      double ratio) {
  ZoomedSize size;
  size.width = zoomed(pictureWidth, zoomPercent);
  size.height = zoomed(pictureHeight, zoomPercent);
  // Rounded up, so that the area covers every device pixel of the picture.
  const auto box = [ratio](int32_t length) {
    return std::min(ratio > 0 ? widgetPixels(length, ratio) : length, kMaxWidgetExtent);
  };
  size.boxWidth = box(size.width);
  size.boxHeight = box(size.height);
  return size;
}

int32_t steppedZoom(int32_t zoomPercent, int steps) {
  double zoom = std::clamp(zoomPercent, kMinZoom, kMaxZoom);
  for (int i = 0; i < std::abs(steps); ++i) {
    zoom = std::clamp(std::round(steps > 0 ? zoom * 1.25 : zoom / 1.25), double{kMinZoom},
                      double{kMaxZoom});
  }
  return static_cast<int32_t>(zoom);
}

int32_t fitZoom(int32_t pictureWidth, int32_t pictureHeight, int64_t areaWidth,
                int64_t areaHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0) return 100;
  const double across = static_cast<double>(areaWidth) * 100.0 / pictureWidth;
  const double down = static_cast<double>(areaHeight) * 100.0 / pictureHeight;
  int32_t zoom =
      static_cast<int32_t>(std::clamp(std::floor(std::min(across, down)), double{kMinZoom}, 100.0));
  // The shown size is truncated, so the next whole zoom may still fit.
  while (zoom < 100) {
    const ZoomedSize next = zoomedSize(pictureWidth, pictureHeight, zoom + 1);
    if (next.width > areaWidth || next.height > areaHeight) break;
    ++zoom;
  }
  return zoom;
}

int32_t dragScrollPosition(int32_t pointerAtPress, int32_t scrollAtPress, int32_t pointerNow,
                           int32_t maximum) {
  const int64_t wanted = int64_t{pointerAtPress} + scrollAtPress - pointerNow;
  return static_cast<int32_t>(std::clamp<int64_t>(wanted, 0, std::max(maximum, 0)));
}

}  // namespace glim
