// PNG through libpng. Palette pictures keep their depth (2 bits widened to 4) and table,
// transparent entries blended over white; greyscale becomes 8 bits with a grey table; the
// rest 24 bits with any alpha composited over white. 16-bit samples are scaled to 8.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "codec_error.h"
#include "colour_profile.h"
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
enum class RowLayout { Indexed, Grey, GreyAlpha, Rgb, Rgba };

struct Plan {
  png_uint_32 width = 0, height = 0;
  RowLayout layout = RowLayout::Rgb;
  int recordBits = 24;
  int pngBits = 8;  // bits per index for Indexed rows
  int passes = 1;   // 7 for interlaced pictures
  size_t rowBytes = 0;
  std::vector<Rgb> table;           // Indexed: palette blended over white
  std::vector<Rgb> rawTable;        // Indexed: the palette as stored
  std::vector<uint8_t> tableAlpha;  // Indexed: its alpha, 255 where tRNS gives none
  uint8_t greyMap[256] = {};        // GreyAlpha: grey values into sRGB before blending
  bool mapGrey = false;
  // Colour: an embedded ICC profile; or the sRGB chunk; or cHRM with gAMA.
  std::vector<uint8_t> profile;
  bool srgb = false;
  bool primaries = false;
  double white[2] = {}, red[2] = {}, green[2] = {}, blue[2] = {};
  double gamma = 0;
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
  // The colour chunks (iCCP, sRGB, cHRM, gAMA) are read: their size is bounded above.
  static const png_byte kIgnored[] =
      "bKGD\0eXIf\0hIST\0iTXt\0oFFs\0pCAL\0pHYs\0"
      "sBIT\0sCAL\0sPLT\0tEXt\0tIME\0zTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnored, 13);
  png_read_info(png, info);
  png_charp profileName = nullptr;
  png_bytep profile = nullptr;
  png_uint_32 profileBytes = 0;
  int compression = 0;
  if (png_get_iCCP(png, info, &profileName, &compression, &profile, &profileBytes) != 0 &&
      profile != nullptr) {
    plan.profile.assign(profile, profile + profileBytes);
  }
  plan.srgb = png_get_valid(png, info, PNG_INFO_sRGB) != 0;
  double fileGamma = 0;
  if (png_get_gAMA(png, info, &fileGamma) != 0 && fileGamma > 0) plan.gamma = 1.0 / fileGamma;
  plan.primaries =
      png_get_valid(png, info, PNG_INFO_cHRM) != 0 &&
      png_get_cHRM(png, info, &plan.white[0], &plan.white[1], &plan.red[0], &plan.red[1],
                   &plan.green[0], &plan.green[1], &plan.blue[0], &plan.blue[1]) != 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &plan.width, &plan.height, &bitDepth, &colorType, nullptr, nullptr,
               nullptr);
  const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (bitDepth == 16) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    plan.layout = RowLayout::Indexed;
    plan.pngBits = bitDepth;
    plan.recordBits = bitDepth == 2 ? 4 : bitDepth;
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (transparency) png_get_tRNS(png, info, &alpha, &alphaCount, nullptr);
    plan.rawTable.assign(256, Rgb{0, 0, 0});
    plan.tableAlpha.assign(256, 255);
    for (int i = 0; i < count && i < 256; ++i) {
      plan.rawTable[i] = {palette[i].red, palette[i].green, palette[i].blue};
      plan.tableAlpha[i] = i < alphaCount ? alpha[i] : 255;
    }
  } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparency) png_set_tRNS_to_alpha(png);
    plan.layout = (colorType == PNG_COLOR_TYPE_GRAY_ALPHA || transparency) ? RowLayout::GreyAlpha
                                                                           : RowLayout::Grey;
    plan.recordBits = 8;
  } else {
    if (transparency) png_set_tRNS_to_alpha(png);
    plan.layout =
        (colorType == PNG_COLOR_TYPE_RGB_ALPHA || transparency) ? RowLayout::Rgba : RowLayout::Rgb;
    png_set_bgr(png);
  }
  plan.passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  plan.rowBytes = png_get_rowbytes(png, info);
  return true;
}

