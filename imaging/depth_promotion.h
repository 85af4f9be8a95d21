// Promotion of palette pictures (1, 4 or 8 bits per pixel) to 24 bits per pixel.
#pragma once

#include "picodec.h"

namespace glim {

// Replaces a 1-, 4- or 8-bit picture by a 24-bit one of the same size and frees the old one.
// Leaves the picture unchanged when it already has 24 bits, has another depth (16, 32), holds
// no picture, or when the new picture cannot be made; the caller checks the depth afterwards.
// 1 bit: index 0 becomes black, any other white (the colour table is not consulted).
// 4 and 8 bits: colours come from PaletteEntries.
void DepthUpTo24(DibImage& picture);

}  // namespace glim
