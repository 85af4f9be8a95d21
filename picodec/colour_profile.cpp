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
#include <vector>

#include "colour_rows_wide.h"

namespace picodec {
namespace {

using Layout = ColourConversion::Layout;

// Distinct profiles kept converted at once.
constexpr size_t kMaxCached = 16;
// Linear light in the fast path: 12 bits, so that every table stays in the first-level cache.
constexpr int kLinearBits = 12;
constexpr int kLinearMax = (1 << kLinearBits) - 1;
// Linear light as looked up for each input byte: 15 bits.
constexpr int kLinearOne = 32767;
// The matrix path's per-channel sums: 21 bits each, three to a 64-bit word.
constexpr int kFieldBits = 21;
constexpr uint64_t kFieldMask = (uint64_t{1} << kFieldBits) - 1;

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

// The sRGB profile's colorant matrix, made once.
const Matrix& srgbToXyz() {
  static const Matrix m = [] {
    Matrix result{};
    ProfileHandle srgb(cmsCreate_sRGBProfile());
    colorants(srgb.profile, result);
    return result;
  }();
  return m;
}

// The sRGB byte of each linear step, and the same curve in the form the wide rows read; made once.
struct SrgbOutput {
  uint8_t byStep[kLinearMax + 1];
  wide::SrgbSteps steps;
  bool stepsHold = true;  // every run of the wide rows' tables rises by one at most twice
};

const SrgbOutput& srgbOutput() {
  static const SrgbOutput made = [] {
    SrgbOutput o{};
    for (int step = 0; step <= kLinearMax; ++step) {
      o.byStep[step] = static_cast<uint8_t>(
          std::lround(srgbEncode(static_cast<double>(step) / kLinearMax) * 255));
    }
    std::copy_n(o.byStep, 128, o.steps.dark);
    // Each run's start and rises; false when a run rises more than twice or by more than one.
    const auto runs = [&o](int first, int length, uint8_t* start, uint8_t(*rise)[128]) {
      bool hold = true;
      for (int run = first; run < 128; ++run) {
        const int at = run * length;
        start[run] = o.byStep[at];
        rise[0][run] = rise[1][run] = static_cast<uint8_t>(length);
        int rises = 0;
        for (int offset = 1; offset < length && at + offset <= kLinearMax; ++offset) {
          const int up = o.byStep[at + offset] - o.byStep[at + offset - 1];
          if (up == 0) continue;
          if (up != 1 || rises == 2) hold = false;
          if (rises < 2) rise[rises++][run] = static_cast<uint8_t>(offset);
        }
      }
      return hold;
    };
    o.stepsHold = runs(16, 8, o.steps.midStart, o.steps.midRise) &&
                  runs(32, 32, o.steps.highStart, o.steps.highRise);
    return o;
  }();
  return made;
}

// 8-bit RGB through tone curves and a matrix: the common case of camera and phone profiles
// (Adobe RGB, Display P3, ProPhoto), done with tables so that it costs little more than a
// copy of the row, and 64 pixels at a time on processors with 512-bit byte permutes.
//
// Both ways compute the same numbers: a 15-bit linear value per input byte, each product of a
// linear value and a scaled matrix entry rounded as the vector multiply rounds it, the sum with
// a rounding half shifted down to a linear step, clamped, and the sRGB byte of that step.
class MatrixShaper final : public ColourConversion {
 public:
  // Null when the curves and matrix are those of sRGB (`same` is then set), or when the matrix
  // is beyond these tables (a general transform does it then).
  static std::shared_ptr<MatrixShaper> make(const std::array<const cmsToneCurve*, 3>& curves,
                                            const Matrix& toXyz, bool& same) {
    same = false;
    Matrix fromXyz{};
    if (!invert(srgbToXyz(), fromXyz)) return nullptr;
    const Matrix m = multiply(fromXyz, toXyz);  // output channel, input channel: red, green, blue
    int32_t linear[3][256];                     // each channel's linear value of each byte
    bool identity = true;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        if (!std::isfinite(m[i][j]) || std::fabs(m[i][j]) > 8) return nullptr;
        identity = identity && std::fabs(m[i][j] - (i == j ? 1.0 : 0.0)) < 2e-3;
      }
    }
    for (int c = 0; c < 3; ++c) {
      for (int v = 0; v < 256; ++v) {
        const double value = cmsEvalToneCurveFloat(curves[c], static_cast<float>(v / 255.0));
        if (!std::isfinite(value)) return nullptr;
        linear[c][v] = static_cast<int32_t>(std::lround(std::clamp(value, 0.0, 1.0) * kLinearOne));
        identity = identity && std::fabs(value - srgbDecode(v / 255.0)) < 1.0 / 1024;
      }
    }
    if (identity) {
      same = true;
      return nullptr;
    }
    // The most fraction bits of a step (up to 3) for which every entry and every sum fits the
    // wide rows' 16-bit lanes; with none, the tables alone do it, without fraction bits.
    int64_t entry[3][3] = {};
    int64_t lowest[3] = {}, highest[3] = {};  // each output channel's extreme sums
    const auto share = [&](int out, int in, int v) {
      return (linear[in][v] * entry[out][in] + 0x4000) >> 15;
    };
    int fraction = 3;
    bool wideFits = false;
    for (;; --fraction) {
      wideFits = true;
      const int64_t rounding = fraction > 0 ? int64_t{1} << (fraction - 1) : 0;
      for (int out = 0; out < 3; ++out) {
        lowest[out] = highest[out] = rounding;
        for (int in = 0; in < 3; ++in) {
          entry[out][in] =
              std::llround(m[out][in] * (kLinearMax << fraction) * (32768.0 / kLinearOne));
          wideFits = wideFits && std::llabs(entry[out][in]) <= 32767;
          int64_t low = share(out, in, 0), high = low;
          for (int v = 1; v < 256; ++v) {
            low = std::min(low, share(out, in, v));
            high = std::max(high, share(out, in, v));
          }
          lowest[out] += low;
          highest[out] += high;
        }
        wideFits = wideFits && lowest[out] >= -32768 && highest[out] <= 32767;
      }
      if (wideFits || fraction == 0) break;
    }
    const int64_t rounding = fraction > 0 ? int64_t{1} << (fraction - 1) : 0;
    // One bias, a whole number of steps, lifts every sum to zero or above in its field.
    int64_t low = 0, high = 0;
    for (int out = 0; out < 3; ++out) {
      low = std::min(low, lowest[out]);
      high = std::max(high, highest[out]);
    }
    const int64_t biasSteps = ((-low) >> fraction) + 1;
    const int64_t bias = biasSteps << fraction;
    if (high + bias > static_cast<int64_t>(kFieldMask)) return nullptr;
    auto shaper = std::make_shared<MatrixShaper>();
    for (int in = 0; in < 3; ++in) {
      for (int v = 0; v < 256; ++v) {
        uint64_t word = 0;
        for (int out = 0; out < 3; ++out) {
          int64_t part = share(out, in, v);
          // The bias and the rounding half go in with the red share.
          if (in == 0) part += bias + rounding;
          word += static_cast<uint64_t>(part) * (uint64_t{1} << (kFieldBits * out));
        }
        shaper->packed_[in][v] = word;
      }
    }
    // The output curve over every step a field can reach, clamped where the sum leaves 0..1.
    const SrgbOutput& srgb = srgbOutput();
    shaper->fraction_ = fraction;
    shaper->output_.resize(static_cast<std::size_t>((high + bias) >> fraction) + 1);
    for (std::size_t step = 0; step < shaper->output_.size(); ++step) {
      shaper->output_[step] =
          srgb.byStep[std::clamp<int64_t>(static_cast<int64_t>(step) - biasSteps, 0, kLinearMax)];
    }
    if (wideFits && fraction > 0 && srgb.stepsHold && wide::available()) {
      // The wide rows take blue, green, red as they lie in memory.
      wide::MatrixRows& rows = shaper->wide_;
      for (int in = 0; in < 3; ++in) {
        for (int v = 0; v < 256; ++v) {
          rows.linearLow[2 - in][v] = static_cast<uint8_t>(linear[in][v] & 0xFF);
          rows.linearHigh[2 - in][v] = static_cast<uint8_t>(linear[in][v] >> 8);
        }
        for (int out = 0; out < 3; ++out) {
          rows.share[2 - out][2 - in] = static_cast<int16_t>(entry[out][in]);
        }
      }
      rows.toSteps = static_cast<int16_t>(1 << (15 - fraction));
      shaper->steps_ = &srgb.steps;
    }
    return shaper;
  }