// Copies or converts one decoded row (top line t) into the record.
void placeRow(const Plan& plan, const uint8_t* src, DibOwner& dib, int32_t t,
              const ColourConversion* colour, uint8_t* scratch) {
  uint8_t* dst = dib.topRow(t);
  const png_uint_32 w = plan.width;
  switch (plan.layout) {
    case RowLayout::Indexed:
      if (plan.pngBits == 2) {
        for (png_uint_32 x = 0; x < w; ++x) {
          const int index = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
          dst[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
        }
      } else {
        std::memcpy(dst, src, plan.rowBytes);
      }
      break;
    case RowLayout::Grey:
      std::memcpy(dst, src, w);
      break;
    case RowLayout::GreyAlpha:
      // Colours go into sRGB before they are blended over white.
      for (png_uint_32 x = 0; x < w; ++x) {
        const uint8_t grey = plan.mapGrey ? plan.greyMap[src[2 * x]] : src[2 * x];
        dst[x] = overWhite(grey, src[2 * x + 1]);
      }
      break;
    case RowLayout::Rgb:
      if (colour != nullptr) {
        colour->convert(src, dst, static_cast<int32_t>(w));
      } else {
        std::memcpy(dst, src, size_t{w} * 3);
      }
      break;
    case RowLayout::Rgba: {
      // Colours go into sRGB (in the scratch row) before they are blended over white.
      const uint8_t* colours = src;
      size_t step = 4;
      if (colour != nullptr) {
        for (png_uint_32 x = 0; x < w; ++x) std::memcpy(scratch + 3 * x, src + 4 * x, 3);
        colour->convert(scratch, scratch, static_cast<int32_t>(w));
        colours = scratch;
        step = 3;
      }
      for (png_uint_32 x = 0; x < w; ++x, dst += 3) {
        const uint8_t* c = colours + step * x;
        const uint8_t alpha = src[4 * x + 3];
        dst[0] = overWhite(c[0], alpha);
        dst[1] = overWhite(c[1], alpha);
        dst[2] = overWhite(c[2], alpha);
      }
      break;
    }
  }
}

// The conversion to sRGB the file's colour chunks ask for; null for none. A gamma without
// primaries goes with sRGB's primaries; a gamma of about 2.2 alone is taken for sRGB itself,
// as the writers that put it there mean it.
std::shared_ptr<const ColourConversion> colourOf(const Plan& plan) {
  using Layout = ColourConversion::Layout;
  const Layout layout = plan.layout == RowLayout::Grey || plan.layout == RowLayout::GreyAlpha
                            ? Layout::Grey8
                            : Layout::Bgr8;
  if (!plan.profile.empty()) {
    if (auto conversion = ColourConversion::fromIcc(plan.profile, layout)) return conversion;
    return nullptr;
  }
  if (plan.srgb || plan.gamma <= 0) return nullptr;
  // Grey pictures take their gamma alone.
  if (plan.primaries && layout == Layout::Bgr8) {
    return ColourConversion::fromPrimaries(plan.white, plan.red, plan.green, plan.blue, plan.gamma);
  }
  if (std::fabs(plan.gamma - 2.2) < 0.05) return nullptr;
  static const double white[2] = {0.3127, 0.3290}, red[2] = {0.64, 0.33}, green[2] = {0.30, 0.60},
                      blue[2] = {0.15, 0.06};
  return ColourConversion::fromPrimaries(white, red, green, blue, plan.gamma);
}

// All rows, interlaced or not. Plain locals only: the error longjmp lands here.
bool readRows(png_structp png, const Plan& plan, DibOwner& dib, uint8_t* rows, Progress& progress,
              const ColourConversion* colour, uint8_t* scratch) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int passes = plan.passes;
  const bool interlaced = passes > 1;
  // Interlaced pictures need every row at hand for each pass; the others reuse one row.
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < plan.height; ++y) {
      uint8_t* row = interlaced ? rows + plan.rowBytes * y : rows;
      png_read_row(png, row, nullptr);
      if (!interlaced) {
        placeRow(plan, row, dib, static_cast<int32_t>(y), colour, scratch);
      }
      progress.update(int64_t{pass} * plan.height + y, int64_t{passes} * plan.height);
    }
  }
  if (interlaced) {
    for (png_uint_32 y = 0; y < plan.height; ++y) {
      placeRow(plan, rows + plan.rowBytes * y, dib, static_cast<int32_t>(y), colour, scratch);
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
      plan.passes == 1 && !(plan.layout == RowLayout::Indexed && plan.pngBits == 2);
  DibOwner dib(static_cast<int32_t>(plan.width), static_cast<int32_t>(plan.height), plan.recordBits,
               placedWhole ? PixelStart::Overwritten : PixelStart::Zeroed);
  const std::shared_ptr<const ColourConversion> colour = colourOf(plan);
  if (plan.layout == RowLayout::Indexed) {
    // The palette goes into sRGB, then is blended over white; the indices stay.
    uint8_t bgr[256 * 3];
    for (int i = 0; i < 256; ++i) {
      bgr[3 * i] = plan.rawTable[i].blue;
      bgr[3 * i + 1] = plan.rawTable[i].green;
      bgr[3 * i + 2] = plan.rawTable[i].red;
    }
    if (colour != nullptr) colour->convert(bgr, bgr, 256);
    plan.table.resize(256);
    for (int i = 0; i < 256; ++i) {
      const unsigned a = plan.tableAlpha[i];
      plan.table[i] = {overWhite(bgr[3 * i + 2], a), overWhite(bgr[3 * i + 1], a),
                       overWhite(bgr[3 * i], a)};
    }
    for (int i = 0; i < tableSize(plan.recordBits); ++i) dib.setColor(i, plan.table[i]);
  } else if (plan.recordBits == 8) {
    // Grey into sRGB: what the profile or the gamma makes of each grey value.
    uint8_t map[256][3];
    bool mapped = false;
    if (colour != nullptr) {
      colour->greyTable(map);
      mapped = true;
    }
    dib.setGreyTable();
    if (mapped && plan.layout == RowLayout::GreyAlpha) {
      // Blending needs the sRGB grey in the pixels; the table stays a plain ramp.
      for (int i = 0; i < 256; ++i) plan.greyMap[i] = map[i][1];
      plan.mapGrey = true;
    } else if (mapped) {
      for (int i = 0; i < 256; ++i) dib.setColor(i, Rgb{map[i][2], map[i][1], map[i][0]});
    }
  }
  std::vector<uint8_t> scratch(plan.layout == RowLayout::Rgba && colour != nullptr
                                   ? static_cast<size_t>(plan.width) * 3
                                   : 0);
  const size_t bufferRows = plan.passes > 1 ? plan.height : 1;
  // calloc leaves untouched zero pages unreserved: an interlaced file that claims a huge
  // picture but carries little data fails before the buffer costs its full size.
  std::unique_ptr<uint8_t, decltype(&std::free)> rows(
      static_cast<uint8_t*>(std::calloc(plan.rowBytes * bufferRows, 1)), &std::free);
  if (!rows) fail("Not enough memory to read the picture.");
  if (!readRows(guard.png, plan, dib, rows.get(), progress, colour.get(), scratch.data())) {
    fail("The PNG file is damaged: " + reader.message + ".");
  }
  return dib;
}

}  // namespace picodec
