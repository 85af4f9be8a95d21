// The boxes of an ISO base media file (HEIF, AVIF), read from bytes in memory that may be
// hostile: the picture-memory lookup and the EXIF reader both walk them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace glim {

// A big-endian number of `width` (at most 8) bytes at `at`, when it lies within `data`.
inline std::optional<uint64_t> bigEndian(std::span<const uint8_t> data, size_t at, size_t width) {
  if (at > data.size() || data.size() - at < width || width > 8) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value = value << 8 | data[at + i];
  return value;
}

// Type and body of each whole box in `data`, in order: 32-bit sizes, 64-bit ones (size 1) and
// a last box that runs to the end (size 0). The walk stops at a box that does not fit, and
// after 1024 boxes.
inline std::vector<std::pair<std::string, std::span<const uint8_t>>> isoBoxes(
    std::span<const uint8_t> data) {
  std::vector<std::pair<std::string, std::span<const uint8_t>>> boxes;
  for (size_t at = 0; data.size() - at >= 8 && boxes.size() < 1024;) {
    uint64_t size = *bigEndian(data, at, 4);
    size_t head = 8;
    if (size == 1) {
      size = bigEndian(data, at + 8, 8).value_or(0);
      head = 16;
    } else if (size == 0) {
      size = data.size() - at;
    }
    if (size < head || size > data.size() - at) break;
    boxes.emplace_back(std::string(reinterpret_cast<const char*>(data.data() + at + 4), 4),
                       data.subspan(at + head, size - head));
    at += size;
  }
  return boxes;
}

}  // namespace glim