  void convert(const uint8_t* from, uint8_t* to, int32_t width) const override {
    int32_t x = 0;
    if (steps_ != nullptr && width >= 64) {
      wide::convert(wide_, *steps_, from, to, width / 64);
      x = width / 64 * 64;
      from += 3 * x;
      to += 3 * x;
    }
    // Each input value's shares of the three output channels sit in one word, a field each,
    // biased so that no field's sum goes below zero or into the next field. A pixel costs three
    // loads and two additions, then per channel a shift, a mask and a lookup of the output
    // curve, which also clamps. Locals and restrict, since the byte stores could alias the
    // tables.
    const uint64_t* __restrict red = packed_[0];
    const uint64_t* __restrict green = packed_[1];
    const uint64_t* __restrict blue = packed_[2];
    const uint8_t* __restrict output = output_.data();
    const int fraction = fraction_;
    const uint64_t steps = kFieldMask >> fraction;
    for (; x < width; ++x, from += 3, to += 3) {
      const uint64_t sum = blue[from[0]] + green[from[1]] + red[from[2]];
      const uint8_t outRed = output[(sum >> fraction) & steps];
      const uint8_t outGreen = output[(sum >> (kFieldBits + fraction)) & steps];
      const uint8_t outBlue = output[(sum >> (2 * kFieldBits + fraction)) & steps];
      to[0] = outBlue;
      to[1] = outGreen;
      to[2] = outRed;
    }
  }
  void greyTable(uint8_t bgr[256][3]) const override {
    for (int i = 0; i < 256; ++i) bgr[i][0] = bgr[i][1] = bgr[i][2] = static_cast<uint8_t>(i);
    convert(&bgr[0][0], &bgr[0][0], 256);
  }
  bool convertsRowsWide() const override { return steps_ != nullptr; }

 private:
  wide::MatrixRows wide_{};
  const wide::SrgbSteps* steps_ = nullptr;  // set when the wide rows are used
  uint64_t packed_[3][256]{};               // input channel, value: the three output fields
  int fraction_ = 0;                        // fraction bits of a linear step in the fields
  std::vector<uint8_t> output_;             // the sRGB value of each step a field can hold
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
      bool same = false;
      if (auto shaper = MatrixShaper::make(curves, toXyz, same)) return shaper;
      if (same) return nullptr;
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
  if (profile.size() < 128 || profile.size() > ColourConversion::kMaxProfileBytes) return nullptr;
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
  // Every coordinate, and the gamma unless it names sRGB's curve, lies in (0, 10].
  const int checked = gamma == kSrgbCurve ? 8 : 9;
  for (int i = 0; i < checked; ++i) {
    if (!std::isfinite(values[i]) || values[i] <= 0 || values[i] > 10) return nullptr;
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
