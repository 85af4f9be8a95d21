// A DNG file as cameras and converters write it: a preview in the first directory (a full-size
// JPEG rendering, or an uncompressed one an eighth of the size) and the sensor's uncompressed
// 16-bit RGGB data in a sub-directory, in camera colours that are linear sRGB, white balance
// neutral.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace picotest {

// `scene(x, y, c)`: channel c (0 red, 1 green, 2 blue) of sensor pixel (x, y), from 0 to 1.
inline std::vector<uint8_t> madeDng(int width, int height, int orientation,
                                    const std::function<double(int, int, int)>& scene,
                                    const std::vector<uint8_t>& fullSizeJpeg = {}) {
  using Entries = std::map<uint16_t, std::pair<uint16_t, std::vector<uint32_t>>>;
  std::vector<uint8_t> out{'I', 'I', 42, 0, 0, 0, 0, 0};
  const auto put = [](std::vector<uint8_t>& to, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) to.push_back(uint8_t(v >> (8 * i)));
  };
  // Appends the strip, then a directory (tag: type, values) pointing at it; gives its offset.
  const auto directory = [&](Entries entries, const std::vector<uint8_t>& strip) {
    static constexpr int kBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8};
    entries[273] = {4, {uint32_t(out.size())}};
    entries[279] = {4, {uint32_t(strip.size())}};
    out.insert(out.end(), strip.begin(), strip.end());
    out.resize((out.size() + 1) & ~size_t{1});
    const auto at = uint32_t(out.size());
    const uint32_t values = at + 2 + 12 * uint32_t(entries.size()) + 4;
    std::vector<uint8_t> tail;
    put(out, uint32_t(entries.size()), 2);
    for (const auto& [tag, typed] : entries) {
      const auto& [type, numbers] = typed;
      const bool rational = type == 5 || type == 10;
      std::vector<uint8_t> value;
      for (uint32_t n : numbers) put(value, n, rational ? 4 : kBytes[type]);
      put(out, tag, 2);
      put(out, type, 2);
      put(out, uint32_t(rational ? numbers.size() / 2 : numbers.size()), 4);
      if (value.size() > 4) {
        put(out, values + uint32_t(tail.size()), 4);
        tail.insert(tail.end(), value.begin(), value.end());
      } else {
        value.resize(4);
        out.insert(out.end(), value.begin(), value.end());
      }
    }
    put(out, 0, 4);
    out.insert(out.end(), tail.begin(), tail.end());
    return at;
  };
  std::vector<uint8_t> sensor;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      put(sensor, uint32_t(65535 * scene(x, y, (y & 1) + (x & 1))), 2);
  const bool full = !fullSizeJpeg.empty();
  const uint32_t pw = full ? width : width / 8, ph = full ? height : height / 8;
  std::vector<uint8_t> preview = fullSizeJpeg;
  for (uint32_t i = 0; !full && i < pw * ph * 3; ++i)
    preview.push_back(uint8_t(255 * scene(i / 3 % pw * 8, i / 3 / pw * 8, i % 3)));
  const auto w = uint32_t(width), h = uint32_t(height), o = uint32_t(orientation);
  // clang-format off
  const uint32_t raw = directory({{256, {4, {w}}}, {257, {4, {h}}}, {258, {3, {16}}},
      {259, {3, {1}}}, {262, {3, {32803}}}, {33421, {3, {2, 2}}}, {33422, {1, {0, 1, 1, 2}}}},
      sensor);
  const uint32_t first = directory({{254, {4, {1}}}, {256, {4, {pw}}}, {257, {4, {ph}}},
      {258, {3, {8, 8, 8}}}, {259, {3, {full ? 7u : 1u}}}, {262, {3, {full ? 6u : 2u}}},
      {271, {2, {'M', 'a', 'd', 'e', 0}}}, {274, {3, {o}}}, {277, {3, {3}}}, {330, {4, {raw}}},
      {50706, {1, {1, 4, 0, 0}}}, {50708, {2, {'M', 'a', 'd', 'e', 0}}},
      // XYZ (D65) to linear sRGB, in signed ten-thousandths.
      {50721, {10, {32406, 10000, 0u - 15372, 10000, 0u - 4986, 10000,
                    0u - 9689, 10000, 18758, 10000, 415, 10000, 557, 10000,
                    0u - 2040, 10000, 10570, 10000}}},
      {50728, {5, {1, 1, 1, 1, 1, 1}}}}, preview);
  // clang-format on
  for (int i = 0; i < 4; ++i) out[4 + i] = uint8_t(first >> (8 * i));
  return out;
}

}  // namespace picotest
