// The memory that album creation's workers may use, and what one picture needs of it, known
// from the file's header before anything is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "picture_header.h"
#include "web_pictures.h"

namespace glim {

// What a page style wants made of each picture beside the picture and its thumbnail.
struct PictureExtras {
  bool twiceThumbnail = false;  // the thumbnail at twice the box, for a picture that large
  bool facts = false;           // the EXIF facts
  // The picture at these widths too (ascending), each only below the picture's own width, by
  // one pass of area averaging from the decoded picture; those in avifWidths also as AVIF.
  std::vector<int32_t> widths;
  std::vector<int32_t> avifWidths;
  int avifSpeed = kAvifSpeed;
  bool placeholder = false;  // a tiny inline rendition for the pages
};

// The memory a worker holds while it makes the files of the picture with this header: the
// decoded picture at 24 bits, an eighth more for its conversions and thumbnails, what its
// decoder holds beside it (libjpeg's coefficients of progressive files, WebP's and HEIF's
// 32-bit copies, the 8-bit picture being promoted, a turned copy), and the file itself where
// the reader takes it whole. Nothing when the header gives no size.
// With `extras`, the largest picture of the ladder and its AVIF encoder's memory too.
std::optional<uint64_t> pictureMemory(const PictureHeader& header,
                                      const PictureExtras& extras = {});

// The same for the file at `path`, looked up with one pass over its header. A file that is
// not a regular file or a picture needs little (it fails at once); nothing when the size of
// a picture cannot be read.
std::optional<uint64_t> pictureMemory(const std::string& path, const PictureExtras& extras = {});

// What the process may use (the least of its control group's limit less its use, its
// address-space limit less its size, and the memory available on the machine), three
// quarters of it for pictures; 0 when none of these can be read.
uint64_t defaultPictureMemory();

// "400M", "2G", "1536K", "1048576": a size in bytes (K, M, G, T count 1024s; a trailing B
// is allowed). Nothing for anything else, for 0 and for sizes beyond 2^60.
std::optional<uint64_t> parseMemorySize(const std::string& text);

}  // namespace glim
