// PNG through libpng. Palette pictures keep their depth (2 bits widened to 4) and table,
// transparent entries blended over white; greyscale becomes 8 bits with a grey table; the
// rest 24 bits with any alpha composited over white. 16-bit samples are scaled to 8.
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "codec_error.h"
#include "picture_readers.h"

namespace picodec {
namespace {

constexpr png_alloc_size_t kMaxChunkBytes = 16 * 1024 * 1024;  // text, ICC and other extras

struct Reader {
  Bytes bytes;
  size_t offset = 0;
  std::string message;
};

void onError(png_structp png, png_const_charp text) {
  static_cast<Reader*>(png_get_error_ptr(png))->message = text;
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, size_t length) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (length > r->bytes.size() - r->offset) png_error(png, "it ends too early");
  std::memcpy(out, r->bytes.data() + r->offset, length);
  r->offset += length;
}

uint8_t overWhite(unsigned value, unsigned alpha) {
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// What the rows hold after libpng's transformations, and what the record gets.
enum class Layout { Indexed, Grey, GreyAlpha, Rgb, Rgba };

struct Plan {
  png_uint_32 width = 0, height = 0;
  Layout layout = Layout::Rgb;
  int recordBits = 24;
  int pngBits = 8;  // bits per index for Indexed rows
  int passes = 1;   // 7 for interlaced pictures
  size_t rowBytes = 0;
  std::vector<Rgb> table;  // Indexed: palette blended over white
};

// Header and transformations. Only plain locals besides the out-parameters: the error
// longjmp lands here.
bool readHeader(png_structp png, png_infop info, Plan& plan) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, PICODEC_MAX_DIMENSION, PICODEC_MAX_DIMENSION);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, 1000);
  // Only the pixels and their colours matter here. Every other chunk is skipped unread, so
  // that a text or profile chunk claiming gigabytes never gets a buffer.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  static const png_byte kIgnored[] =
      "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
      "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnored, 17);
  png_read_info(png, info);
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &plan.width, &plan.height, &bitDepth, &colorType, nullptr, nullptr,
               nullptr);
  const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (bitDepth == 16) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    plan.layout = Layout::Indexed;
    plan.pngBits = bitDepth;
    plan.recordBits = bitDepth == 2 ? 4 : bitDepth;
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (transparency) png_get_tRNS(png, info, &alpha, &alphaCount, nullptr);
    plan.table.assign(256, Rgb{0, 0, 0});
    for (int i = 0; i < count && i < 256; ++i) {
      const unsigned a = i < alphaCount ? alpha[i] : 255;
      plan.table[i] = {overWhite(palette[i].red, a), overWhite(palette[i].green, a),
                       overWhite(palette[i].blue, a)};
    }
  } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparency) png_set_tRNS_to_alpha(png);
    plan.layout =
        (colorType == PNG_COLOR_TYPE_GRAY_ALPHA || transparency) ? Layout::GreyAlpha : Layout::Grey;
    plan.recordBits = 8;
  } else {
    if (transparency) png_set_tRNS_to_alpha(png);
    plan.layout =
        (colorType == PNG_COLOR_TYPE_RGB_ALPHA || transparency) ? Layout::Rgba : Layout::Rgb;
    png_set_bgr(png);
  }
  plan.passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  plan.rowBytes = png_get_rowbytes(png, info);
  return true;
}

// Copies or converts one decoded row (top line t) into the record.
void placeRow(const Plan& plan, const uint8_t* src, DibOwner& dib, int32_t t) {
  uint8_t* dst = dib.topRow(t);
  const png_uint_32 w = plan.width;
  switch (plan.layout) {
    case Layout::Indexed:
      if (plan.pngBits == 2) {
        for (png_uint_32 x = 0; x < w; ++x) {
          const int index = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
          dst[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
        }
      } else {
        std::memcpy(dst, src, plan.rowBytes);
      }
      break;
    case Layout::Grey:
      std::memcpy(dst, src, w);
      break;
    case Layout::GreyAlpha:
      for (png_uint_32 x = 0; x < w; ++x) dst[x] = overWhite(src[2 * x], src[2 * x + 1]);
      break;
    case Layout::Rgb:
      std::memcpy(dst, src, size_t{w} * 3);
      break;
    case Layout::Rgba:
      for (png_uint_32 x = 0; x < w; ++x, src += 4, dst += 3) {
        dst[0] = overWhite(src[0], src[3]);
        dst[1] = overWhite(src[1], src[3]);
        dst[2] = overWhite(src[2], src[3]);
      }
      break;
  }
}

// All rows, interlaced or not. Plain locals only: the error longjmp lands here.
bool readRows(png_structp png, const Plan& plan, DibOwner& dib, uint8_t* rows, Progress& progress) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int passes = plan.passes;
  const bool interlaced = passes > 1;
  // Interlaced pictures need every row at hand for each pass; the others reuse one row.
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < plan.height; ++y) {
      uint8_t* row = interlaced ? rows + plan.rowBytes * y : rows;
      png_read_row(png, row, nullptr);
      if (!interlaced) placeRow(plan, row, dib, static_cast<int32_t>(y));
      progress.update(int64_t{pass} * plan.height + y, int64_t{passes} * plan.height);
    }
  }
  if (interlaced) {
    for (png_uint_32 y = 0; y < plan.height; ++y) {
      placeRow(plan, rows + plan.rowBytes * y, dib, static_cast<int32_t>(y));
    }
  }
  png_read_end(png, nullptr);
  return true;
}

struct PngGuard {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngGuard() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

}  // namespace

DibOwner readPng(Bytes bytes, Progress& progress) {
  Reader reader{bytes, 0, {}};
  PngGuard guard;
  guard.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, onError, onWarning);
  if (guard.png == nullptr) fail("Not enough memory to read the PNG file.");
  guard.info = png_create_info_struct(guard.png);
  if (guard.info == nullptr) fail("Not enough memory to read the PNG file.");
  png_set_read_fn(guard.png, &reader, readBytes);

  Plan plan;
  if (!readHeader(guard.png, guard.info, plan)) {
    fail("The PNG file is damaged: " + reader.message + ".");
  }
  checkPictureSize(plan.width, plan.height);
  // Rows are placed whole, except 2-bit indices, which are merged into the zeros; interlaced
  // pictures stay cleared too, they are rare enough not to matter.
  const bool placedWhole =
      plan.passes == 1 && !(plan.layout == Layout::Indexed && plan.pngBits == 2);
  DibOwner dib(static_cast<int32_t>(plan.width), static_cast<int32_t>(plan.height), plan.recordBits,
               placedWhole ? PixelStart::Overwritten : PixelStart::Zeroed);
  if (plan.layout == Layout::Indexed) {
    for (int i = 0; i < tableSize(plan.recordBits); ++i) dib.setColor(i, plan.table[i]);
  } else if (plan.recordBits == 8) {
    dib.setGreyTable();
  }
  const size_t bufferRows = plan.passes > 1 ? plan.height : 1;
  // calloc leaves untouched zero pages unreserved: an interlaced file that claims a huge
  // picture but carries little data fails before the buffer costs its full size.
  std::unique_ptr<uint8_t, decltype(&std::free)> rows(
      static_cast<uint8_t*>(std::calloc(plan.rowBytes * bufferRows, 1)), &std::free);
  if (!rows) fail("Not enough memory to read the picture.");
  if (!readRows(guard.png, plan, dib, rows.get(), progress)) {
    fail("The PNG file is damaged: " + reader.message + ".");
  }
  return dib;
}

}  // namespace picodec
