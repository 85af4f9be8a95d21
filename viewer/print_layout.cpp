#include "print_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace glim {
namespace {

constexpr int32_t kMinPercent = 1;
constexpr int32_t kMaxPercent = 100;

int32_t clampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// a * b div c, with the product in 64 bits so that large pages and pictures cannot wrap it.
int32_t mulDiv(int64_t a, int64_t b, int64_t c) {
  return c == 0 ? 0 : clampToInt32(a * b / c);
}

}  // namespace

int32_t percentOf(int32_t length, int32_t percent) {
  // nearbyint follows the default rounding mode: to nearest, halves to even.
  const double value = std::nearbyint(static_cast<double>(int64_t{length} * percent) / 100.0);
  return clampToInt32(static_cast<int64_t>(value));
}

PrintRect previewPage(int32_t boxWidth, int32_t boxHeight, int32_t pageWidth, int32_t pageHeight) {
  if (pageWidth <= 0 || pageHeight <= 0) return {};
  PrintRect page;
  if (pageHeight < pageWidth) {
    page.width = boxWidth;
    page.height = mulDiv(boxWidth, pageHeight, pageWidth);
  } else {
    page.height = boxHeight;
    page.width = mulDiv(boxHeight, pageWidth, pageHeight);
  }
  page.x = (boxWidth - page.width) / 2;
  page.y = (boxHeight - page.height) / 2;
  return page;
}

PrintRect placePicture(const PrintChoices& choices, const PrintRect& page, int32_t pictureWidth,
                       int32_t pictureHeight) {
  const int32_t picW = std::max(pictureWidth, 1);
  const int32_t picH = std::max(pictureHeight, 1);
  PrintRect placed;
  if (choices.useFullPage) {
    placed.width = page.width;
    placed.height = page.height;
    if (choices.keepAspect) {
      const int32_t t = mulDiv(page.width, picH, picW);
      if (page.height < t) {
        placed.width = mulDiv(page.height, picW, picH);
      } else {
        placed.height = t;
      }
    }
  } else {
    placed.width = percentOf(page.width, choices.widthPercent);
    placed.height = percentOf(page.height, choices.heightPercent);
  }
  placed.x = page.x;
  placed.y = page.y;
  if (choices.centered) {
    placed.x = clampToInt32(int64_t{page.x} + (int64_t{page.width} - placed.width) / 2);
    placed.y = clampToInt32(int64_t{page.y} + (int64_t{page.height} - placed.height) / 2);
  }
  return placed;
}

std::optional<int32_t> coupledPercent(int32_t pictureAcross, int32_t pictureAlong, int32_t percent,
                                      int32_t pageAlong, int32_t pageAcross) {
  if (pictureAcross <= 0 || pictureAlong <= 0 || pageAlong <= 0 || pageAcross <= 0) return {};
  // The integer product first, the rest in extended precision, the result kept as a double.
  const long double product = static_cast<long double>(int64_t{pictureAcross} * percent);
  const double x = static_cast<double>(product / pictureAlong * pageAlong / pageAcross);
  const double limited = std::clamp(std::trunc(x), double{kMinPercent}, double{kMaxPercent});
  return static_cast<int32_t>(limited);
}

}  // namespace glim
