// JPEG through libjpeg-turbo: decoded straight into the record's bottom-up rows (blue,
// green, red, with the row padding as pitch), greyscale into 8 bits with a grey table,
// CMYK converted, and the EXIF orientation applied while the rows are placed.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

#include "codec_error.h"
#include "colour_profile.h"
#include "orientation.h"
#include "picture_readers.h"

namespace picodec {
namespace {

constexpr int kMaxScans = 500;                           // progressive files with more are hostile
constexpr long kMaxLibraryMemory = 1024L * 1024 * 1024;  // libjpeg's own buffers
constexpr int kStripRows = 16;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jumpOut(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  jumpOut(cinfo);
}

// Warnings are tolerated, except the data ending early (with or without an end marker):
// libjpeg would go on inventing grey rows.
void onMessage(j_common_ptr cinfo, int level) {
  const int code = cinfo->err->msg_code;
  if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) {
    std::snprintf(reinterpret_cast<ErrorManager*>(cinfo->err)->message, JMSG_LENGTH_MAX,
                  "it ends too early");
    jumpOut(cinfo);
  }
}

void onProgress(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    std::snprintf(reinterpret_cast<ErrorManager*>(cinfo->err)->message, JMSG_LENGTH_MAX,
                  "it has too many scans");
    jumpOut(cinfo);
  }
}

// The libjpeg state of one decoding; plain data, so the error longjmp may cross it.
struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  jpeg_progress_mgr monitor;
  bool created = false;
  JOCTET* profile = nullptr;  // the embedded colour profile, malloc'ed by libjpeg
  unsigned int profileBytes = 0;
};

// EXIF orientation 1 to 8 from the first APP1 "Exif" marker; 1 when absent or unreadable.
int markerOrientation(j_decompress_ptr cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
        std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      return exifOrientation(m->data, m->data_length);
    }
  }
  return 1;
}

// Phase 1: header and output colour space. Only plain locals: see Decoder.
bool readHeader(Decoder& d, Bytes bytes, std::FILE* file) {
  d.cinfo.err = jpeg_std_error(&d.errors.pub);
  d.errors.pub.error_exit = onError;
  d.errors.pub.emit_message = onMessage;
  d.errors.message[0] = 0;
  if (setjmp(d.errors.jump)) return false;
  jpeg_create_decompress(&d.cinfo);
  d.created = true;
  d.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
  d.monitor.progress_monitor = onProgress;
  d.cinfo.progress = &d.monitor;
  if (file != nullptr) {
    jpeg_stdio_src(&d.cinfo, file);
  } else {
    jpeg_mem_src(&d.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  }
  jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&d.cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC profile chunks
  jpeg_read_header(&d.cinfo, TRUE);
  if (!jpeg_read_icc_profile(&d.cinfo, &d.profile, &d.profileBytes)) {
    d.profile = nullptr;
    d.profileBytes = 0;
  }
  switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.cinfo.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      d.cinfo.out_color_space = JCS_EXT_BGR;
  }
  return true;
}

// Where the decoded rows go: the record, turned by the orientation.
struct RowTarget {
  DibOwner* dib;
  int orientation;
  int bytesPerPixel;  // in the record: 1 or 3
  bool cmyk;
  bool adobeInverted;
  Progress* progress;
  JSAMPROW strip[kStripRows];
  const ColourConversion* colour;  // to sRGB, or null
  uint8_t* converted;              // one row of blue, green, red for converted CMYK
};

