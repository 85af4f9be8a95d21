// Drawing a rectangle of a picture scaled into a rectangle of a screen or printer device.
#pragma once

#include <cstdint>

#include "device_context.h"
#include "picodec.h"

namespace glim {

// Draws the source rectangle of `picture` (x from the left, y from the bottom line, as for
// bottom-up pictures) scaled into the destination rectangle of `device`. The source rectangle is
// first clipped to the picture, the destination shrunk in proportion. The way of drawing follows
// the picture's depth, the device and the display's depth: a halftoned copy for 24-bit pictures on
// a display of at most 8 bits (when `halftone` allows), own line-by-line scaling for 24- and 8-bit
// pictures on screens, and the device's own stretching with fallbacks otherwise. The palette is the
// picture's own (`ownPalette`) or `palette`; a null handle selects none. The picture is only read.
void StretchDrawDib(DeviceContext& device, int32_t destX, int32_t destY, int32_t destWidth,
                    int32_t destHeight, const DibImage& picture, int32_t srcX, int32_t srcY,
                    int32_t srcWidth, int32_t srcHeight, bool halftone, uint32_t rop,
                    bool ownPalette, HPALETTE palette);

// Nearest-neighbour scaling of a 24-bit picture done here, sent to the device one destination line
// at a time. `srcTop` counts lines from the picture's top line. Lines and columns that fall outside
// the picture are black. Returns how many source lines were copied into the line buffer (a line
// that repeats the one before is sent again without copying).
// Only the part of the destination inside `visible` (destination coordinates, right and bottom
// exclusive) is sent, with the pixels a whole drawing would put there.
struct VisibleRect {
  int64_t left, top, right, bottom;
};
int32_t StretchRows24(DeviceContext& device, int32_t destX, int32_t destY, int32_t destWidth,
                      int32_t destHeight, const DibImage& picture, int32_t srcX, int32_t srcTop,
                      int32_t srcWidth, int32_t srcHeight, const VisibleRect* visible = nullptr);

// The same for an 8-bit picture; the line carries the picture's colour table.
int32_t StretchRows8(DeviceContext& device, int32_t destX, int32_t destY, int32_t destWidth,
                     int32_t destHeight, const DibImage& picture, int32_t srcX, int32_t srcTop,
                     int32_t srcWidth, int32_t srcHeight, const VisibleRect* visible = nullptr);

}  // namespace glim
