// TIFF through libtiff, first directory. Strip-organised palette pictures keep their indices
// and colour map; every other layout goes through libtiff's RGBA conversion, in strips,
// into 24 bits (greyscale into 8 bits with a grey table), alpha composited over white. The
// orientation tag is applied.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <tiffio.h>

#include "codec_error.h"
#include "colour_profile.h"
#include "orientation.h"
#include "picture_readers.h"

namespace picodec {
namespace {

// No single allocation of libtiff's may exceed this (strips, tiles, tags of hostile files).
constexpr tmsize_t kMaxLibraryAllocation = 512 * 1024 * 1024;

struct Source {
  Bytes bytes;
  uint64_t offset = 0;
  std::string message;
};

tmsize_t readProc(thandle_t h, void* out, tmsize_t size) {
  auto* s = static_cast<Source*>(h);
  if (size <= 0 || s->offset >= s->bytes.size()) return 0;
  const auto n = static_cast<tmsize_t>(
      std::min<uint64_t>(static_cast<uint64_t>(size), s->bytes.size() - s->offset));
  std::memcpy(out, s->bytes.data() + s->offset, static_cast<size_t>(n));
  s->offset += static_cast<uint64_t>(n);
  return n;
}

tmsize_t writeProc(thandle_t, void*, tmsize_t) {
  return -1;
}

toff_t seekProc(thandle_t h, toff_t offset, int whence) {
  auto* s = static_cast<Source*>(h);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = s->offset;
  if (whence == SEEK_END) base = s->bytes.size();
  s->offset = base + offset;  // reading past the end yields nothing
  return s->offset;
}

int closeProc(thandle_t) {
  return 0;
}
toff_t sizeProc(thandle_t h) {
  return static_cast<Source*>(h)->bytes.size();
}

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
  auto* s = static_cast<Source*>(user);
  if (s->message.empty()) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    s->message = text;
  }
  return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TiffCloser {
  TIFF* tif;
  ~TiffCloser() {
    if (tif != nullptr) TIFFClose(tif);
  }
};

[[noreturn]] void failTiff(const Source& s) {
  fail("The TIFF file is damaged: " +
       (s.message.empty() ? std::string("it cannot be decoded") : s.message) + ".");
}

// The most a compression scheme can expand its stored bytes (generous bounds).
uint64_t maxExpansion(uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE:
      return 1;
    case COMPRESSION_PACKBITS:
      return 64;  // 128 bytes from 2
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      return 1100;  // deflate's limit is about 1032 to 1
    case COMPRESSION_LZW:
      return 3000;  // at most 4096 bytes from one 12-bit code
    default:
      return uint64_t{1} << 16;  // fax, JPEG and newer schemes: only the absurd is refused
  }
}

// A strip or tile that would decode to far more than its stored bytes can give is damage or
// a decompression bomb: refused before libtiff reserves memory for it.
void checkStoredSizes(TIFF* tif, uint32_t height) {
  constexpr uint64_t kAlwaysAllowed = 1 << 20;
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  const uint64_t expansion = maxExpansion(compression);
  const bool tiled = TIFFIsTiled(tif);
  uint32_t rowsPerStrip = height;
  if (!tiled) TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, std::max<uint32_t>(height, 1));
  const uint32_t stripsPerPlane = (height + rowsPerStrip - 1) / rowsPerStrip;
  const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t decoded = 0;
    if (tiled) {
      decoded = TIFFTileSize64(tif);
    } else {
      const uint32_t top = (stripsPerPlane ? i % stripsPerPlane : 0) * rowsPerStrip;
      const uint32_t rows = top < height ? std::min(rowsPerStrip, height - top) : 0;
      decoded = TIFFVStripSize64(tif, rows);
    }
    const uint64_t stored = TIFFGetStrileByteCount(tif, i);
    if (decoded > kAlwaysAllowed && decoded / expansion > stored) {
      fail("The TIFF file is damaged: a strip holds far less data than its picture needs.");
    }
  }
}

uint8_t overWhitePremultiplied(uint32_t value, uint32_t alpha) {
  return static_cast<uint8_t>(std::min<uint32_t>(255, value + 255 - alpha));
}

