// Reading and writing one pixel of a record, at any depth, with bounds checks.
#pragma once

#include <cstdint>

#include "picodec.h"

namespace picodec {

// The value at column x of row y as stored: a table index for 1, 4 and 8 bits, the 16-bit
// word for 16 bits, red | green << 8 | blue << 16 for 24 bits (and the fourth byte << 24 for
// 32 bits). 0 outside the picture.
uint32_t pixelValue(const DibImage& dib, int32_t x, int32_t y) noexcept;

// Stores a value in the same form; false (and nothing written) outside the picture.
bool storePixel(const DibImage& dib, int32_t x, int32_t y, uint32_t value) noexcept;

}  // namespace picodec
