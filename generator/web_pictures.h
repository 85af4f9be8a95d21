// Pictures for the web pages beyond the codec library's JPEG: AVIF files with libavif's AV1
// encoder, and the tiny inline rendition a page shows while a picture loads.
#pragma once

#include <string>

#include "picodec.h"
#include "temporary_file.h"

namespace glim {

// The AV1 encoder's speed for the pages' AVIF files (0 slowest .. 10 fastest). On the 64-photo
// benchmark set, 9 makes the same files as 10 and takes half the time of 8 for 5 % more bytes,
// which keeps the modern run near twice the classic one.
inline constexpr int kAvifSpeed = 9;

// The quality of the pictures at the ladder's widths (the full-size picture keeps the codec
// library's 90): the usual quality for pages, with fewer bytes for a page to fetch and a
// little less time to write than 90.
inline constexpr int kLadderQuality = 80;

// Writes the 24-bit `picture` as a baseline JPEG file (4:2:0, standard Huffman tables) at
// `quality` into a new temporary file in `folder`; as saveAvif otherwise.
void saveWebJpeg(const DibImage& picture, const std::string& folder, int quality,
                 TemporaryFile& file, int& error);

// Writes the 24-bit `picture` as an AVIF file (4:2:0, 8 bits, one thread) into a new
// temporary file in `folder`; nothing in `file` when it failed, with `error` the errno of a
// write that failed (0 when the file was not to blame).
void saveAvif(const DibImage& picture, const std::string& folder, int speed, TemporaryFile& file,
              int& error);

// The memory the encoder holds for a picture of `pixels` pixels, beside the picture itself.
uint64_t avifMemory(uint64_t pixels);

// A blurred rendition of the 24-bit `picture` for a page to show while the picture loads: a
// PNG of at most 6 pixels a side, as a data URI of at most kPlaceholderBytes characters;
// empty when none fits.
inline constexpr std::size_t kPlaceholderBytes = 200;
std::string placeholderUri(const DibImage& picture);

}  // namespace glim
