// RGB profiles made with Little CMS for the colour tests: Display P3 as phones write it, and
// primaries far outside sRGB's (those of the widest film encoding), whose matrix to sRGB has
// entries well beyond 1, so that the fast paths must keep their sums apart at their extremes.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace picotest {

inline std::vector<uint8_t> madeProfile(bool extreme) {
  const cmsCIExyY white = extreme ? cmsCIExyY{0.32168, 0.33767, 1.0} : cmsCIExyY{0.3127, 0.329, 1};
  const cmsCIExyYTRIPLE primaries =
      extreme ? cmsCIExyYTRIPLE{{0.7347, 0.2653, 1.0}, {0.0, 1.0, 1.0}, {0.0001, -0.0770, 1.0}}
              : cmsCIExyYTRIPLE{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  static const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve =
      extreme ? cmsBuildGamma(nullptr, 1.8) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

}  // namespace picotest
