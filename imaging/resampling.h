// Scaling a picture to a requested size with 10-bit fixed-point sample positions.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "picodec.h"

namespace glim {

// A new picture of width x height with the source's depth and (up to 256 colours) colour table,
// made by newdib and owned by the caller. Target pixel (x, y) samples source pixel
// ((x * step) >> 10, (y * step) >> 10), step = source size * 1024 / target size, rows in memory
// order. Sources of 1, 4, 8 and 24 bits are copied by nearest neighbour; a 24-bit source that is
// not made smaller in either direction is interpolated bilinearly when smooth is true. Other
// depths leave the result as newdib made it. Width and height below 1 are taken as 1. When
// newdib cannot make the picture the result has null Pixels and nothing is copied.
DibImage Resize(const DibImage& source, int32_t width, int32_t height, bool smooth);

// A 24-bit picture made smaller in both directions by one pass of area averaging: target pixel
// (x, y) is the rounded mean of the source pixels in columns [x * W / width, (x + 1) * W /
// width) and rows likewise, so no source pixel is skipped. Any other source or size is left to
// Resize (nearest neighbour). Owned by the caller; null Pixels when there was no memory.
DibImage ResizeAveraged(const DibImage& source, int32_t width, int32_t height);

struct PictureSize {
  int32_t width = 0, height = 0;
};
// ResizeAveraged for several sizes at once, one pass each, reading the source from memory
// once for all of them; the results in the order of `sizes`.
std::vector<DibImage> ResizeAveraged(const DibImage& source, std::span<const PictureSize> sizes);

}  // namespace glim
