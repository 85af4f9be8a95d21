// The display's bits per pixel, which decides whether 24-bit pictures are halftoned.
#pragma once

#include <cstdint>

namespace glim {

// Bits per pixel of the primary screen, asked afresh at every call; 32 when there is no screen
// (no application object, or a platform without screens).
int32_t ScreenBitsPerPixel();

// While one exists, ScreenBitsPerPixel reports `bits` instead of the screen's depth and counts
// how often it was asked. Lets tests run the palette-display paths on a true-colour screen.
class ScreenDepthOverride {
 public:
  explicit ScreenDepthOverride(int32_t bits);
  ~ScreenDepthOverride();
  ScreenDepthOverride(const ScreenDepthOverride&) = delete;
  ScreenDepthOverride& operator=(const ScreenDepthOverride&) = delete;

  int32_t queries() const;

 private:
  int32_t previousBits_;
  int32_t previousQueries_;
};

}  // namespace glim
