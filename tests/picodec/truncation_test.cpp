// Every truncated prefix of valid files fails with a text and leaves nothing to free, unless
// what was cut off is not needed for the picture (trailing tags, say), in which case it
// decodes to the very same pixels. Only formats whose data may legitimately stop early (GIF
// frames, run-length bitmaps) may keep a part of the picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picodec.h"
#include "picodec_test_support.h"

using picotest::OwnedDib;

namespace {

// The colours of every pixel, to compare two decodings.
std::vector<uint32_t> colors(const OwnedDib& d) {
  std::vector<uint32_t> out;
  for (int y = 0; y < d.height(); ++y)
    for (int x = 0; x < d.width(); ++x) out.push_back(d.color(x, y));
  return out;
}

TEST(Truncation, EveryPrefixFailsCleanly) {
  const std::string dir = picotest::testdataDir();
  if (dir.empty()) GTEST_SKIP() << "no public test pictures here";
  const struct {
    const char* path;
    bool partialAllowed;
  } samples[] = {
      {"jpeg/misc/hopper.jpg", false},
      {"jpeg/go/video-001.progressive.jpeg", false},
      {"png/pngsuite/basn3p04.png", false},
      {"png/pngsuite/basi2c08.png", false},
      {"bmp/bmpsuite-2.3/g/rgb24.bmp", false},
      {"bmp/bmpsuite-2.3/g/pal8rle.bmp", true},
      {"gif/misc/hopper.gif", true},
      {"tiff/libtiff/rgb-3c-8b.tiff", false},
      {"tiff/goximage/bw-packbits.tiff", false},
      {"webp/misc/hopper.webp", false},
      {"heic/example.heic", false},
  };
  picotest::TempDir temp;
  for (const auto& sample : samples) {
    const auto bytes = picotest::readFile(dir + "/" + sample.path);
    if (bytes.empty()) continue;  // not in this copy of the suites
    OwnedDib whole;
    OpenDib(&whole.dib, (dir + "/" + sample.path).c_str(), 0, nullptr);
    ASSERT_NE(whole->Pixels, nullptr) << sample.path;
    const auto wholeColors = colors(whole);
    int refused = 0;
    // Every length in the headers, then a couple of hundred lengths spread over the rest.
    const size_t step = std::max<size_t>(1, bytes.size() / 200);
    for (size_t length = 0; length < bytes.size(); length += (length < 256 ? 1 : step)) {
      const std::string path = temp.write("prefix", {bytes.begin(), bytes.begin() + length});
      OwnedDib d;
      OpenDib(&d.dib, path.c_str(), 0, nullptr);
      if (d->Pixels == nullptr) {
        ++refused;
        ASSERT_EQ(d->Storage, 0u);
        ASSERT_GT(d.error().size(), 5u) << sample.path << " cut at " << length;
      } else if (!sample.partialAllowed) {
        ASSERT_EQ(colors(d), wholeColors) << sample.path << " decoded when cut at " << length;
      }
    }
    EXPECT_GT(refused, 0) << sample.path;
  }
}

}  // namespace