// Copies one decoded source row `sy` (top-based) into the record.
void placeRow(const RowTarget& p, const uint8_t* src, int32_t sy, int32_t width, int32_t height) {
  const int bpp = p.bytesPerPixel;
  const int64_t rowBytes = p.dib->rowBytes();
  // The destination of source pixel 0 of this row, and the step from one pixel to the next.
  const Placement first = orientedPosition(p.orientation, 0, sy, width, height);
  const Placement second = orientedPosition(p.orientation, 1, sy, width, height);
  // Moving one line down in the picture moves one row back in the bottom-up memory.
  const int64_t step = int64_t{second.x - first.x} * bpp - int64_t{second.y - first.y} * rowBytes;
  uint8_t* dst = p.dib->topRow(first.y) + int64_t{first.x} * bpp;
  if (p.cmyk && p.colour != nullptr) {
    p.colour->convert(src, p.converted, width);
    src = p.converted;
    for (int32_t x = 0; x < width; ++x, dst += step, src += 3) std::memcpy(dst, src, 3);
  } else if (p.cmyk) {
    for (int32_t x = 0; x < width; ++x, dst += step, src += 4) {
      unsigned c = src[0], m = src[1], y = src[2], k = src[3];
      if (!p.adobeInverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
      dst[0] = static_cast<uint8_t>((y * k + 127) / 255);
      dst[1] = static_cast<uint8_t>((m * k + 127) / 255);
      dst[2] = static_cast<uint8_t>((c * k + 127) / 255);
    }
  } else if (step == bpp) {
    std::memcpy(dst, src, static_cast<size_t>(width) * bpp);
  } else {
    for (int32_t x = 0; x < width; ++x, dst += step, src += bpp) std::memcpy(dst, src, bpp);
  }
}

// Phase 2: decode every row. Only plain locals: see Decoder.
bool decodeRows(Decoder& d, RowTarget& p) {
  if (setjmp(d.errors.jump)) return false;
  j_decompress_ptr cinfo = &d.cinfo;
  const auto width = static_cast<int32_t>(cinfo->output_width);
  const auto height = static_cast<int32_t>(cinfo->output_height);
  const bool direct = p.orientation == 1 && !p.cmyk;
  while (cinfo->output_scanline < cinfo->output_height) {
    const auto first = static_cast<int32_t>(cinfo->output_scanline);
    JSAMPROW rows[kStripRows];
    const int count = std::min(kStripRows, height - first);
    for (int i = 0; i < count; ++i) rows[i] = direct ? p.dib->topRow(first + i) : p.strip[i];
    const auto got = static_cast<int32_t>(jpeg_read_scanlines(cinfo, rows, count));
    if (p.colour != nullptr && !p.cmyk && p.bytesPerPixel == 3 && got > 0) {
      // Rows in the strip, and rows of a record without row padding, lie end to end (the
      // record's bottom-up), so one call converts them all.
      const int64_t rowBytes = int64_t{width} * 3;
      if (!direct || p.dib->rowBytes() == rowBytes) {
        uint8_t* start = direct ? rows[got - 1] : rows[0];
        p.colour->convert(start, start, width * got);
      } else {
        for (int i = 0; i < got; ++i) p.colour->convert(rows[i], rows[i], width);
      }
    }
    if (!direct) {
      for (int i = 0; i < got; ++i) placeRow(p, p.strip[i], first + i, width, height);
    }
    p.progress->update(first + got, height);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

// Phase between: start decompression. Only plain locals: see Decoder.
bool startDecoding(Decoder& d) {
  if (setjmp(d.errors.jump)) return false;
  jpeg_start_decompress(&d.cinfo);
  return true;
}

// Destroys libjpeg's state on every way out of decode().
struct DecoderGuard {
  Decoder& d;
  ~DecoderGuard() {
    if (d.created) jpeg_destroy_decompress(&d.cinfo);
    std::free(d.profile);
  }
};

[[noreturn]] void failWith(const Decoder& d) {
  fail(std::string("The JPEG file is damaged: ") + d.errors.message + ".");
}

DibOwner decode(Bytes bytes, std::FILE* file, Progress& progress) {
  Decoder d;
  DecoderGuard guard{d};
  if (!readHeader(d, bytes, file)) failWith(d);
  const int orientation = markerOrientation(&d.cinfo);
  const bool turned = orientation >= 5;
  const int64_t width = d.cinfo.image_width, height = d.cinfo.image_height;
  checkPictureSize(width, height);
  if (!startDecoding(d)) failWith(d);

  const bool grey = d.cinfo.out_color_space == JCS_GRAYSCALE;
  const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
  const auto outWidth = static_cast<int32_t>(d.cinfo.output_width);
  const auto outHeight = static_cast<int32_t>(d.cinfo.output_height);
  // Every pixel is written (each source pixel has its own place in any orientation), and a
  // file that ends early fails, so the memory need not be cleared first.
  DibOwner dib(turned ? outHeight : outWidth, turned ? outWidth : outHeight, grey ? 8 : 24,
               PixelStart::Overwritten);
  if (grey) dib.setGreyTable();
  const bool adobeInverted = d.cinfo.saw_Adobe_marker != 0;

  std::shared_ptr<const ColourConversion> colour;
  if (d.profile != nullptr) {
    using Layout = ColourConversion::Layout;
    const Layout layout = grey   ? Layout::Grey8
                          : cmyk ? (adobeInverted ? Layout::Cmyk8Inverted : Layout::Cmyk8)
                                 : Layout::Bgr8;
    colour = ColourConversion::fromIcc({d.profile, d.profileBytes}, layout);
  }
  if (grey && colour != nullptr) {
    uint8_t table[256][3];
    colour->greyTable(table);
    for (int i = 0; i < 256; ++i) dib.setColor(i, Rgb{table[i][2], table[i][1], table[i][0]});
  }

  RowTarget p{&dib,      orientation, grey ? 1 : 3, cmyk,   adobeInverted,
              &progress, {},          colour.get(), nullptr};
  std::unique_ptr<uint8_t[]> strip;
  std::unique_ptr<uint8_t[]> converted;
  if (orientation != 1 || cmyk) {
    const size_t rowBytes = static_cast<size_t>(outWidth) * d.cinfo.output_components;
    strip.reset(new uint8_t[rowBytes * kStripRows]);
    for (int i = 0; i < kStripRows; ++i) p.strip[i] = strip.get() + rowBytes * i;
  }
  if (cmyk && colour != nullptr) {
    converted.reset(new uint8_t[static_cast<size_t>(outWidth) * 3]);
    p.converted = converted.get();
  }
  if (!decodeRows(d, p)) failWith(d);
  return dib;
}

}  // namespace

DibOwner readJpeg(Bytes bytes, Progress& progress) {
  return decode(bytes, nullptr, progress);
}

DibOwner readJpegFile(std::FILE* file, Progress& progress) {
  return decode({}, file, progress);
}

}  // namespace picodec
