// The viewer's geometry as plain functions: the zoomed picture's size and the scroll position
// a drag step asks for.
#pragma once

#include <cstdint>

namespace glim {

// The largest width or height a widget can take (the toolkit's QWIDGETSIZE_MAX).
inline constexpr int32_t kMaxWidgetExtent = (1 << 24) - 1;

struct ZoomedSize {
  int32_t width = 0;  // the zoomed picture, as drawn
  int32_t height = 0;
  // The picture area in widget pixels: the zoomed size over the screen's device pixels per
  // widget pixel, within what a widget can hold.
  int32_t boxWidth = 0;
  int32_t boxHeight = 0;

  bool operator==(const ZoomedSize&) const = default;
};

// truncate(size x zoom / 100) in floating point, for both sides, in device pixels: at 100 % one
// picture pixel covers one pixel of the screen, whatever its scale (`ratio`).
ZoomedSize zoomedSize(int32_t pictureWidth, int32_t pictureHeight, int32_t zoomPercent,
                      double ratio = 1.0);

inline constexpr int32_t kMinZoom = 5;
inline constexpr int32_t kMaxZoom = 9000;

// The zoom `steps` steps in (positive) or out: each multiplies or divides by 1.25, rounded to a
// whole percent, within kMinZoom..kMaxZoom.
int32_t steppedZoom(int32_t zoomPercent, int steps);

// The largest whole zoom at which the picture fits an area of `areaWidth` x `areaHeight` device
// pixels, never above 100 % and never below the least zoom.
int32_t fitZoom(int32_t pictureWidth, int32_t pictureHeight, int64_t areaWidth, int64_t areaHeight);

// The scroll position for a drag step: the position at the press moved by how far the pointer
// moved since, limited to 0..maximum. Pointer positions are in coordinates that do not move
// with the scroll (the visible region's).
int32_t dragScrollPosition(int32_t pointerAtPress, int32_t scrollAtPress, int32_t pointerNow,
                           int32_t maximum);

}  // namespace glim
