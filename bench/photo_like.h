// A 24-megapixel (6000 x 4000) 24-bit picture with smooth gradients and some texture, as the
// benchmarks' stand-in for a photograph. The caller frees it with deldib.
#pragma once

#include <cstdint>

#include "picodec.h"

namespace glim::bench {

inline DibImage makePhotoLikePicture() {
  DibImage made{};
  newdib(&made, 6000, 4000, 24, nullptr, 0);
  for (int32_t y = 0; y < 4000; ++y) {
    uint8_t* row = made.Pixels + int64_t{y} * made.RowBytes;
    for (int32_t x = 0; x < 6000; ++x) {
      row[3 * x] = static_cast<uint8_t>(x / 24 + (x * y) % 7);
      row[3 * x + 1] = static_cast<uint8_t>(y / 16 + (x ^ y) % 5);
      row[3 * x + 2] = static_cast<uint8_t>((x + y) / 40);
    }
  }
  return made;
}

}  // namespace glim::bench
