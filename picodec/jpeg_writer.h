// Writes a record as a baseline JPEG file (quality PICODEC_JPEG_QUALITY, 4:2:0), straight
// from its bottom-up rows. The file is written beside the target and renamed over it only
// when complete, so a failed save leaves no partial file.
#pragma once

#include <string>

#include "picodec.h"
#include "progress.h"

namespace picodec {

// Throws CodecError with the reason when the file cannot be written.
void writeJpeg(const DibImage& dib, const std::string& path, Progress& progress);

// Writes the JPEG into the open file `fd` (left open); as writeJpeg, and a failed write also
// leaves its errno in `writeError`.
void writeJpegTo(const DibImage& dib, int fd, Progress& progress, int* writeError);

}  // namespace picodec
