// Pixel memory handed from one record to the next, through the C interface: a record made
// on reused memory looks exactly as one made on fresh memory, whichever thread made or
// freed the records before it.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "picodec.h"
#include "picodec_test_support.h"

using picotest::OwnedDib;

namespace {

// More records than the cache keeps: afterwards it holds only their memory. Every picture
// here is above a megabyte, or its memory would not be kept at all.
constexpr int kFreshRecords = 6;

std::vector<uint8_t> pixelBytes(const DibImage& d) {
  return {d.Pixels, d.Pixels + d.Header->biSizeImage};
}

// Makes kFreshRecords pictures with newdib, fills them with `fill` and frees them: the cache
// then holds nothing but their memory. Returns the addresses of that memory.
std::set<const uint8_t*> leaveGarbage(int32_t width, int32_t height, int bits, uint8_t fill) {
  std::vector<DibImage> made(kFreshRecords);
  std::set<const uint8_t*> addresses;
  for (DibImage& d : made) {
    newdib(&d, width, height, bits, nullptr, 0);
    EXPECT_NE(d.Pixels, nullptr);
    if (d.Pixels == nullptr) continue;
    std::memset(d.Pixels, fill, d.Header->biSizeImage);
    addresses.insert(d.Pixels);
  }
  for (const DibImage& d : made) deldib(d);
  return addresses;
}

struct Shape {
  int32_t width, height;
  int bits;
};

class NewDibOnReusedMemory : public ::testing::TestWithParam<Shape> {};

TEST_P(NewDibOnReusedMemory, IsAllZero) {
  const Shape s = GetParam();
  const auto garbage = leaveGarbage(s.width, s.height, s.bits, 0xA5);
  OwnedDib d;
  newdib(&d.dib, s.width, s.height, s.bits, nullptr, 0);
  ASSERT_NE(d->Pixels, nullptr);
  ASSERT_TRUE(garbage.contains(d->Pixels)) << "the memory was not reused; the test proves nothing";
  const auto bytes = pixelBytes(d.dib);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(bytes.size()));
}

// Odd widths give every row padding; all are above a megabyte.
INSTANTIATE_TEST_SUITE_P(Shapes, NewDibOnReusedMemory,
                         ::testing::Values(Shape{1001, 700, 24}, Shape{1501, 800, 8},
                                           Shape{9001, 1000, 1}, Shape{2001, 1100, 4}),
                         [](const ::testing::TestParamInfo<Shape>& info) {
                           const Shape& s = info.param;
                           return std::to_string(s.width) + "x" + std::to_string(s.height) + "x" +
                                  std::to_string(s.bits);
                         });

// A picture of smooth gradients with noise, `bits` 24 or 8 (with a grey table), saved as JPEG.
std::string writeJpeg(const picotest::TempDir& temp, const std::string& name, int32_t width,
                      int32_t height, int bits) {
  OwnedDib d;
  newdib(&d.dib, width, height, bits, nullptr, 0);
  EXPECT_NE(d->Pixels, nullptr);
  if (bits == 8) {
    auto* table = reinterpret_cast<RGBQUAD*>(d->Header + 1);
    for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  }
  uint32_t noise = 7;
  const int bytesPerPixel = bits / 8;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = d->Pixels + int64_t{y} * d->RowBytes;
    for (int32_t x = 0; x < width * bytesPerPixel; ++x) {
      noise = noise * 1103515245u + 12345u;
      row[x] = uint8_t((x / 7 + y / 5 + (noise >> 28)) & 0xFF);
    }
  }
  const std::string path = temp.file(name);
  EXPECT_EQ(SaveDib(d.dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr), PICODEC_OK);
  return path;
}

// Several threads open and make pictures at once while others free them; every picture is
// as it would be alone. Under the address sanitizer this also checks the handing over.
TEST(PixelReuse, RecordsMadeOnSomeThreadsAndFreedOnOthers) {
  picotest::TempDir temp;
  const std::string path = writeJpeg(temp, "shared.jpg", 1001, 900, 24);
  OwnedDib reference;
  OpenDib(&reference.dib, path.c_str(), 0, nullptr);
  ASSERT_NE(reference->Pixels, nullptr);
  const auto expected = pixelBytes(reference.dib);

  std::mutex mutex;
  std::condition_variable ready;
  std::deque<DibImage> handed;
  int makersLeft = 3;
  std::atomic<int> wrongPictures{0}, unzeroed{0};

  auto maker = [&] {
    for (int round = 0; round < 4; ++round) {
      DibImage opened{}, fresh{};
      OpenDib(&opened, path.c_str(), 0, nullptr);
      if (opened.Pixels == nullptr || pixelBytes(opened) != expected) ++wrongPictures;
      newdib(&fresh, 1001, 900, 24, nullptr, 0);
      if (fresh.Pixels == nullptr) {
        ++unzeroed;
      } else {
        const auto bytes = pixelBytes(fresh);
        if (std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; })) ++unzeroed;
        // Dirty it, so that whoever gets this memory next must clear it.
        std::memset(fresh.Pixels, 0x77, fresh.Header->biSizeImage);
      }
      std::lock_guard lock(mutex);
      handed.push_back(opened);
      handed.push_back(fresh);
      ready.notify_one();
    }
    std::lock_guard lock(mutex);
    --makersLeft;
    ready.notify_all();
  };
  auto freer = [&] {
    for (;;) {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return !handed.empty() || makersLeft == 0; });
      if (handed.empty()) return;
      const DibImage d = handed.front();
      handed.pop_front();
      lock.unlock();
      deldib(d);
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) threads.emplace_back(maker);
  for (int i = 0; i < 2; ++i) threads.emplace_back(freer);
  for (std::thread& t : threads) t.join();

  EXPECT_EQ(wrongPictures.load(), 0);
  EXPECT_EQ(unzeroed.load(), 0);
}

}  // namespace
