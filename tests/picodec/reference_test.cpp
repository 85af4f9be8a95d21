// Decoded pixels compared with references: the reference pictures that sit beside the
// public test files, and a second, independent decoder (Qt's) for every `ok` BMP, PNG, GIF
// and JPEG file. Lossless formats must match exactly (alpha composited over white on both
// sides); JPEG within a tolerance, as decoders may differ in IDCT and upsampling.
#include <gtest/gtest.h>

#include <QColor>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "manifest_entries.h"
#include "picodec.h"
#include "picodec_test_support.h"

using picotest::OwnedDib;
namespace fs = std::filesystem;

namespace {

// Pixels as red, green, blue bytes, top line first.
struct Rgb24 {
  int width = 0, height = 0;
  std::vector<uint8_t> bytes;
};

uint8_t overWhite(int value, int alpha) {
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

Rgb24 fromRecord(const OwnedDib& d) {
  Rgb24 out{d.width(), d.height(), {}};
  out.bytes.reserve(size_t(out.width) * out.height * 3);
  for (int t = 0; t < out.height; ++t) {
    for (int x = 0; x < out.width; ++x) {
      const uint32_t c = d.color(x, out.height - 1 - t);
      out.bytes.push_back(uint8_t(c));
      out.bytes.push_back(uint8_t(c >> 8));
      out.bytes.push_back(uint8_t(c >> 16));
    }
  }
  return out;
}

Rgb24 fromQImage(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  Rgb24 out{image.width(), image.height(), {}};
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int a = qAlpha(line[x]);
      out.bytes.push_back(overWhite(qRed(line[x]), a));
      out.bytes.push_back(overWhite(qGreen(line[x]), a));
      out.bytes.push_back(overWhite(qBlue(line[x]), a));
    }
  }
  return out;
}

// Raw RGBA bytes of the GIF suite, width x height from its .conf file.
Rgb24 fromRawRgba(const std::string& path, int width, int height) {
  const auto raw = picotest::readFile(path);
  Rgb24 out{width, height, {}};
  if (raw.size() != size_t(width) * height * 4) return {};
  for (size_t i = 0; i < raw.size(); i += 4) {
    for (int c = 0; c < 3; ++c) out.bytes.push_back(overWhite(raw[i + c], raw[i + 3]));
  }
  return out;
}

struct Difference {
  double mean = 0;
  int max = 0;
};

Difference compare(const Rgb24& a, const Rgb24& b) {
  Difference d;
  if (a.bytes.empty() || a.bytes.size() != b.bytes.size()) return {1e9, 255};
  uint64_t sum = 0;
  for (size_t i = 0; i < a.bytes.size(); ++i) {
    const int diff = std::abs(int(a.bytes[i]) - int(b.bytes[i]));
    sum += diff;
    d.max = std::max(d.max, diff);
  }
  d.mean = double(sum) / double(a.bytes.size());
  return d;
}

std::map<std::string, std::string> labels() {
  std::map<std::string, std::string> result;
  for (const picotest::ManifestEntry& e : picotest::manifestEntries(picotest::testdataDir())) {
    result[e.path] = e.expect;
  }
  return result;
}

bool isJpeg(const std::string& path) {
  const auto ext = fs::path(path).extension().string();
  return ext == ".jpg" || ext == ".jpeg";
}

// The reference picture beside a test file: "<file>.ref.png"; bmpsuite's html/<name>.png;
// or a PNG or PPM twin with the same name (video-001.jpeg -> video-001.png).
std::string referenceFor(const fs::path& file) {
  const fs::path sibling = file.string() + ".ref.png";
  if (fs::exists(sibling)) return sibling.string();
  fs::path twin = file.parent_path() / (file.stem().string() + ".png");
  if (file.parent_path().parent_path().filename() == "bmpsuite-2.3") {
    twin = file.parent_path().parent_path() / "html" / (file.stem().string() + ".png");
  }
  if (twin != file && fs::exists(twin)) return twin.string();
  const fs::path ppm = file.parent_path() / (file.stem().string() + ".ppm");
  return fs::exists(ppm) ? ppm.string() : std::string();
}

// Qt's reading, with the EXIF orientation applied as ours does.
QImage decodeQt(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  reader.setAutoTransform(true);
  return reader.read();
}

Rgb24 decodeOurs(const std::string& path) {
  OwnedDib d;
  OpenDib(&d.dib, path.c_str(), 0, nullptr);
  return d->Pixels == nullptr ? Rgb24{} : fromRecord(d);
}

// JPEG decoders may differ by their IDCT and chroma upsampling; the mean stays small.
constexpr double kJpegMeanTolerance = 2.5;

