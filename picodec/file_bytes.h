// A picture file read whole into memory, and little helpers to read numbers from it
// without ever leaving its bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace picodec {

// Opens a regular file for reading and returns its descriptor. Anything else (a folder, a
// pipe, a device) is refused without waiting on it. Throws CodecError.
int openRegularFile(const std::string& path);

class FileBytes {
 public:
  // Reads the whole file. Throws CodecError when it cannot be read, is empty or exceeds
  // PICODEC_MAX_FILE_BYTES.
  explicit FileBytes(const std::string& path);
  std::span<const uint8_t> bytes() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
};

inline uint16_t readU16le(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t readU32le(const uint8_t* p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t readU16be(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t readU32be(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace picodec
