// Windows and OS/2 bitmaps: every header version, 1/2/4/8-bit palettes, RLE4 and RLE8,
// 16 and 32 bits with or without bit fields, 24 bits, top-down and bottom-up, and the
// JPEG or PNG stream a bitmap may carry instead of pixels.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "codec_error.h"
#include "file_bytes.h"
#include "picture_readers.h"

namespace picodec {
namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5,
                   kAlphaBitFields = 6;
constexpr size_t kFileHeaderBytes = 14;

struct BmpHeader {
  int64_t width = 0;
  int64_t height = 0;  // positive; topDown tells the row order
  bool topDown = false;
  int bitsPerPixel = 0;
  uint32_t compression = kRgb;
  size_t headerBytes = 0;
  bool core = false;  // OS/2 1.x: 3-byte colour-table entries
  uint32_t colorsUsed = 0;
  std::array<uint32_t, 4> masks{};  // red, green, blue, alpha
  bool hasMasks = false;
  size_t pixelOffset = 0;
};

// One channel of a bit-field pixel: where it sits and how to scale it to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
  uint8_t get(uint32_t pixel) const {
    if (max == 0) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    return static_cast<uint8_t>((v * 255u + max / 2) / max);
  }
};

Channel channelOf(uint32_t mask) {
  Channel c;
  if (mask == 0) return c;
  c.mask = mask;
  c.shift = std::countr_zero(mask);
  const uint32_t bits = mask >> c.shift;
  // A mask with holes counts only its lowest run; wider than 16 bits keeps the top 16.
  const int width = std::min(std::countr_one(bits), 16);
  c.shift += std::countr_one(bits) - width;
  c.mask = ((1u << width) - 1) << c.shift;
  c.max = (1u << width) - 1;
  return c;
}

BmpHeader parseHeader(Bytes file) {
  if (file.size() < kFileHeaderBytes + 12) fail("The bitmap file is truncated.");
  BmpHeader h;
  const uint8_t* p = file.data() + kFileHeaderBytes;
  h.headerBytes = readU32le(p);
  if (h.headerBytes < 12 || h.headerBytes > 1024 ||
      kFileHeaderBytes + h.headerBytes > file.size()) {
    fail("The bitmap file has an invalid header.");
  }
  if (h.headerBytes == 12) {
    h.core = true;
    h.width = readU16le(p + 4);
    h.height = readU16le(p + 6);
    h.bitsPerPixel = readU16le(p + 10);
  } else {
    if (h.headerBytes < 16) fail("The bitmap file has an invalid header.");
    h.width = static_cast<int32_t>(readU32le(p + 4));
    const auto height = static_cast<int32_t>(readU32le(p + 8));
    h.topDown = height < 0;
    h.height = height < 0 ? -static_cast<int64_t>(height) : height;
    h.bitsPerPixel = readU16le(p + 14);
    if (h.headerBytes >= 20) h.compression = readU32le(p + 16);
    if (h.headerBytes >= 36) h.colorsUsed = readU32le(p + 32);
    // The OS/2 2.x header (64 bytes, or cut short) numbers its compressions differently.
    const bool os2 = h.headerBytes == 64 || (h.headerBytes > 16 && h.headerBytes < 40);
    if (os2 && h.compression == 3) fail("Huffman-compressed OS/2 bitmaps are not supported.");
    if (os2 && h.compression == 4) fail("RLE24-compressed OS/2 bitmaps are not supported.");
    if (h.headerBytes >= 52) {
      for (int i = 0; i < 3; ++i) h.masks[i] = readU32le(p + 40 + 4 * i);
      if (h.headerBytes >= 56) h.masks[3] = readU32le(p + 52);
      h.hasMasks = h.compression == kBitFields || h.compression == kAlphaBitFields;
    } else if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
      const size_t count = h.compression == kAlphaBitFields ? 4 : 3;
      const size_t at = kFileHeaderBytes + h.headerBytes;
      if (at + 4 * count > file.size()) fail("The bitmap file is truncated.");
      for (size_t i = 0; i < count; ++i) h.masks[i] = readU32le(file.data() + at + 4 * i);
      h.hasMasks = true;
    }
  }
  const uint32_t offset = readU32le(file.data() + 10);
  h.pixelOffset = offset;
  return h;
}

// The colour table, completed with black entries up to the depth's full size.
struct ColorTable {
  std::array<Rgb, 256> colors{};
  size_t count = 0;
  size_t endOffset = 0;  // where the table ends in the file
};