TEST(References, DecodedPixelsMatchTheReferencesBesideTheFiles) {
  const std::string dir = picotest::testdataDir();
  if (dir.empty()) GTEST_SKIP() << "no public test pictures here";
  int compared = 0;
  for (const auto& [path, expect] : labels()) {
    if (expect != "ok" || path.starts_with("gif/gif-test-suite/")) continue;
    const std::string reference = referenceFor(dir + "/" + path);
    if (reference.empty()) continue;
    SCOPED_TRACE(path + " against " + reference);
    const QImage image = decodeQt(reference);
    ASSERT_FALSE(image.isNull());
    const Difference d = compare(decodeOurs(dir + "/" + path), fromQImage(image));
    if (isJpeg(path) || isJpeg(reference)) {
      EXPECT_LE(d.mean, kJpegMeanTolerance) << "max " << d.max;
    } else {
      // bmpsuite's reference renderings round a few palette colours differently by one.
      EXPECT_LE(d.max, 1) << "mean " << d.mean;
    }
    ++compared;
  }
  EXPECT_GE(compared, 18);
}

TEST(References, GifSuiteFirstFramesMatchTheirRawPixels) {
  const std::string dir = picotest::testdataDir();
  if (dir.empty()) GTEST_SKIP() << "no public test pictures here";
  const auto expectations = labels();
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(dir + "/gif/gif-test-suite")) {
    if (entry.path().extension() != ".conf") continue;
    std::ifstream conf(entry.path());
    std::map<std::string, std::string> values;
    std::string input, firstPixels, line;
    int width = 0, height = 0;
    while (std::getline(conf, line)) {
      const auto eq = line.find(" = ");
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq), value = line.substr(eq + 3);
      if (key == "input") input = value;
      if (key == "width") width = std::stoi(value);
      if (key == "height") height = std::stoi(value);
      if (key == "pixels" && firstPixels.empty()) firstPixels = value;
    }
    const std::string path = "gif/gif-test-suite/" + input;
    if (expectations.count(path) == 0 || expectations.at(path) != "ok" || firstPixels.empty())
      continue;
    // giflib refuses an LZW minimum code size above 8, which this file uses.
    if (input == "max-codes.gif") continue;
    SCOPED_TRACE(path);
    const Difference d =
        compare(decodeOurs(dir + "/" + path),
                fromRawRgba(dir + "/gif/gif-test-suite/" + firstPixels, width, height));
    EXPECT_EQ(d.max, 0) << "mean " << d.mean;
    ++compared;
  }
  EXPECT_GT(compared, 40);
}

// Where Qt is the one at fault, checked by hand: it scrambles 16-bit RGB PNGs that carry a
// transparent colour, and it takes an all-zero alpha channel of a bit-field BMP for full
// transparency. The GIF suite has its own references (above), which Qt's reader does not
// follow for partial frames.
bool qtDisagreesKnowingly(const std::string& path) {
  return path.ends_with("tbbn2c16.png") || path.ends_with("tbgn2c16.png") ||
         path.ends_with("rgb32bf-abgr.bmp") || path.starts_with("gif/gif-test-suite/");
}

TEST(References, FilesMatchASecondDecoder) {
  const std::string dir = picotest::testdataDir();
  if (dir.empty()) GTEST_SKIP() << "no public test pictures here";
  int compared = 0;
  for (const auto& [path, expect] : labels()) {
    const auto ext = fs::path(path).extension().string();
    if (expect != "ok" || !(ext == ".png" || ext == ".bmp" || ext == ".gif" || isJpeg(path)))
      continue;
    if (qtDisagreesKnowingly(path)) continue;
    QImage image = decodeQt(dir + "/" + path);
    if (image.isNull()) continue;  // Qt does not read every variant
    SCOPED_TRACE(path);
    // Pictures with a colour profile or gamma are handed over in sRGB: so is the reference.
    const bool managed = image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb;
    if (managed) image.convertToColorSpace(QColorSpace::SRgb);
    const Difference d = compare(decodeOurs(dir + "/" + path), fromQImage(image));
    if (managed) {
      // Two colour engines, and ours converts after 16-bit samples are scaled to 8 bits:
      // linear-light dark tones may differ by a few levels.
      EXPECT_LE(d.max, 8) << "mean " << d.mean;
      EXPECT_LE(d.mean, 1.0) << "max " << d.max;
    } else if (isJpeg(path)) {
      EXPECT_LE(d.mean, kJpegMeanTolerance) << "max " << d.max;
    } else if (path.find("rgb16") != std::string::npos) {
      // 5- and 6-bit channels: Qt shifts them up, we scale them to the full range (as the
      // bmpsuite references do); the two differ by less than one 5-bit step.
      EXPECT_LE(d.max, 8) << "mean " << d.mean;
    } else {
      EXPECT_EQ(d.max, 0) << "mean " << d.mean;
    }
    ++compared;
  }
  EXPECT_GT(compared, 300);
}

}  // namespace
