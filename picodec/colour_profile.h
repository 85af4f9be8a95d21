// Colour profiles: pictures are handed over in sRGB. A picture that carries a profile gets a
// conversion that its reader runs on each row as the row is decoded; pictures without one,
// and pictures whose profile is sRGB already, get none and stay exactly as decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace picodec {

class ColourConversion {
 public:
  // How the decoded rows are laid out.
  enum class Layout {
    Bgr8,           // blue, green, red
    Grey8,          // one byte a pixel
    Cmyk8,          // cyan, magenta, yellow, black; 0 is no ink
    Cmyk8Inverted,  // the same with 255 as no ink, as Adobe writes it
  };

  // Profiles larger than this are not believed (nor read).
  static constexpr std::size_t kMaxProfileBytes = 4u << 20;

  // A conversion from the ICC profile to sRGB for rows of `layout`; null when the profile is
  // damaged, does not fit the layout, or is sRGB already. Conversions are kept per profile
  // and may be used by several threads at once.
  static std::shared_ptr<const ColourConversion> fromIcc(std::span<const uint8_t> profile,
                                                         Layout layout);
  // A conversion from RGB given by its white point and primaries (CIE xy) and a gamma, as a
  // PNG's cHRM and gAMA chunks give them (kSrgbCurve: sRGB's own tone curve); null when they
  // describe sRGB or are unusable.
  static constexpr double kSrgbCurve = -1;
  static std::shared_ptr<const ColourConversion> fromPrimaries(const double white[2],
                                                               const double red[2],
                                                               const double green[2],
                                                               const double blue[2], double gamma);

  virtual ~ColourConversion() = default;
  // Converts `width` pixels of the layout at `from` into blue, green, red at `to`. For Bgr8,
  // `to` may be `from`; for Grey8 use greyTable instead.
  virtual void convert(const uint8_t* from, uint8_t* to, int32_t width) const = 0;
  // The sRGB colour (blue, green, red) of each grey value: for Grey8 of each grey sample, for
  // Bgr8 of each grey (v, v, v).
  virtual void greyTable(uint8_t bgr[256][3]) const = 0;
  // Whether rows of 64 pixels and more take the processor's wide vector instructions.
  virtual bool convertsRowsWide() const { return false; }
};

}  // namespace picodec
