// Where a picture goes on a printed page: the rules shared by the print dialog's preview and
// the print job, as plain integer functions. Sizes are device pixels; products are taken in
// 64 bits, divisions truncate toward zero, percentages of a page round halves to even.
#pragma once

#include <cstdint>
#include <optional>

namespace glim {

// The choices of the print options dialog that decide the printed rectangle.
struct PrintChoices {
  bool useFullPage = true;  // "Use page fully"; otherwise "User-defined"
  bool keepAspect = true;   // "Maintain aspect ratio"
  bool centered = true;     // "Centered output"
  int32_t widthPercent = 50;
  int32_t heightPercent = 50;

  bool operator==(const PrintChoices&) const = default;
};

struct PrintRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const PrintRect&) const = default;
};

// The page of pageWidth x pageHeight shown in miniature, as large as fits a box of
// boxWidth x boxHeight and centred in it. Empty when the page has no size.
PrintRect previewPage(int32_t boxWidth, int32_t boxHeight, int32_t pageWidth, int32_t pageHeight);

// The picture's rectangle on a page whose top-left corner is `page.x`, `page.y`. A picture
// without pixels counts as 1 x 1.
PrintRect placePicture(const PrintChoices& choices, const PrintRect& page, int32_t pictureWidth,
                       int32_t pictureHeight);

// What one percentage field becomes when the other changes with "Maintain aspect ratio" on:
// truncate(pictureAcross * percent / pictureAlong * pageAlong / pageAcross), limited to 1..100.
// The width rule passes (picture height, width, width %, page width, page height); the height
// rule the other way round. Nothing when a size is not positive.
std::optional<int32_t> coupledPercent(int32_t pictureAcross, int32_t pictureAlong, int32_t percent,
                                      int32_t pageAlong, int32_t pageAcross);

// round(length * percent / 100), halves to the even neighbour.
int32_t percentOf(int32_t length, int32_t percent);

}  // namespace glim
