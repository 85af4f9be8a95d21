// Small read-only helpers on a DibImage record: size, depth and colour count.
#pragma once

#include <cstdint>

#include "picodec.h"

namespace glim {

inline int32_t DibWidth(const DibImage& dib) {
  return dib.Header->biWidth;
}
inline int32_t DibHeight(const DibImage& dib) {
  return dib.Header->biHeight;
}
inline uint32_t DibBitCount(const DibImage& dib) {
  return dib.Header->biBitCount;
}

// 2 to the power n by n doublings in 32-bit arithmetic: wraps to 0 from n = 32 on.
inline int32_t PowerOfTwo(int32_t n) {
  uint32_t value = 1;
  for (int32_t i = 0; i < n; ++i) value *= 2u;
  return static_cast<int32_t>(value);
}

inline int32_t DibColorCount(const DibImage& dib) {
  return PowerOfTwo(static_cast<int32_t>(DibBitCount(dib)));
}

// Colour-table entries to pass on when copying a picture's table: the count if at most 256.
inline int32_t DibTableColors(const DibImage& dib) {
  const int32_t count = DibColorCount(dib);
  return (count > 0 && count <= 256) ? count : 0;
}

}  // namespace glim
