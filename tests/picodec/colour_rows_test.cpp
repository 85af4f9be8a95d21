// Whole rows of a matrix-shaper conversion (64 pixels at a time with wide vector instructions
// where the processor has them) give the same bytes as short rows, which the tables alone do,
// over every colour; and both stay within 3 of Little CMS's own conversion.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "colour_profile.h"
#include "colour_rows_wide.h"
#include "made_profiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using picodec::ColourConversion;

Bytes readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(ColourRows, EveryColourAsShortRowsAndNearLittleCms) {
  if (!picodec::wide::available()) {
    std::printf("No 512-bit byte permutes here: every row takes the tables.\n");
  }
  const std::string colord = "/usr/share/color/icc/colord/";
  const std::vector<std::pair<std::string, Bytes>> profiles = {
      {"Adobe RGB", readAll(colord + "AdobeRGB1998.icc")},
      {"ProPhoto", readAll(colord + "ProPhotoRGB.icc")},
      {"Wide Gamut", readAll(colord + "WideGamutRGB.icc")},
      {"swapped", readAll(colord + "SwappedRedAndGreen.icc")},
      {"Display P3", picotest::madeProfile(false)},
      {"extreme", picotest::madeProfile(true)}};
  // Rows of every green and blue, 65,536 pixels, for red 0, 5, 10 ... 255.
  Bytes row(65536 * 3);
  for (const auto& [name, profile] : profiles) {
    SCOPED_TRACE(name);
    const auto conversion = ColourConversion::fromIcc(profile, ColourConversion::Layout::Bgr8);
    ASSERT_NE(conversion, nullptr);
    // Every one of these matrices fits the wide rows' 16-bit sums.
    EXPECT_EQ(conversion->convertsRowsWide(), picodec::wide::available());
    cmsHPROFILE in =
        cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM reference =
        cmsCreateTransform(in, TYPE_BGR_8, out, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_NE(reference, nullptr);
    int mismatches = 0, farthest = 0;
    Bytes whole(row.size()), shortRows(row.size()), expected(row.size());
    for (int red = 0; red < 256; red += 5) {
      for (int i = 0; i < 65536; ++i) {
        row[3 * i] = static_cast<uint8_t>(i), row[3 * i + 1] = static_cast<uint8_t>(i >> 8);
        row[3 * i + 2] = static_cast<uint8_t>(red);
      }
      whole = row;  // in place, as the readers convert
      conversion->convert(whole.data(), whole.data(), 65536);
      for (int x = 0; x < 65536; x += 63) {
        conversion->convert(&row[3 * x], &shortRows[3 * x], std::min(63, 65536 - x));
      }
      cmsDoTransform(reference, row.data(), expected.data(), 65536);
      for (size_t i = 0; i < row.size(); ++i) {
        mismatches += whole[i] != shortRows[i];
        farthest = std::max(farthest, std::abs(int(whole[i]) - int(expected[i])));
      }
    }
    cmsDeleteTransform(reference);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    EXPECT_EQ(mismatches, 0);
    EXPECT_LE(farthest, 3);
  }
}

}  // namespace
