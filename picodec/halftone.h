// Halftoned 8-bit copies of pictures for displays of at most 256 colours: area-averaged to
// the requested size, then ordered-dithered (8 x 8 Bayer) onto the halftone palette, a
// 6 x 6 x 6 colour cube followed by 40 extra greys.
#pragma once

#include <cstdint>

#include "dib_record.h"

namespace picodec {

// A new 8-bit picture of width x height showing `source` (any depth) in the halftone
// palette. Throws CodecError when the size is impossible or memory runs out.
DibOwner halftone(const DibImage& source, int32_t width, int32_t height);

// Index of the halftone palette entry a pixel at (x, y) gets (for tests and the writer).
uint8_t halftoneIndex(uint8_t red, uint8_t green, uint8_t blue, int32_t x, int32_t y);

}  // namespace picodec
