#include "colour_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace picodec {
namespace {

using Layout = ColourConversion::Layout;

// Profiles larger than this are not believed.
constexpr size_t kMaxProfileBytes = 4u << 20;
// Distinct profiles kept converted at once.
constexpr size_t kMaxCached = 16;
// Linear light in the fast path: 12 bits, so that every table stays in the first-level cache.
constexpr int kLinearBits = 12;
constexpr int kLinearMax = (1 << kLinearBits) - 1;

struct ProfileHandle {
  cmsHPROFILE profile;
  explicit ProfileHandle(cmsHPROFILE p) : profile(p) {}
  ~ProfileHandle() {
    if (profile != nullptr) cmsCloseProfile(profile);
  }
  ProfileHandle(const ProfileHandle&) = delete;
  ProfileHandle& operator=(const ProfileHandle&) = delete;
};

double srgbEncode(double linear) {
  linear = std::clamp(linear, 0.0, 1.0);
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

double srgbDecode(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

using Matrix = std::array<std::array<double, 3>, 3>;

bool invert(const Matrix& m, Matrix& out) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  out[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
  out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
  out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
  out[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
  out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
  out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
  out[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
  out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
  out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
  return true;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
  return r;
}

// The colorants of a matrix-shaper RGB profile as columns (XYZ relative to D50).
bool colorants(cmsHPROFILE profile, Matrix& m) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                   cmsSigBlueColorantTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
    if (xyz == nullptr) return false;
    m[0][c] = xyz->X;
    m[1][c] = xyz->Y;
    m[2][c] = xyz->Z;
  }
  return true;
}

// The sRGB profile's colorant matrix and its inverse, made once.
const Matrix& srgbToXyz() {
  static const Matrix m = [] {
    Matrix result{};
    ProfileHandle srgb(cmsCreate_sRGBProfile());
    colorants(srgb.profile, result);
    return result;
  }();
  return m;
}

// 8-bit RGB through tone curves and a matrix: the common case of camera and phone profiles
// (Adobe RGB, Display P3, ProPhoto), done with tables so that it costs little more than a
// copy of the row.
class MatrixShaper final : public ColourConversion {
 public:
  // Null when the curves and matrix are those of sRGB, so nothing needs doing.
  static std::shared_ptr<MatrixShaper> make(const std::array<const cmsToneCurve*, 3>& curves,
                                            const Matrix& toXyz) {
    Matrix fromXyz{};
    if (!invert(srgbToXyz(), fromXyz)) return nullptr;
    const Matrix m = multiply(fromXyz, toXyz);
    auto shaper = std::make_shared<MatrixShaper>();
    bool identity = true;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        if (!std::isfinite(m[i][j]) || std::fabs(m[i][j]) > 8) return nullptr;
        shaper->matrix_[i][j] = static_cast<int32_t>(std::lround(m[i][j] * 4096));
        identity = identity && std::fabs(m[i][j] - (i == j ? 1.0 : 0.0)) < 2e-3;
      }
    }
    for (int c = 0; c < 3; ++c) {
      for (int v = 0; v < 256; ++v) {
        const double linear = cmsEvalToneCurveFloat(curves[c], static_cast<float>(v / 255.0));
        if (!std::isfinite(linear)) return nullptr;
        shaper->input_[c][v] =
            static_cast<int32_t>(std::lround(std::clamp(linear, 0.0, 1.0) * kLinearMax));
        identity = identity && std::fabs(linear - srgbDecode(v / 255.0)) < 1.0 / 1024;
      }
    }
    if (identity) return nullptr;
    for (int i = 0; i <= kLinearMax; ++i) {
      shaper->output_[i] =
          static_cast<uint8_t>(std::lround(srgbEncode(static_cast<double>(i) / kLinearMax) * 255));
    }
    for (int in = 0; in < 3; ++in) {
      for (int v = 0; v < 256; ++v) {
        for (int out = 0; out < 3; ++out) {
          // The rounding half goes in with the red share.
          shaper->share_[in][v][out] =
              shaper->matrix_[out][in] * shaper->input_[in][v] + (in == 0 ? 2048 : 0);
        }
      }
    }
    return shaper;
  }

  void convert(const uint8_t* from, uint8_t* to, int32_t width) const override {
    // Each input channel's share of each output channel is a table: a pixel costs nine loads
    // and six additions. Locals and restrict, since the byte stores could alias the tables.
    const int32_t(*__restrict red)[4] = share_[0];
    const int32_t(*__restrict green)[4] = share_[1];
    const int32_t(*__restrict blue)[4] = share_[2];
    const uint8_t* __restrict output = output_;
    const auto encode = [output](int32_t v) {
      v >>= 12;
      v = v < 0 ? 0 : (v > kLinearMax ? kLinearMax : v);
      return output[v];
    };
    for (int32_t x = 0; x < width; ++x, from += 3, to += 3) {
      const int32_t* b = blue[from[0]];
      const int32_t* g = green[from[1]];
      const int32_t* r = red[from[2]];
      const uint8_t outRed = encode(r[0] + g[0] + b[0]);
      const uint8_t outGreen = encode(r[1] + g[1] + b[1]);
      const uint8_t outBlue = encode(r[2] + g[2] + b[2]);
      to[0] = outBlue;
      to[1] = outGreen;
      to[2] = outRed;
    }
  }
  void greyTable(uint8_t[256][3]) const override {}

 private:
  int32_t matrix_[3][3]{};
  int32_t input_[3][256]{};
  int32_t share_[3][256][4]{};  // input channel, value, output channel (padded to 4)
  uint8_t output_[kLinearMax + 1]{};
};

// Any other profile through Little CMS itself.
class GeneralConversion final : public ColourConversion {
 public:
  GeneralConversion(cmsHTRANSFORM transform, Layout layout)
      : transform_(transform), layout_(layout) {}
  ~GeneralConversion() override { cmsDeleteTransform(transform_); }

