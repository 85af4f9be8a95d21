// Hints about the pixel memory of pictures this code has just made and is about to fill.
#pragma once

#include "picodec.h"

namespace glim {

// Asks the system to back the fresh, still untouched pixel memory of a large picture with huge
// pages. Filling a 24-megapixel 24-bit picture otherwise takes some 18,000 page faults, which cost
// several times more than the writing itself. Only a hint: the pixels are the same either way.
void adviseLargePixelWrite(const DibImage& picture);

}  // namespace glim