// Palette pictures stored in strips: the indices as they are, the colour map in sRGB.
DibOwner readPaletteStrips(TIFF* tif, const Source& s, uint32_t width, uint32_t height, int bits,
                           Progress& progress, const ColourConversion* colour) {
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) failTiff(s);
  const int entries = 1 << bits;
  // Colour maps are 16-bit, but some writers store 8-bit values in them.
  bool eightBit = true;
  for (int i = 0; i < entries; ++i)
    eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
  const int shift = eightBit ? 0 : 8;

  // A scanline holds exactly the row's index bytes; 2-bit indices are merged into the zeros.
  DibOwner dib(static_cast<int32_t>(width), static_cast<int32_t>(height), bits == 2 ? 4 : bits,
               bits == 2 ? PixelStart::Zeroed : PixelStart::Overwritten);
  uint8_t bgr[256 * 3];
  for (int i = 0; i < entries; ++i) {
    bgr[3 * i] = static_cast<uint8_t>(blue[i] >> shift);
    bgr[3 * i + 1] = static_cast<uint8_t>(green[i] >> shift);
    bgr[3 * i + 2] = static_cast<uint8_t>(red[i] >> shift);
  }
  if (colour != nullptr) colour->convert(bgr, bgr, entries);
  for (int i = 0; i < entries; ++i) dib.setColor(i, {bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i]});
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (lineBytes <= 0 || lineBytes > dib.rowBytes() * (bits == 2 ? 2 : 1) + 4) failTiff(s);
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) failTiff(s);
    uint8_t* dst = dib.topRow(static_cast<int32_t>(y));
    if (bits == 2) {
      for (uint32_t x = 0; x < width; ++x) {
        const int index = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        dst[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
      }
    } else {
      std::memcpy(dst, line.data(), std::min<size_t>(line.size(), size_t(dib.rowBytes())));
    }
    progress.update(y, height);
  }
  return dib;
}

// CMYK pictures (8 bits, one plane, in strips) that carry a CMYK profile: the inks through it.
DibOwner readCmykStrips(TIFF* tif, const Source& s, uint32_t width, uint32_t height,
                        Progress& progress, const ColourConversion& colour) {
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (lineBytes != static_cast<tmsize_t>(width) * 4) failTiff(s);
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  DibOwner dib(static_cast<int32_t>(width), static_cast<int32_t>(height), 24,
               PixelStart::Overwritten);
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) failTiff(s);
    colour.convert(line.data(), dib.topRow(static_cast<int32_t>(y)), static_cast<int32_t>(width));
    progress.update(y, height);
  }
  return dib;
}

// Every other layout through libtiff's RGBA conversion, a band of rows at a time.
DibOwner readRgba(TIFF* tif, const Source& s, uint32_t width, uint32_t height, bool grey,
                  int orientation, Progress& progress, const ColourConversion* colour) {
  char message[1024] = {0};
  TIFFRGBAImage image;
  if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&image, tif, 1, message)) {
    fail(std::string("The TIFF file cannot be decoded: ") + message + ".");
  }
  struct ImageEnd {
    TIFFRGBAImage* image;
    ~ImageEnd() { TIFFRGBAImageEnd(image); }
  } end{&image};
  // Rows in the order stored: the orientation is applied afterwards, for all eight values
  // alike (libtiff itself would only mirror).
  image.req_orientation = static_cast<uint16_t>(orientation);

  // Bands follow the file's strips or tiles so that none is decoded twice.
  uint32_t band = 0;
  if (TIFFIsTiled(tif)) {
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
  }
  band = std::clamp<uint32_t>(band, 1, height);
  if (uint64_t{band} * width > PICODEC_MAX_PIXELS)
    band = std::max<uint32_t>(1, PICODEC_MAX_PIXELS / width);
  std::unique_ptr<uint32_t[]> raster(new uint32_t[uint64_t{band} * width]);

  DibOwner dib(static_cast<int32_t>(width), static_cast<int32_t>(height), grey ? 8 : 24,
               PixelStart::Overwritten);
  if (grey) dib.setGreyTable();
  if (grey && colour != nullptr) {
    uint8_t table[256][3];
    colour->greyTable(table);
    for (int i = 0; i < 256; ++i) dib.setColor(i, Rgb{table[i][2], table[i][1], table[i][0]});
  }
  for (uint32_t top = 0; top < height; top += band) {
    const uint32_t rows = std::min(band, height - top);
    image.row_offset = static_cast<int>(top);
    image.col_offset = 0;
    if (!TIFFRGBAImageGet(&image, raster.get(), width, rows)) failTiff(s);
    for (uint32_t r = 0; r < rows; ++r) {
      const uint32_t* src = raster.get() + uint64_t{r} * width;
      uint8_t* dst = dib.topRow(static_cast<int32_t>(top + r));
      for (uint32_t x = 0; x < width; ++x) {
        const uint32_t p = src[x], a = TIFFGetA(p);
        if (grey) {
          dst[x] = overWhitePremultiplied(TIFFGetR(p), a);
        } else {
          dst[3 * x] = overWhitePremultiplied(TIFFGetB(p), a);
          dst[3 * x + 1] = overWhitePremultiplied(TIFFGetG(p), a);
          dst[3 * x + 2] = overWhitePremultiplied(TIFFGetR(p), a);
        }
      }
      if (!grey && colour != nullptr) colour->convert(dst, dst, static_cast<int32_t>(width));
    }
    progress.update(top + rows, height);
  }
  return dib;
}

}  // namespace

