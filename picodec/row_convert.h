// One stored row of a record of any depth as 24-bit blue, green, red bytes: what the JPEG
// writer and the halftoning read when the picture is not 24 bits already.
#pragma once

#include <cstdint>

#include "picodec.h"

namespace picodec {

// Writes biWidth x 3 bytes to `bgr`. Palette pictures take their colours from the header's
// table; 16 bits are read as 5-5-5; 32 bits as blue, green, red and an unused byte.
void rowToBgr(const DibImage& dib, int32_t y, uint8_t* bgr);

// True when an 8-bit record's table is the grey ramp (entry i is red = green = blue = i).
bool hasGreyRamp(const DibImage& dib);

}  // namespace picodec
