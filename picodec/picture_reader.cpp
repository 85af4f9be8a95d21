// Picks the reader by the file's first bytes and lists the readable types for the file box.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "codec_error.h"
#include "file_bytes.h"
#include "picture_readers.h"

namespace picodec {
namespace {

bool startsWith(Bytes bytes, const char* magic, size_t offset = 0) {
  const size_t n = std::strlen(magic);
  return bytes.size() >= offset + n && std::memcmp(bytes.data() + offset, magic, n) == 0;
}

bool isHeifBrand(Bytes bytes) {
  if (!startsWith(bytes, "ftyp", 4) || bytes.size() < 12) return false;
  static const char* const brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                       "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
  for (const char* brand : brands) {
    if (startsWith(bytes, brand, 8)) return true;
  }
  return false;
}

}  // namespace

PictureFormat sniffFormat(Bytes bytes) {
  if (isCameraRaw(bytes)) return PictureFormat::Raw;
  if (startsWith(bytes, "BM")) return PictureFormat::Bmp;
  if (startsWith(bytes, "\xFF\xD8\xFF")) return PictureFormat::Jpeg;
  if (startsWith(bytes, "\x89PNG\r\n\x1A\n")) return PictureFormat::Png;
  if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return PictureFormat::Gif;
  if (bytes.size() >= 4 && ((bytes[0] == 'I' && bytes[1] == 'I' && bytes[3] == 0 &&
                             (bytes[2] == 42 || bytes[2] == 43)) ||
                            (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 &&
                             (bytes[3] == 42 || bytes[3] == 43)))) {
    return PictureFormat::Tiff;
  }
  if (startsWith(bytes, "RIFF") && startsWith(bytes, "WEBP", 8)) return PictureFormat::Webp;
  if (isHeifBrand(bytes)) return PictureFormat::Heif;
  return PictureFormat::Unknown;
}

DibOwner readPictureAs(PictureFormat format, Bytes bytes, Progress& progress) {
  switch (format) {
    case PictureFormat::Bmp:
      return readBmp(bytes, progress);
    case PictureFormat::Jpeg:
      return readJpeg(bytes, progress);
    case PictureFormat::Png:
      return readPng(bytes, progress);
    case PictureFormat::Gif:
      return readGif(bytes, progress);
    case PictureFormat::Tiff:
      return readTiff(bytes, progress);
    case PictureFormat::Webp:
      return readWebp(bytes, progress);
    case PictureFormat::Heif:
      return readHeif(bytes, progress);
    case PictureFormat::Raw:
      return readRaw(bytes, progress);
    case PictureFormat::Unknown:
      break;
  }
  fail("The file is not a picture of a kind this program reads.");
}

DibOwner readPicture(Bytes bytes, Progress& progress) {
  return readPictureAs(sniffFormat(bytes), bytes, progress);
}

namespace {

// Closes the stream on every way out.
struct StreamCloser {
  std::FILE* file;
  ~StreamCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

}  // namespace

DibOwner readPictureFile(const std::string& path, Progress& progress) {
  {
    // JPEG, the common case, is streamed so that the file's bytes never sit beside the
    // pixels, and LibRaw reads camera RAW files itself where the descriptor has a name for it;
    // a video clip's poster comes from the ffmpeg program; every other format is read whole.
    const int fd = openRegularFile(path);
    StreamCloser stream{::fdopen(fd, "rb")};
    if (stream.file == nullptr) {
      ::close(fd);
      fail(std::string("The file cannot be opened: ") + std::strerror(errno) + ".");
    }
    uint8_t head[16] = {};
    const size_t got = std::fread(head, 1, sizeof head, stream.file);
    if (sniffFormat(Bytes(head, got)) == PictureFormat::Jpeg) {
      struct stat info {};
      if (::fstat(::fileno(stream.file), &info) == 0 &&
          static_cast<uint64_t>(info.st_size) > PICODEC_MAX_FILE_BYTES) {
        fail("The file is too large to be a picture this program reads.");
      }
      std::rewind(stream.file);
      return readJpegFile(stream.file, progress);
    }
    if (::access("/proc/self/fd", X_OK) == 0 && isCameraRawFile(::fileno(stream.file))) {
      return readRawFile(::fileno(stream.file), progress);
    }
    if (isClip(Bytes(head, got))) {
      // ffmpeg reads the very file checked here (a regular file), through its descriptor.
      if (::access("/proc/self/fd", X_OK) != 0) return readClipFile(path, progress);
      return readClipFile("/proc/self/fd/" + std::to_string(::fileno(stream.file)), progress);
    }
  }
  const FileBytes file(path);
  return readPicture(file.bytes(), progress);
}

const char* openFilterText() {
  return "All pictures|*.bmp;*.dib;*.jpg;*.jpeg;*.jpe;*.jfif;*.png;*.gif;*.tif;*.tiff;*.webp;"
         "*.heic;*.heif;*.avif;*.cr2;*.cr3;*.nef;*.arw;*.dng;*.orf;*.rw2;*.raf;*.pef|"
         "Windows bitmaps (*.bmp)|*.bmp;*.dib|"
         "JPEG pictures (*.jpg)|*.jpg;*.jpeg;*.jpe;*.jfif|"
         "PNG pictures (*.png)|*.png|"
         "GIF pictures (*.gif)|*.gif|"
         "TIFF pictures (*.tif)|*.tif;*.tiff|"
         "WebP pictures (*.webp)|*.webp|"
         "HEIF and AVIF pictures (*.heic, *.avif)|*.heic;*.heif;*.avif|"
         "Camera RAW pictures (*.cr2, *.nef, *.dng, ...)|"
         "*.cr2;*.cr3;*.nef;*.arw;*.dng;*.orf;*.rw2;*.raf;*.pef";
}

}  // namespace picodec
