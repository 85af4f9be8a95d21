#include "stretch_draw.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dibs24.h"
#include "screen_depth.h"

namespace glim {
namespace {

// numerator / denominator rounded to the nearest integer, halves to the even neighbour. The
// product that forms the numerator is taken in 64 bits so that large pages cannot overflow it.
int32_t roundedRatio(int64_t numerator, int64_t denominator) {
  const double value =
      std::nearbyint(static_cast<double>(numerator) / static_cast<double>(denominator));
  if (value >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

struct Rect {
  int32_t x, y, width, height;
};

// Shrinks the source rectangle to the picture and the destination in proportion, in the order
// right edge, bottom, top, left edge. Source y counts from the picture's bottom line.
void clipToPicture(Rect& dest, Rect& src, int32_t pictureWidth, int32_t pictureHeight) {
  if (pictureWidth < int64_t{src.x} + src.width) {
    const int32_t w = pictureWidth - src.x;
    dest.width = roundedRatio(int64_t{dest.width} * w, src.width);
    src.width = w;
  }
  if (src.y < 0) {
    dest.height = roundedRatio((int64_t{src.height} + src.y) * dest.height, src.height);
    src.height = src.height + src.y;
    src.y = 0;
  }
  if (pictureHeight < int64_t{src.y} + src.height) {
    const int32_t h = pictureHeight - src.y;
    const int32_t d = roundedRatio(int64_t{dest.height} * h, src.height);
    dest.y = dest.y + dest.height - d;
    dest.height = d;
    src.height = h;
  }
  if (src.x < 0) {
    const int32_t d = roundedRatio((int64_t{src.x} + src.width) * dest.width, src.width);
    dest.x = dest.x + dest.width - d;
    dest.width = d;
    src.width = src.width + src.x;
    src.x = 0;
  }
}

// Keeps the device's palette to put back, selecting only once per drawing.
class PaletteSelection {
 public:
  explicit PaletteSelection(DeviceContext& device) : device_(device) {}
  void select(HPALETTE palette) {
    if (palette == nullptr) return;  // a null handle selects nothing
    HPALETTE previous = device_.SelectPalette(palette, false);
    if (!selected_) previous_ = previous;
    selected_ = true;
    device_.RealizePalette();
  }
  void restore() {
    if (selected_) device_.SelectPalette(previous_, false);
    selected_ = false;
  }

 private:
  DeviceContext& device_;
  HPALETTE previous_ = nullptr;
  bool selected_ = false;
};

void drawHalftoned(DeviceContext& device, const Rect& dest, const DibImage& picture,
                   const Rect& src, uint32_t rop, HPALETTE chosen, PaletteSelection& palette) {
  const int32_t width = DibWidth(picture);
  const int32_t height = DibHeight(picture);
  const bool reduced = src.width > dest.width || src.height > dest.height;
  DibImage copy{};
  if (reduced) {
    DIBHalftoneDIBXY(&copy, picture, roundedRatio(int64_t{width} * dest.width, src.width),
                     roundedRatio(int64_t{height} * dest.height, src.height));
  } else {
    DIBHalftoneDIB(&copy, picture);
  }
  if (copy.Pixels == nullptr) {  // the library could not make the copy: nothing to draw
    if (copy.Storage != 0) deldib(copy);
    return;
  }
  palette.select(chosen);
  if (reduced) {
    // One copy pixel per device pixel, from the copy's position of the source corner.
    const int32_t x = roundedRatio(int64_t{DibWidth(copy)} * src.x, width);
    const int32_t y = roundedRatio(int64_t{DibHeight(copy)} * src.y, height);
    device.StretchDIBits(dest.x, dest.y, dest.width, dest.height, x, y, dest.width, dest.height,
                         copy.Pixels, copy.Header, DIB_RGB_COLORS, rop);
  } else {
    device.StretchDIBits(dest.x, dest.y, dest.width, dest.height, src.x, src.y, src.width,
                         src.height, copy.Pixels, copy.Header, DIB_RGB_COLORS, rop);
  }
  palette.restore();
  deldib(copy);
}

// Destination index i of n mapped onto source index 0 .. length - 1 so that the first and last
// coincide. A single destination pixel takes the first source pixel.
int64_t endpointSample(int64_t i, int64_t length, int64_t n) {
  return n > 1 ? (length - 1) * i / (n - 1) : 0;
}

// Scales the picture by hand into a copy of the destination's size and sends it unscaled.
// False when the copy cannot be made or the device refuses it.
bool drawHandScaled(DeviceContext& device, const Rect& dest, const DibImage& picture,
                    const Rect& src) {
  const uint32_t bits = DibBitCount(picture);
  DibImage copy{};
  newdib(&copy, dest.width, dest.height, static_cast<int32_t>(bits), picture.Header,
         DibTableColors(picture));
  if (copy.Pixels == nullptr) {
    if (copy.Storage != 0) deldib(copy);
    return false;
  }
  for (int32_t y = 0; y < dest.height; ++y) {
    const int64_t sy = src.y + endpointSample(y, src.height, dest.height);
    const uint8_t* from = picture.Pixels + sy * picture.RowBytes;
    uint8_t* to = copy.Pixels + int64_t{y} * copy.RowBytes;
    for (int32_t x = 0; x < dest.width; ++x) {
      const int64_t sx = src.x + endpointSample(x, src.width, dest.width);
      switch (bits) {
        case 1:
          setpixel(copy, x, y,
                   getpixel(picture, static_cast<int32_t>(sx), static_cast<int32_t>(sy)));
          break;
        case 4: {
          const uint8_t value = (sx % 2 == 0) ? (from[sx / 2] >> 4) : (from[sx / 2] & 15);
          to[x / 2] |= (x % 2 == 0) ? static_cast<uint8_t>(value << 4) : value;
          break;
        }
        case 8:
          to[x] = from[sx];
          break;
        case 24:
          for (int c = 0; c < 3; ++c) to[3 * x + c] = from[3 * sx + c];
          break;
        default:  // other depths stay black
          break;
      }
    }
  }
  const int32_t lines = device.SetDIBitsToDevice(dest.x, dest.y, dest.width, dest.height, 0, 0, 0,
                                                 static_cast<uint32_t>(dest.height), copy.Pixels,
                                                 copy.Header, DIB_RGB_COLORS);
  deldib(copy);
  return lines != 0;
}

// Through a device bitmap: the last way, for devices that take neither stretched nor plain
// device-independent bits.
void drawThroughBitmap(DeviceContext& device, const Rect& dest, const DibImage& picture,
                       const Rect& src, uint32_t rop) {
  const int32_t width = DibWidth(picture);
  const int32_t height = DibHeight(picture);
  std::unique_ptr<DeviceBitmap> bitmap = device.CreateCompatibleBitmap(width, height);
  std::unique_ptr<DeviceContext> memory = bitmap ? device.CreateCompatibleDC() : nullptr;
  if (!bitmap || !memory) {
    device.ShowMessage("Could not create bitmap.");
    return;
  }
  if (memory->SetDIBits(*bitmap, 0, static_cast<uint32_t>(height), picture.Pixels, picture.Header,
                        DIB_RGB_COLORS) == 0) {
    device.ShowMessage("The device does not support the Funtkion setdibits!");
    return;
  }
  DeviceBitmap* previous = memory->SelectBitmap(bitmap.get());
  // The bitmap is top-down, so the source rectangle's top is counted from the picture's top.
  const int32_t top = height - src.y - src.height;
  if (!device.StretchBlt(dest.x, dest.y, dest.width, dest.height, *memory, src.x, top, src.width,
                         src.height, rop)) {
    device.ShowMessage("The device does not support the function StretchBlt!");
  }
  memory->SelectBitmap(previous);
}

void drawGeneral(DeviceContext& device, const Rect& dest, const DibImage& picture, const Rect& src,
                 uint32_t rop) {
  const bool takesDibs = (device.GetDeviceCaps(RASTERCAPS) & RC_DIBTODEV) != 0;
  if (device.StretchDIBits(dest.x, dest.y, dest.width, dest.height, src.x, src.y, src.width,
                           src.height, picture.Pixels, picture.Header, DIB_RGB_COLORS,
                           rop) != GDI_ERROR) {
    return;
  }
  if (takesDibs && drawHandScaled(device, dest, picture, src)) return;
  drawThroughBitmap(device, dest, picture, src, rop);
}

}  // namespace

void StretchDrawDib(DeviceContext& device, int32_t destX, int32_t destY, int32_t destWidth,
                    int32_t destHeight, const DibImage& picture, int32_t srcX, int32_t srcY,
                    int32_t srcWidth, int32_t srcHeight, bool halftone, uint32_t rop,
                    bool ownPalette, HPALETTE palette) {
  if (picture.Header == nullptr || picture.Pixels == nullptr) return;
  if (srcWidth == 0 || srcHeight == 0) return;  // nothing to scale from

  const bool printer = device.GetDeviceCaps(TECHNOLOGY) == DT_RASPRINTER;
  device.SetStretchBltMode(COLORONCOLOR);

  const int32_t width = DibWidth(picture);
  const int32_t height = DibHeight(picture);
  Rect dest{destX, destY, destWidth, destHeight};
  Rect src{srcX, srcY, srcWidth, srcHeight};
  clipToPicture(dest, src, width, height);
  // A source rectangle wholly outside the picture leaves nothing to draw (and nothing to divide
  // by); neither does an empty destination.
  if (src.width <= 0 || src.height <= 0 || dest.width <= 0 || dest.height <= 0) return;

  const HPALETTE chosen = ownPalette ? picture.Palette : palette;
  PaletteSelection selection(device);
  if (picture.HasPalette == 1) selection.select(chosen);

  // What the device can show now: a zoomed picture far larger than the screen is drawn only
  // where it is visible.
  VisibleRect visible{dest.x, dest.y, int64_t{dest.x} + dest.width, int64_t{dest.y} + dest.height};
  int32_t clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
  if (device.GetClipBox(clipLeft, clipTop, clipRight, clipBottom)) {
    visible = {std::max<int64_t>(visible.left, clipLeft), std::max<int64_t>(visible.top, clipTop),
               std::min<int64_t>(visible.right, clipRight),
               std::min<int64_t>(visible.bottom, clipBottom)};
    if (visible.left >= visible.right || visible.top >= visible.bottom) {
      selection.restore();
      return;
    }
  }

  const uint32_t bits = DibBitCount(picture);
  if (bits == 24 && ScreenBitsPerPixel() <= 8 && halftone) {
    drawHalftoned(device, dest, picture, src, rop, chosen, selection);
  } else if (bits == 24 && !printer) {
    StretchRows24(device, dest.x, dest.y, dest.width, dest.height, picture, src.x,
                  height - src.y - src.height, src.width, src.height, &visible);
  } else if (bits == 8 && !printer) {
    StretchRows8(device, dest.x, dest.y, dest.width, dest.height, picture, src.x,
                 height - src.y - src.height, src.width, src.height, &visible);
  } else {
    drawGeneral(device, dest, picture, src, rop);
  }
  selection.restore();
}

}  // namespace glim
