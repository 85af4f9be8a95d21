// What a picture file's EXIF data says of when and with what it was taken, read without
// decoding the picture: JPEG files (the APP1 "Exif" segment), TIFF files (their first
// directory), PNG files (the "eXIf" chunk), WebP files (the "EXIF" chunk) and HEIF files (the
// "Exif" item), each found by the one header reader. The location is never read.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace glim {

struct PictureFacts {
  std::string taken;   // "2021-05-01 14:03:27", from DateTimeOriginal, else DateTime
  std::string camera;  // Make and Model, the maker left out when the model starts with it
  bool operator==(const PictureFacts&) const = default;
};

// The facts in a TIFF-structured EXIF block (starting with "II" or "MM"); empty fields for
// what it does not hold or for a damaged block.
PictureFacts exifFacts(std::span<const uint8_t> tiff);

// The orientation (1 to 8) in such a block; 1 when it holds none.
int exifOrientation(std::span<const uint8_t> tiff);

// The facts of the picture file at `path`; empty when it has none or is of another type.
PictureFacts readPictureFacts(const std::string& path);

}  // namespace glim
