// The size at which the preview pane draws a picture: aspect kept, touching the pane's right
// or bottom edge, from the pane's top left corner.
#pragma once

#include <cstdint>

namespace glim {

struct DrawSize {
  int32_t width;
  int32_t height;
  bool operator==(const DrawSize&) const = default;
};

// Pane w x h, picture W x H; divisions truncate. Products are taken in 64 bits, so that a very
// tall or wide picture cannot overflow; a picture without size draws nothing.
DrawSize previewDrawSize(int32_t paneWidth, int32_t paneHeight, int32_t pictureWidth,
                         int32_t pictureHeight);

}  // namespace glim