ColorTable readColorTable(Bytes file, const BmpHeader& h) {
  ColorTable table;
  size_t at = kFileHeaderBytes + h.headerBytes;
  if (h.hasMasks && h.headerBytes < 52) at += h.compression == kAlphaBitFields ? 16 : 12;
  const size_t entryBytes = h.core ? 3 : 4;
  size_t count = 0;
  if (h.bitsPerPixel <= 8) {
    const size_t full = size_t{1} << h.bitsPerPixel;
    count = h.colorsUsed == 0 ? full : std::min<size_t>(h.colorsUsed, full);
    // The table must fit before the pixels (when the offset is sensible) and in the file.
    size_t limit = file.size();
    if (h.pixelOffset > at && h.pixelOffset <= file.size()) limit = h.pixelOffset;
    count = std::min(count, (limit - std::min(limit, at)) / entryBytes);
    if (count == 0) fail("The bitmap file has no colour table.");
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = file.data() + at + i * entryBytes;
    table.colors[i] = Rgb{e[2], e[1], e[0]};
  }
  table.count = count;
  // An explicit colour count on a true-colour picture is a table for palette displays.
  if (h.bitsPerPixel > 8) count = std::min<size_t>(h.colorsUsed, 256);
  table.endOffset = at + count * entryBytes;
  return table;
}

// Where the pixels start: the file's offset when it lies behind the colour table, else right
// after the table (some writers store an offset that points into the table).
size_t pixelStart(Bytes file, const BmpHeader& h, const ColorTable& table) {
  if (h.pixelOffset >= table.endOffset && h.pixelOffset < file.size()) return h.pixelOffset;
  if (table.endOffset < file.size()) return table.endOffset;
  fail("The bitmap file holds no pixels.");
}

// Copies uncompressed palette rows (1, 4 or 8 bits) as they are; 2-bit rows are widened to 4.
void copyIndexRows(Bytes data, const BmpHeader& h, DibOwner& dib, Progress& progress) {
  const int64_t fileRow = dibRowBytes(h.width, h.bitsPerPixel);
  if (static_cast<int64_t>(data.size()) < fileRow * h.height) fail("The bitmap file is truncated.");
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* src = data.data() + r * fileRow;
    uint8_t* dst =
        h.topDown ? dib.topRow(static_cast<int32_t>(r)) : dib.row(static_cast<int32_t>(r));
    if (h.bitsPerPixel == 2) {
      for (int64_t x = 0; x < h.width; ++x) {
        const int index = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        dst[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
      }
    } else {
      std::memcpy(dst, src, static_cast<size_t>(dib.rowBytes()));
    }
    progress.update(r, h.height);
  }
}

void copyRgb24Rows(Bytes data, const BmpHeader& h, DibOwner& dib, Progress& progress) {
  const int64_t fileRow = dibRowBytes(h.width, 24);
  if (static_cast<int64_t>(data.size()) < fileRow * h.height) fail("The bitmap file is truncated.");
  for (int64_t r = 0; r < h.height; ++r) {
    uint8_t* dst =
        h.topDown ? dib.topRow(static_cast<int32_t>(r)) : dib.row(static_cast<int32_t>(r));
    std::memcpy(dst, data.data() + r * fileRow, static_cast<size_t>(fileRow));
    progress.update(r, h.height);
  }
}

// 16- and 32-bit pixels through their bit fields into 24 bits, alpha composited over white.
void convertBitFieldRows(Bytes data, const BmpHeader& h, DibOwner& dib, Progress& progress) {
  std::array<uint32_t, 4> masks = h.masks;
  if (!h.hasMasks) {
    masks = h.bitsPerPixel == 16 ? std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                 : std::array<uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
  }
  if (h.bitsPerPixel == 16) {
    for (auto& m : masks) m &= 0xFFFF;
  }
  const Channel red = channelOf(masks[0]), green = channelOf(masks[1]), blue = channelOf(masks[2]);
  Channel alpha = channelOf(masks[3]);

  const int64_t fileRow = dibRowBytes(h.width, h.bitsPerPixel);
  if (static_cast<int64_t>(data.size()) < fileRow * h.height) fail("The bitmap file is truncated.");
  const int bytes = h.bitsPerPixel / 8;
  auto pixelAt = [&](const uint8_t* p) {
    return bytes == 2 ? uint32_t{readU16le(p)} : readU32le(p);
  };

  // An alpha channel that is zero everywhere is unused padding, not transparency.
  if (alpha.max != 0) {
    bool anyAlpha = false;
    for (int64_t r = 0; r < h.height && !anyAlpha; ++r) {
      const uint8_t* src = data.data() + r * fileRow;
      for (int64_t x = 0; x < h.width; ++x) {
        if (pixelAt(src + x * bytes) & alpha.mask) {
          anyAlpha = true;
          break;
        }
      }
    }
    if (!anyAlpha) alpha = Channel{};
  }
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* src = data.data() + r * fileRow;
    uint8_t* dst =
        h.topDown ? dib.topRow(static_cast<int32_t>(r)) : dib.row(static_cast<int32_t>(r));
    for (int64_t x = 0; x < h.width; ++x, dst += 3) {
      const uint32_t v = pixelAt(src + x * bytes);
      uint32_t b = blue.get(v), g = green.get(v), rr = red.get(v);
      if (alpha.max != 0) {
        const uint32_t a = alpha.get(v);
        b = (b * a + 255 * (255 - a) + 127) / 255;
        g = (g * a + 255 * (255 - a) + 127) / 255;
        rr = (rr * a + 255 * (255 - a) + 127) / 255;
      }
      dst[0] = static_cast<uint8_t>(b);
      dst[1] = static_cast<uint8_t>(g);
      dst[2] = static_cast<uint8_t>(rr);
    }
    progress.update(r, h.height);
  }
}

