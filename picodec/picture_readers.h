// The readers of the picture formats, one source file each, and the dispatch that picks
// one by the file's first bytes (never by its name).
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "dib_record.h"
#include "progress.h"

namespace picodec {

using Bytes = std::span<const uint8_t>;

enum class PictureFormat { Unknown, Bmp, Jpeg, Png, Gif, Tiff, Webp, Heif, Raw };

// The format a file's first bytes announce; a camera RAW file in a TIFF container is told from
// a TIFF picture by its directories.
PictureFormat sniffFormat(Bytes bytes);

// Decodes a picture file held in memory. Throws CodecError with a text for the user.
DibOwner readPicture(Bytes bytes, Progress& progress);
// Decodes the picture file at `path`: JPEG files are streamed, the others read whole.
DibOwner readPictureFile(const std::string& path, Progress& progress);
// Decodes with the reader of the given format; throws CodecError when it is not available.
DibOwner readPictureAs(PictureFormat format, Bytes bytes, Progress& progress);

DibOwner readBmp(Bytes bytes, Progress& progress);
DibOwner readJpeg(Bytes bytes, Progress& progress);
DibOwner readJpegFile(std::FILE* file, Progress& progress);
DibOwner readPng(Bytes bytes, Progress& progress);
DibOwner readGif(Bytes bytes, Progress& progress);
DibOwner readTiff(Bytes bytes, Progress& progress);
DibOwner readWebp(Bytes bytes, Progress& progress);
DibOwner readHeif(Bytes bytes, Progress& progress);
DibOwner readRaw(Bytes bytes, Progress& progress);
// The same for an open regular file, which LibRaw reads in the parts it needs.
DibOwner readRawFile(int fd, Progress& progress);

// Whether the bytes are a camera RAW file: the signatures of the cameras' own containers, or a
// TIFF container whose directories hold DNG or raw sensor data.
bool isCameraRaw(Bytes bytes);
bool isCameraRawFile(int fd);

// Whether the bytes begin a video clip (MP4, MOV, M4V, 3GP, WebM, MKV, AVI), whose picture is
// its poster, made by the ffmpeg program from the clip's file.
bool isClip(Bytes bytes);
DibOwner readClipFile(const std::string& path, Progress& progress);

// The filter text of GetDIBOpenFilter.
const char* openFilterText();

}  // namespace picodec
