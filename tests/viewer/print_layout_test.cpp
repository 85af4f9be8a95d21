// The print layout rules with the figures the dialog and the print job are known to produce.
#include "print_layout.h"

#include <climits>

#include "gtest/gtest.h"

namespace glim {
namespace {

constexpr PrintChoices kFullAspectCentred{true, true, true, 50, 50};

struct PlacementCase {
  const char* what;
  PrintChoices choices;
  PrintRect page;
  int32_t pictureWidth, pictureHeight;
  PrintRect expected;
};

TEST(PrintLayoutTest, PlacesThePictureOnPreviewAndPrinterPages) {
  const PlacementCase cases[] = {
      {"preview, user-defined 50 x 26 on portrait page",
       {false, true, true, 50, 26},
       {28, 0, 134, 190},
       800,
       600,
       {61, 70, 67, 49}},
      {"preview, landscape page, taller picture fills the height",
       kFullAspectCentred,
       {0, 28, 190, 134},
       600,
       800,
       {45, 28, 100, 134}},
      {"printer, wide picture fills the width",
       kFullAspectCentred,
       {0, 0, 4800, 6800},
       800,
       600,
       {0, 1600, 4800, 3600}},
      {"printer, tall picture fills the height",
       kFullAspectCentred,
       {0, 0, 4800, 6800},
       600,
       1800,
       {1267, 0, 2266, 6800}},
      {"page's own proportions fill both",
       kFullAspectCentred,
       {0, 0, 4800, 6800},
       480,
       680,
       {0, 0, 4800, 6800}},
      {"aspect off fills the page, centred",
       {true, false, true, 50, 50},
       {0, 0, 4800, 6800},
       600,
       1800,
       {0, 0, 4800, 6800}},
      {"aspect off fills the page, not centred",
       {true, false, false, 50, 50},
       {0, 0, 4800, 6800},
       600,
       1800,
       {0, 0, 4800, 6800}},
      {"user-defined 50 % rounds half to even",
       {false, true, true, 50, 50},
       {0, 0, 4961, 7016},
       800,
       600,
       {1240, 1754, 2480, 3508}},
      {"user-defined 100 x 100 fills the page",
       {false, false, true, 100, 100},
       {10, 20, 134, 190},
       800,
       600,
       {10, 20, 134, 190}},
      {"user-defined, not centred: top-left corner",
       {false, true, false, 30, 40},
       {28, 0, 134, 190},
       800,
       600,
       {28, 0, 40, 76}},
      {"centring halves an odd difference toward zero",
       {false, true, true, 1, 1},
       {0, 0, -3, 5},
       1,
       1,
       {-1, 2, 0, 0}},
      {"a page and picture too large for 32-bit products",
       kFullAspectCentred,
       {0, 0, 100000, 140000},
       60000,
       40000,
       {0, 36667, 100000, 66666}},
  };
  for (const PlacementCase& c : cases) {
    EXPECT_EQ(placePicture(c.choices, c.page, c.pictureWidth, c.pictureHeight), c.expected)
        << c.what;
  }
}

TEST(PrintLayoutTest, PreviewPageKeepsThePrintersProportions) {
  struct Case {
    int32_t pageWidth, pageHeight;
    PrintRect expected;
  } cases[] = {
      {4800, 6800, {28, 0, 134, 190}},  // portrait: as high as the box
      {6800, 4800, {0, 28, 190, 134}},  // landscape: as wide as the box
      {5000, 5000, {0, 0, 190, 190}},   // square counts as portrait
      {0, 6800, {0, 0, 0, 0}},          // no page size: nothing to show
  };
  for (const Case& c : cases) {
    EXPECT_EQ(previewPage(190, 190, c.pageWidth, c.pageHeight), c.expected)
        << c.pageWidth << " x " << c.pageHeight;
  }
}

TEST(PrintLayoutTest, CoupledPercentTruncatesAndStaysInRange) {
  struct Case {
    int32_t a, b, percent, pageA, pageB;
    std::optional<int32_t> expected;
  } cases[] = {
      {600, 800, 50, 4800, 6800, 26},    // 26.47: width rule, picture 800 x 600
      {800, 600, 30, 4800, 6800, 28},    // 600 x 800 picture, width 30
      {600, 800, 15, 6800, 4800, 15},    // height rule back from 15
      {800, 600, 15, 4800, 6800, 14},    // 14.1
      {1800, 600, 90, 4800, 6800, 100},  // beyond 100 is limited
      {1, 5000, 1, 4800, 6800, 1},       // below 1 is limited
      {600, 0, 50, 4800, 6800, std::nullopt},
      {600, 800, 50, 4800, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(coupledPercent(c.a, c.b, c.percent, c.pageA, c.pageB), c.expected)
        << c.a << " " << c.b << " " << c.percent;
  }
  EXPECT_EQ(percentOf(4961, 50), 2480);  // 2480.5 goes to the even neighbour
  EXPECT_EQ(percentOf(4963, 50), 2482);  // 2481.5 goes to the even neighbour
  EXPECT_EQ(percentOf(190, 26), 49);     // 49.4
  EXPECT_EQ(percentOf(INT_MAX, 100), INT_MAX);
}

}  // namespace
}  // namespace glim