DibOwner readTiff(Bytes bytes, Progress& progress) {
  Source source{bytes, 0, {}};
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                       TIFFOpenOptionsFree);
  if (!options) fail("Not enough memory to read the TIFF file.");
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &source);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, &source);
  // "m": never map the file, read it through the procedures above.
  TiffCloser closer{TIFFClientOpenExt("picture", "rm", &source, readProc, writeProc, seekProc,
                                      closeProc, sizeProc, nullptr, nullptr, options.get())};
  if (closer.tif == nullptr) failTiff(source);
  TIFF* tif = closer.tif;

  uint32_t width = 0, height = 0;
  uint16_t photometric = 0, bits = 0, samples = 1, extra = 0;
  uint16_t* extraTypes = nullptr;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) photometric = PHOTOMETRIC_MINISWHITE;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT) {
    orientation = ORIENTATION_TOPLEFT;
  }
  checkPictureSize(width, height);
  checkStoredSizes(tif, height);

  const bool grey =
      (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
      samples - extra == 1;
  // An embedded colour profile (tag 34675): for RGB (YCbCr arrives as RGB), palette and grey
  // pictures, and for CMYK ones read from their inks.
  uint32_t profileBytes = 0;
  void* profileData = nullptr;
  std::span<const uint8_t> profile;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &profileBytes, &profileData) &&
      profileData != nullptr) {
    profile = {static_cast<const uint8_t*>(profileData), profileBytes};
  }
  std::shared_ptr<const ColourConversion> colour;
  if (!profile.empty() && (photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_YCBCR ||
                           photometric == PHOTOMETRIC_PALETTE || grey)) {
    colour = ColourConversion::fromIcc(
        profile, grey ? ColourConversion::Layout::Grey8 : ColourConversion::Layout::Bgr8);
  }
  if (photometric == PHOTOMETRIC_PALETTE && samples == 1 && !TIFFIsTiled(tif) &&
      (bits == 1 || bits == 2 || bits == 4 || bits == 8)) {
    return orientPicture(
        readPaletteStrips(tif, source, width, height, bits, progress, colour.get()), orientation);
  }
  uint16_t planar = PLANARCONFIG_CONTIG, inks = INKSET_CMYK;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
  if (!profile.empty() && photometric == PHOTOMETRIC_SEPARATED && samples == 4 && extra == 0 &&
      bits == 8 && planar == PLANARCONFIG_CONTIG && inks == INKSET_CMYK && !TIFFIsTiled(tif)) {
    if (const auto cmyk = ColourConversion::fromIcc(profile, ColourConversion::Layout::Cmyk8)) {
      return orientPicture(readCmykStrips(tif, source, width, height, progress, *cmyk),
                           orientation);
    }
  }
  return orientPicture(
      readRgba(tif, source, width, height, grey, orientation, progress, colour.get()), orientation);
}

}  // namespace picodec
