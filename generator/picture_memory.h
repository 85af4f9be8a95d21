// The memory that album creation's workers may use, and what one picture needs of it, known
// from the file's header before anything is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace glim {

// Width and height of the picture in a file as its header gives them (BMP, JPEG, PNG, GIF,
// TIFF, WebP, HEIF/AVIF); nothing when the header cannot be read. Reads a few bytes only.
struct PictureDimensions {
  uint32_t width = 0;
  uint32_t height = 0;
  bool streamed = false;  // a JPEG: the reader does not take the file whole
};
std::optional<PictureDimensions> pictureDimensions(const std::string& path);

// The memory a worker holds while it makes the files of this picture: the decoded picture
// at 24 bits, an eighth more for its conversions and thumbnail, and the file itself where
// the reader takes it whole. Nothing when the size is unknown.
std::optional<uint64_t> pictureMemory(const std::string& path);

// What the process may use (the least of its control group's limit less its use, its
// address-space limit less its size, and the memory available on the machine), three
// quarters of it for pictures; 0 when none of these can be read.
uint64_t defaultPictureMemory();

// "400M", "2G", "1536K", "1048576": a size in bytes (K, M, G, T count 1024s; a trailing B
// is allowed). Nothing for anything else, for 0 and for sizes beyond 2^60.
std::optional<uint64_t> parseMemorySize(const std::string& text);

}  // namespace glim
