// What a picture file says of itself before it is decoded: its kind and size, what its
// decoder will hold beside the picture, and its EXIF block. One reader for every container
// (BMP, JPEG, PNG, GIF, TIFF, WebP, HEIF/AVIF, camera RAW), serving both the memory a picture
// needs and the facts shown on its page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glim {

enum class PictureKind { Unknown, Bmp, Jpeg, Png, Gif, Tiff, Webp, Heif, Raw };

struct PictureHeader {
  PictureKind kind = PictureKind::Unknown;
  // 0 when the header does not give them; for camera RAW files the largest directory's, which
  // no preview nor developed picture exceeds.
  uint32_t width = 0, height = 0;
  uint64_t fileBytes = 0;
  // JPEG: the 8x8 blocks of all components, and whether the decoder keeps them for the whole
  // picture (progressive or multi-scan files) rather than one row of blocks at a time.
  uint64_t jpegBlocks = 0;
  bool jpegWholeImage = false;
  bool fewColours = false;  // decoded at 8 bits or less, then promoted to 24
  bool alpha = false;       // WebP and HEIF: decoded with alpha, then composited
  bool lossless = false;    // WebP: the decoder keeps the whole picture at 32 bits
  uint32_t storedBits = 0;  // TIFF: the bits of one pixel as stored (all its samples)
  bool rawPreview = false;  // camera RAW: a JPEG preview as large as the sensor data is taken
  int orientation = 1;      // from the EXIF block or the TIFF directory; 2 to 8 turn the copy
  // The TIFF-structured EXIF block (from "II" or "MM"), at most 1 MiB; empty when there is none.
  std::vector<uint8_t> exif;
};

// One bounded pass over the file at `path`, opened without waiting (a named pipe or a device
// is never read). Nothing when it cannot be opened or is not a regular file; a header of
// another kind, or one cut short, leaves the fields it did not reach at their defaults.
std::optional<PictureHeader> readPictureHeader(const std::string& path);

}  // namespace glim
