// The cache of freed pixel memory inside the library: which kept buffer a picture gets, what
// is kept and what is given back; and every reader's pictures on reused memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dib_record.h"
#include "manifest_entries.h"
#include "picture_readers.h"
#include "pixel_cache.h"

namespace picodec {
namespace {

constexpr size_t kMiB = size_t{1} << 20;

// Limits for one test; empties the cache before and puts the defaults back after.
class ScopedLimits {
 public:
  explicit ScopedLimits(const PixelCacheLimits& limits) {
    setPixelCacheLimits({0, 0, 0});
    setPixelCacheLimits(limits);
  }
  ~ScopedLimits() {
    setPixelCacheLimits({0, 0, 0});
    setPixelCacheLimits(defaultPixelCacheLimits());
  }
  ScopedLimits(const ScopedLimits&) = delete;
  ScopedLimits& operator=(const ScopedLimits&) = delete;
};

struct Buffer {
  uint8_t* memory;
  size_t capacity;
};

Buffer take(size_t bytes, PixelStart start = PixelStart::Overwritten) {
  Buffer b{};
  b.memory = takePixelMemory(bytes, start, b.capacity);
  EXPECT_NE(b.memory, nullptr) << bytes;
  return b;
}

void give(const Buffer& b) {
  givePixelMemory(b.memory, b.capacity);
}

struct FitCase {
  const char* what;
  std::vector<size_t> kept;  // handed back in this order
  size_t request;
  int chosen;  // index into kept, or -1 for fresh memory
};

class BestFit : public ::testing::TestWithParam<FitCase> {};

TEST_P(BestFit, TakesTheSmallestKeptBufferAtMostTwiceTheRequest) {
  const FitCase c = GetParam();
  ScopedLimits limits({kMiB, 7, 1024 * kMiB});
  std::vector<Buffer> kept;
  for (size_t bytes : c.kept) kept.push_back(take(bytes));
  for (const Buffer& b : kept) give(b);

  const Buffer got = take(c.request);
  if (c.chosen < 0) {
    // Kept buffers are still allocated, so fresh memory cannot share an address with them.
    for (const Buffer& b : kept) EXPECT_NE(got.memory, b.memory) << c.what;
    EXPECT_EQ(got.capacity, c.request) << c.what;
    EXPECT_EQ(pixelCacheContents().entries, c.kept.size()) << c.what;
  } else {
    EXPECT_EQ(got.memory, kept[c.chosen].memory) << c.what;
    EXPECT_EQ(got.capacity, kept[c.chosen].capacity) << c.what;
    EXPECT_EQ(pixelCacheContents().entries, c.kept.size() - 1) << c.what;
  }
  give(got);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BestFit,
    ::testing::Values(
        FitCase{"exact size among larger", {4 * kMiB, 2 * kMiB, 3 * kMiB}, 2 * kMiB, 1},
        FitCase{"smallest that holds it", {4 * kMiB, 3 * kMiB, 5 * kMiB}, 2 * kMiB, 1},
        FitCase{"exactly twice the request", {4 * kMiB}, 2 * kMiB, 0},
        FitCase{"more than twice is wasteful", {4 * kMiB + 2}, 2 * kMiB, -1},
        FitCase{"too small", {2 * kMiB - 1}, 2 * kMiB, -1},
        FitCase{"below the least size kept", {kMiB}, kMiB - 1, -1}));

struct KeepCase {
  const char* what;
  PixelCacheLimits limits;
  std::vector<size_t> handedBack;  // in this order
  std::vector<int> keptAfter;      // indexes into handedBack that are still kept
};

class Keeping : public ::testing::TestWithParam<KeepCase> {};

TEST_P(Keeping, StaysWithinTheLimitsAndGivesTheOldestBackFirst) {
  const KeepCase c = GetParam();
  ScopedLimits limits(c.limits);
  std::vector<Buffer> buffers;
  for (size_t bytes : c.handedBack) buffers.push_back(take(bytes));
  for (const Buffer& b : buffers) give(b);

  size_t keptBytes = 0;
  for (int i : c.keptAfter) keptBytes += buffers[i].capacity;
  EXPECT_EQ(pixelCacheContents().entries, c.keptAfter.size()) << c.what;
  EXPECT_EQ(pixelCacheContents().bytes, keptBytes) << c.what;
  // Each kept buffer comes back for a request of exactly its size.
  for (int i : c.keptAfter) {
    const Buffer again = take(c.handedBack[i]);
    EXPECT_EQ(again.memory, buffers[i].memory) << c.what << ", buffer " << i;
    give(again);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Keeping,
    ::testing::Values(
        KeepCase{"at most maxEntries",
                 {kMiB, 3, 100 * kMiB},
                 {1 * kMiB, 3 * kMiB, 5 * kMiB, 7 * kMiB, 9 * kMiB},
                 {2, 3, 4}},
        KeepCase{
            "at most maxTotalBytes", {kMiB, 4, 10 * kMiB}, {4 * kMiB, 5 * kMiB, 4 * kMiB}, {1, 2}},
        KeepCase{"small buffers are not kept", {kMiB, 4, 10 * kMiB}, {kMiB / 2, 2 * kMiB}, {1}},
        KeepCase{
            "larger than the cap is never kept", {kMiB, 4, 10 * kMiB}, {2 * kMiB, 11 * kMiB}, {0}},
        KeepCase{
            "nothing kept when no entries are allowed", {kMiB, 0, 10 * kMiB}, {2 * kMiB}, {}}));

TEST(PixelCache, OverwrittenRecordsStillHaveZeroRowPadding) {
  ScopedLimits limits({0, 4, 100 * kMiB});
  for (int bits : {1, 4, 8, 24}) {
    SCOPED_TRACE(bits);
    const Buffer dirty = take(static_cast<size_t>(dibRowBytes(37, bits) * 50));
    std::memset(dirty.memory, 0xEE, dirty.capacity);
    give(dirty);
    DibOwner dib(37, 50, bits, PixelStart::Overwritten);
    ASSERT_EQ(dib.dib().Pixels, dirty.memory);
    const int64_t used = (int64_t{37} * bits + 7) / 8;
    for (int32_t y = 0; y < dib.height(); ++y) {
      for (int64_t i = used; i < dib.rowBytes(); ++i) ASSERT_EQ(dib.row(y)[i], 0) << y << " " << i;
    }
  }
}

// The public test pictures that decode; empty when the folder is absent.
std::vector<std::string> decodablePictures(const std::string& dir) {
  std::vector<std::string> paths;
  for (const picotest::ManifestEntry& e : picotest::manifestEntries(dir)) {
    if (e.expect == "ok" || e.expect == "nocrash") paths.push_back(e.path);
  }
  return paths;
}

std::vector<uint8_t> readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Keeps every picture's memory, however small, and fills the cache with buffers of `bytes`
// holding `fill`; returns their addresses.
std::set<const uint8_t*> leaveGarbage(size_t bytes, uint8_t fill) {
  setPixelCacheLimits({0, 0, 0});
  setPixelCacheLimits({0, 7, 1024 * kMiB});
  std::vector<Buffer> buffers;
  std::set<const uint8_t*> addresses;
  for (int i = 0; i < 7; ++i) {
    buffers.push_back(take(bytes));
    std::memset(buffers.back().memory, fill, bytes);
    addresses.insert(buffers.back().memory);
  }
  for (const Buffer& b : buffers) give(b);
  return addresses;
}

// Every reader, on every layout the test suites hold: a picture decoded into memory full of
// zeros, into memory full of ones and into fresh memory has the same bytes, padding included.
TEST(PixelCache, EveryReaderWritesTheSameBytesIntoReusedMemory) {
  const std::string dir = GLIM_TESTDATA_DIR;
  const auto pictures = decodablePictures(dir);
  if (pictures.empty()) GTEST_SKIP() << "no public test pictures here";
  ScopedLimits limits({0, 0, 0});
  int compared = 0, reused = 0;
  for (const std::string& name : pictures) {
    SCOPED_TRACE(name);
    const auto file = readWhole(dir + "/" + name);
    auto decode = [&]() -> std::vector<uint8_t> {
      Progress progress(nullptr);
      try {
        const DibOwner dib = readPicture(file, progress);
        return {dib.dib().Pixels, dib.dib().Pixels + dib.dib().Header->biSizeImage};
      } catch (const std::exception&) {
        return {};
      }
    };
    setPixelCacheLimits({0, 0, 0});
    const auto fresh = decode();
    if (fresh.empty()) continue;  // a `nocrash` file that is refused

    std::set<const uint8_t*> garbage = leaveGarbage(fresh.size(), 0x00);
    const auto onZeros = decode();
    garbage = leaveGarbage(fresh.size(), 0xFF);
    Progress progress(nullptr);
    const DibOwner onOnes = readPicture(file, progress);
    // A turned picture passes through a record of another size first, which may not fit.
    if (garbage.contains(onOnes.dib().Pixels)) ++reused;
    const std::vector<uint8_t> ones(onOnes.dib().Pixels,
                                    onOnes.dib().Pixels + onOnes.dib().Header->biSizeImage);
    ASSERT_TRUE(onZeros == fresh);
    ASSERT_TRUE(ones == fresh);
    ++compared;
  }
  EXPECT_GT(compared, 400);
  EXPECT_GT(reused, compared * 9 / 10);
}

}  // namespace
}  // namespace picodec