  void convert(const uint8_t* from, uint8_t* to, int32_t width) const override {
    cmsDoTransform(transform_, from, to, static_cast<cmsUInt32Number>(width));
  }
  void greyTable(uint8_t bgr[256][3]) const override {
    if (layout_ != Layout::Grey8) return;
    uint8_t greys[256];
    for (int i = 0; i < 256; ++i) greys[i] = static_cast<uint8_t>(i);
    cmsDoTransform(transform_, greys, bgr, 256);
  }

 private:
  cmsHTRANSFORM transform_;
  Layout layout_;
};

cmsUInt32Number inputFormat(Layout layout) {
  switch (layout) {
    case Layout::Bgr8:
      return TYPE_BGR_8;
    case Layout::Grey8:
      return TYPE_GRAY_8;
    case Layout::Cmyk8:
      return TYPE_CMYK_8;
    case Layout::Cmyk8Inverted:
      return TYPE_CMYK_8_REV;
  }
  return 0;
}

cmsColorSpaceSignature spaceOf(Layout layout) {
  switch (layout) {
    case Layout::Bgr8:
      return cmsSigRgbData;
    case Layout::Grey8:
      return cmsSigGrayData;
    case Layout::Cmyk8:
    case Layout::Cmyk8Inverted:
      return cmsSigCmykData;
  }
  return cmsSigRgbData;
}

// Little CMS reports damaged profiles through this; they are simply not used.
void quietErrors(cmsContext, cmsUInt32Number, const char*) {}

std::shared_ptr<const ColourConversion> makeConversion(cmsHPROFILE source, Layout layout) {
  if (cmsGetColorSpace(source) != spaceOf(layout)) return nullptr;
  if (layout == Layout::Bgr8 && cmsIsMatrixShaper(source)) {
    Matrix toXyz{};
    const std::array<const cmsToneCurve*, 3> curves = {
        static_cast<const cmsToneCurve*>(cmsReadTag(source, cmsSigRedTRCTag)),
        static_cast<const cmsToneCurve*>(cmsReadTag(source, cmsSigGreenTRCTag)),
        static_cast<const cmsToneCurve*>(cmsReadTag(source, cmsSigBlueTRCTag))};
    if (curves[0] != nullptr && curves[1] != nullptr && curves[2] != nullptr &&
        colorants(source, toXyz)) {
      return MatrixShaper::make(curves, toXyz);
    }
  }
  ProfileHandle srgb(cmsCreate_sRGBProfile());
  const cmsHTRANSFORM transform =
      cmsCreateTransform(source, inputFormat(layout), srgb.profile, TYPE_BGR_8,
                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
  if (transform == nullptr) return nullptr;
  return std::make_shared<GeneralConversion>(transform, layout);
}

// Conversions by profile bytes and layout; a null entry remembers a profile that needs none.
class ConversionCache {
 public:
  std::shared_ptr<const ColourConversion> get(
      std::string key, const std::function<std::shared_ptr<const ColourConversion>()>& make) {
    {
      std::lock_guard lock(mutex_);
      if (const auto found = entries_.find(key); found != entries_.end()) return found->second;
    }
    std::shared_ptr<const ColourConversion> made = make();
    std::lock_guard lock(mutex_);
    if (entries_.size() >= kMaxCached) entries_.clear();
    entries_.emplace(std::move(key), made);
    return made;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const ColourConversion>> entries_;
};

ConversionCache& cache() {
  static ConversionCache* conversions = [] {
    cmsSetLogErrorHandler(quietErrors);
    return new ConversionCache;  // kept for the life of the process
  }();
  return *conversions;
}

}  // namespace

std::shared_ptr<const ColourConversion> ColourConversion::fromIcc(std::span<const uint8_t> profile,
                                                                  Layout layout) {
  if (profile.size() < 128 || profile.size() > kMaxProfileBytes) return nullptr;
  std::string key(reinterpret_cast<const char*>(profile.data()), profile.size());
  key.push_back(static_cast<char>(layout));
  return cache().get(
      std::move(key), [profile, layout]() -> std::shared_ptr<const ColourConversion> {
        ProfileHandle source(
            cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
        if (source.profile == nullptr) return nullptr;
        return makeConversion(source.profile, layout);
      });
}

std::shared_ptr<const ColourConversion> ColourConversion::fromPrimaries(const double white[2],
                                                                        const double red[2],
                                                                        const double green[2],
                                                                        const double blue[2],
                                                                        double gamma) {
  const double values[] = {white[0], white[1], red[0],  red[1], green[0],
                           green[1], blue[0],  blue[1], gamma};
  for (const double v : values) {
    if (!std::isfinite(v) || (v <= 0 && v != kSrgbCurve) || v > 10) return nullptr;
  }
  std::string key(reinterpret_cast<const char*>(values), sizeof values);
  key.push_back('p');
  return cache().get(std::move(key), [&]() -> std::shared_ptr<const ColourConversion> {
    const cmsCIExyY whitePoint{white[0], white[1], 1.0};
    const cmsCIExyYTRIPLE primaries{
        {red[0], red[1], 1.0}, {green[0], green[1], 1.0}, {blue[0], blue[1], 1.0}};
    static const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = gamma == kSrgbCurve ? cmsBuildParametricToneCurve(nullptr, 4, srgb)
                                              : cmsBuildGamma(nullptr, gamma);
    if (curve == nullptr) return nullptr;
    cmsToneCurve* curves[3] = {curve, curve, curve};
    ProfileHandle source(cmsCreateRGBProfile(&whitePoint, &primaries, curves));
    cmsFreeToneCurve(curve);
    if (source.profile == nullptr) return nullptr;
    return makeConversion(source.profile, Layout::Bgr8);
  });
}

}  // namespace picodec