// RLE8 and RLE4 into 8- or 4-bit rows, bottom-up. Pixels the stream skips stay index 0;
// runs that would leave the row or the picture are cut off at its edge.
void decodeRle(Bytes data, const BmpHeader& h, DibOwner& dib, Progress& progress) {
  if (h.topDown) fail("A top-down bitmap cannot be run-length compressed.");
  const bool four = h.compression == kRle4;
  const int64_t width = h.width, height = h.height;
  int64_t x = 0, y = 0;
  size_t i = 0;
  auto put = [&](int index) {
    if (x < width && y < height) {
      uint8_t* row = dib.row(static_cast<int32_t>(y));
      if (four) {
        row[x >> 1] |= static_cast<uint8_t>((x & 1) ? (index & 15) : (index & 15) << 4);
      } else {
        row[x] = static_cast<uint8_t>(index);
      }
    }
    ++x;
  };
  while (y < height) {
    if (i + 2 > data.size()) break;  // a stream without its end marker ends here
    const uint8_t count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count && x < width; ++k)
        put(four ? ((k & 1) ? value & 15 : value >> 4) : value);
    } else if (value == 0) {  // end of line
      x = 0;
      ++y;
      progress.update(y, height);
    } else if (value == 1) {  // end of picture
      break;
    } else if (value == 2) {  // delta
      if (i + 2 > data.size()) break;
      x += data[i];
      y += data[i + 1];
      i += 2;
    } else {  // absolute run of `value` pixels, padded to 16 bits
      const size_t n = value;
      const size_t bytes = four ? (n + 1) / 2 : n;
      if (i + bytes > data.size()) fail("The compressed bitmap data is truncated.");
      for (size_t k = 0; k < n; ++k) {
        const uint8_t b = data[i + (four ? k / 2 : k)];
        put(four ? ((k & 1) ? b & 15 : b >> 4) : b);
      }
      i += (bytes + 1) & ~size_t{1};
    }
  }
}

void applyTable(DibOwner& dib, const ColorTable& table) {
  const int size = tableSize(dib.bitsPerPixel());
  for (int i = 0; i < size; ++i) dib.setColor(i, table.colors[i]);
}

}  // namespace

DibOwner readBmp(Bytes file, Progress& progress) {
  if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') fail("The file is not a bitmap.");
  const BmpHeader h = parseHeader(file);
  if (h.compression == kJpeg || h.compression == kPng) {
    const size_t at = std::min<size_t>(h.pixelOffset, file.size());
    if (at <= kFileHeaderBytes + h.headerBytes) fail("The bitmap file holds no pixels.");
    const Bytes embedded = file.subspan(at);
    const PictureFormat expected =
        h.compression == kJpeg ? PictureFormat::Jpeg : PictureFormat::Png;
    if (sniffFormat(embedded) != expected) fail("The bitmap's embedded picture is damaged.");
    return readPictureAs(expected, embedded, progress);
  }
  checkPictureSize(h.width, h.height);

  const int bpp = h.bitsPerPixel;
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  const bool bitFields = h.compression == kBitFields || h.compression == kAlphaBitFields;
  if (h.compression > kAlphaBitFields) fail("The bitmap uses an unknown compression.");
  if ((h.compression == kRle8 && bpp != 8) || (h.compression == kRle4 && bpp != 4) ||
      (bitFields && bpp != 16 && bpp != 32)) {
    fail("The bitmap's compression does not match its depth.");
  }
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    fail("The bitmap has an invalid depth of " + std::to_string(bpp) + " bits per pixel.");
  }
  const ColorTable table = readColorTable(file, h);
  const Bytes data = file.subspan(pixelStart(file, h, table));

  const int32_t width = static_cast<int32_t>(h.width), height = static_cast<int32_t>(h.height);
  // Run-length data may skip pixels and 2-bit indices are merged into the zeros; every other
  // layout writes each row whole (and a file too short for its rows fails).
  const bool written = !rle && bpp != 2;
  DibOwner dib(width, height, bpp == 2 ? 4 : (bpp <= 8 ? bpp : 24),
               written ? PixelStart::Overwritten : PixelStart::Zeroed);
  if (bpp <= 8) applyTable(dib, table);
  if (rle) {
    decodeRle(data, h, dib, progress);
  } else if (bpp <= 8) {
    copyIndexRows(data, h, dib, progress);
  } else if (bpp == 24) {
    copyRgb24Rows(data, h, dib, progress);
  } else {
    convertBitFieldRows(data, h, dib, progress);
  }
  return dib;
}

}  // namespace picodec
