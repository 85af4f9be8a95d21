// The preview pane's drawing size for pictures of every shape.
#include "preview_fit.h"

#include "gtest/gtest.h"

namespace glim {
namespace {

TEST(PreviewDrawSize, FitsThePictureAgainstTheRightOrBottomEdge) {
  struct Case {
    int32_t w, h, W, H;
    DrawSize expected;
  } cases[] = {
      {181, 70, 320, 200, {112, 70}},    // the white start picture
      {181, 70, 100, 1000, {7, 70}},     // tall: fills the height
      {181, 70, 1000, 100, {181, 18}},   // wide: fills the width
      {181, 70, 32, 32, {70, 70}},       // small pictures are enlarged
      {181, 70, 181, 70, {181, 70}},     // exactly the pane
      {100, 100, 3, 2, {100, 66}},       // truncating division
      {100, 33, 300, 100, {100, 33}},    // a tie (33 = 100 * 100 / 300) fills the width
      {181, 70, 1, 100000000, {0, 70}},  // a hairline keeps its aspect, rounded down
      {181, 70, 0, 200, {0, 0}},         // no picture size: nothing to draw
      {0, 70, 320, 200, {0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(previewDrawSize(c.w, c.h, c.W, c.H), c.expected)
        << c.w << "x" << c.h << " pane, " << c.W << "x" << c.H << " picture";
  }
}

TEST(PreviewDrawSize, LargeProductsDoNotOverflow) {
  // 2000 * 1500000000 does not fit 32 bits; the result must still be the true fit.
  EXPECT_EQ(previewDrawSize(2000, 70, 1000, 1500000000), (DrawSize{0, 70}));
  EXPECT_EQ(previewDrawSize(2000000000, 2000000000, 3, 2), (DrawSize{2000000000, 1333333333}));
}

}  // namespace
}  // namespace glim
