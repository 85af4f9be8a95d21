// The album's creation settings: one definition of defaults and ranges, shared by the
// create page's fields and the album file.
#pragma once

#include <cstdint>
#include <string>

namespace glim {

// The range of a numeric spin field; a value set by the program is clamped to the nearest bound.
struct IntRange {
  int32_t min;
  int32_t max;
  constexpr int32_t clamp(int64_t value) const {
    return value < min ? min : value > max ? max : static_cast<int32_t>(value);
  }
};

inline constexpr IntRange kThumbSizeRange{1, 1000};  // BreitEd, HochEd
inline constexpr IntRange kPerLineRange{1, 50};      // AnzEd
inline constexpr IntRange kBorderRange{0, 10};       // BorderEd, Border2ED

// Colour value: red in the lowest byte, then green, then blue, top byte 0.
inline constexpr uint32_t kSilver = 0x00C0C0C0u;
inline constexpr uint32_t rgbColor(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
}

struct AlbumSettings {
  uint32_t backgroundColor = kSilver;                                 // Shape1
  int32_t thumbWidth = 90;                                            // BreitEd
  int32_t thumbHeight = 90;                                           // HochEd
  std::string caption = "Glimmervellium";                             // CaptionED
  std::string freeText = "Click on a picture to see it full sized.";  // FreeText
  int32_t perLine = 5;                                                // AnzEd
  int32_t borderWidth = 3;                                            // BorderEd
  std::string detailCaption = "Glimmervellium";                       // Caption2ED
  int32_t detailBorderWidth = 3;                                      // Border2ED

  // Brings every number into its range and the colour's top byte to 0, as the fields do.
  void clampAll() {
    backgroundColor &= 0x00FFFFFFu;
    thumbWidth = kThumbSizeRange.clamp(thumbWidth);
    thumbHeight = kThumbSizeRange.clamp(thumbHeight);
    perLine = kPerLineRange.clamp(perLine);
    borderWidth = kBorderRange.clamp(borderWidth);
    detailBorderWidth = kBorderRange.clamp(detailBorderWidth);
  }

  bool operator==(const AlbumSettings&) const = default;
};

}  // namespace glim
