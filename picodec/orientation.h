// The EXIF orientation (1 to 8, as cameras and TIFF files record it): reading it from an EXIF
// block, and turning a decoded picture upright by it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dib_record.h"

namespace picodec {

// The orientation in an EXIF block, with or without its "Exif\0\0" prefix; 1 when absent or
// unreadable.
int exifOrientation(const uint8_t* data, size_t size);

// Where stored pixel (x, t) of a width x height picture, t counted from the top, lands in
// the upright picture.
struct Placement {
  int32_t x, y;
};
Placement orientedPosition(int orientation, int32_t x, int32_t t, int32_t width, int32_t height);

// The upright picture for a picture decoded in stored order (any depth, table kept). For
// orientation 1 the picture itself.
DibOwner orientPicture(DibOwner stored, int orientation);

}  // namespace picodec
