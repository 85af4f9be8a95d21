#include "web_pictures.h"

#include <avif/avif.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>  // after <cstdio>, which it needs

#include "dibs24.h"
#include "resampling.h"

namespace glim {
namespace {

struct EncoderDeleter {
  void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
struct ImageDeleter {
  void operator()(avifImage* image) const { avifImageDestroy(image); }
};

// The picture's rows top-down as libavif takes them (a DibImage keeps them bottom-up).
std::vector<uint8_t> topDownRows(const DibImage& picture) {
  const auto width = static_cast<size_t>(DibWidth(picture));
  const int32_t height = DibHeight(picture);
  std::vector<uint8_t> rows(width * 3 * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* from = picture.Pixels + static_cast<int64_t>(height - 1 - y) * picture.RowBytes;
    std::copy(from, from + width * 3, rows.begin() + static_cast<std::ptrdiff_t>(width * 3 * y));
  }
  return rows;
}

void appendBig32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}

void appendChunk(std::string& png, const char* type, const std::string& data) {
  appendBig32(png, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  appendBig32(png, static_cast<uint32_t>(
                       crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

std::string base64(const std::string& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[group >> (18 - 6 * k) & 63] : '=';
  }
  return out;
}

// A PNG of the 24-bit picture, RGB at 8 bits, rows top-down.
std::string pngOf(const DibImage& picture) {
  const int32_t width = DibWidth(picture), height = DibHeight(picture);
  std::string header;
  appendBig32(header, static_cast<uint32_t>(width));
  appendBig32(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no interlace
  std::string raw;
  for (int32_t y = height - 1; y >= 0; --y) {
    raw += '\0';  // no filter
    const uint8_t* row = picture.Pixels + static_cast<int64_t>(y) * picture.RowBytes;
    for (int32_t x = 0; x < width; ++x) {
      raw += static_cast<char>(row[3 * x + 2]);
      raw += static_cast<char>(row[3 * x + 1]);
      raw += static_cast<char>(row[3 * x]);
    }
  }
  // A small window and state: the rows are a few dozen bytes, and the codec's default state
  // (a quarter of a megabyte) would be the largest thing a small picture's work holds.
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, 9, 1, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string packed(deflateBound(&stream, raw.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(raw.data());
  stream.avail_in = static_cast<uInt>(raw.size());
  stream.next_out = reinterpret_cast<Bytef*>(packed.data());
  stream.avail_out = static_cast<uInt>(packed.size());
  const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
  packed.resize(stream.total_out);
  deflateEnd(&stream);
  if (!done) return {};
  std::string png("\x89PNG\r\n\x1A\n", 8);
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", packed);
  appendChunk(png, "IEND", {});
  return png;
}

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// libjpeg's output into the temporary file through a buffer of its own; a failed write is
// libjpeg's error (the file keeps its errno).
struct FileDestination {
  jpeg_destination_mgr manager;
  TemporaryFile* file;
  JOCTET buffer[1 << 16];

  static FileDestination& of(j_compress_ptr cinfo) {
    return *reinterpret_cast<FileDestination*>(cinfo->dest);
  }
  static void write(j_compress_ptr cinfo, size_t bytes) {
    FileDestination& self = of(cinfo);
    if (!self.file->write(std::string_view(reinterpret_cast<const char*>(self.buffer), bytes))) {
      cinfo->err->msg_code = JERR_FILE_WRITE;
      (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
    self.manager.next_output_byte = self.buffer;
    self.manager.free_in_buffer = sizeof(self.buffer);
  }
  static void start(j_compress_ptr cinfo) {
    of(cinfo).manager.next_output_byte = of(cinfo).buffer;
    of(cinfo).manager.free_in_buffer = sizeof(buffer);
  }
  static boolean empty(j_compress_ptr cinfo) {
    write(cinfo, sizeof(buffer));  // libjpeg calls this with the buffer full
    return TRUE;
  }
  static void finish(j_compress_ptr cinfo) {
    write(cinfo, sizeof(buffer) - of(cinfo).manager.free_in_buffer);
  }
};

// The libjpeg part of saveWebJpeg; only trivially destructible locals, so the error longjmp
// skips no destructor. False when libjpeg gave up (no memory, or a write failed).
bool compressWeb(const DibImage& picture, int quality, FileDestination& destination) {
  jpeg_compress_struct cinfo;
  JpegErrors errors;
  destination.manager.init_destination = &FileDestination::start;
  destination.manager.empty_output_buffer = &FileDestination::empty;
  destination.manager.term_destination = &FileDestination::finish;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = [](j_common_ptr common) {
    std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->jump, 1);
  };
  errors.manager.emit_message = [](j_common_ptr, int) {};
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  cinfo.dest = &destination.manager;
  cinfo.image_width = static_cast<JDIMENSION>(DibWidth(picture));
  cinfo.image_height = static_cast<JDIMENSION>(DibHeight(picture));
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);  // 4:2:0, the standard Huffman tables
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const int32_t height = DibHeight(picture);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = picture.Pixels +
                   static_cast<int64_t>(height - 1 - static_cast<int32_t>(cinfo.next_scanline)) *
                       picture.RowBytes;  // rows are bottom-up
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

void saveWebJpeg(const DibImage& picture, const std::string& folder, int quality,
                 TemporaryFile& file, int& error) {
  error = 0;
  if (picture.Pixels == nullptr || DibBitCount(picture) != 24) return;
  if (!file.create(folder)) {
    error = file.error();
    return;
  }
  auto destination = std::make_unique<FileDestination>();
  destination->file = &file;
  if (!compressWeb(picture, quality, *destination) || !file.close()) {
    error = file.error();
    file.discard();
  }
}

void saveAvif(const DibImage& picture, const std::string& folder, int speed, TemporaryFile& file,
              int& error) {
  error = 0;
  if (picture.Pixels == nullptr || DibBitCount(picture) != 24) return;
  const auto width = static_cast<uint32_t>(DibWidth(picture));
  const auto height = static_cast<uint32_t>(DibHeight(picture));
  std::unique_ptr<avifImage, ImageDeleter> image(
      avifImageCreate(width, height, 8, AVIF_PIXEL_FORMAT_YUV420));
  if (!image) return;
  // sRGB: the pixels are already in it (the codec library converts what it reads).
  image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
  image->yuvRange = AVIF_RANGE_FULL;
  std::vector<uint8_t> rows = topDownRows(picture);
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, image.get());
  rgb.format = AVIF_RGB_FORMAT_BGR;
  rgb.depth = 8;
  rgb.pixels = rows.data();
  rgb.rowBytes = width * 3;
  if (avifImageRGBToYUV(image.get(), &rgb) != AVIF_RESULT_OK) return;
  std::vector<uint8_t>().swap(rows);

  std::unique_ptr<avifEncoder, EncoderDeleter> encoder(avifEncoderCreate());
  if (!encoder) return;
  encoder->maxThreads = 1;  // the run's workers are the threads
  encoder->speed = std::clamp(speed, AVIF_SPEED_SLOWEST, AVIF_SPEED_FASTEST);
  // About a JPEG's quality 80 for photographs, at well under half its bytes.
  encoder->minQuantizer = 20;
  encoder->maxQuantizer = 32;
  avifRWData output = AVIF_DATA_EMPTY;
  if (avifEncoderWrite(encoder.get(), image.get(), &output) != AVIF_RESULT_OK) {
    avifRWDataFree(&output);
    return;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(output.data), output.size);
  if (!file.create(folder) || !file.write(bytes) || !file.close()) {
    error = file.error();
    file.discard();
  }
  avifRWDataFree(&output);
}

uint64_t avifMemory(uint64_t pixels) {
  // The 4:2:0 planes, the top-down copy of the rows, and the AV1 encoder's frame buffers and
  // state.
  // The 4:2:0 planes and the top-down copy of the rows, and the AV1 encoder's frames and state:
  // measured 11 MiB at 720 x 480, 19 MiB at 1080 x 720 and 34 MiB at 1080 x 1620.
  return pixels * 3 / 2 + pixels * 3 + pixels * 18 + (6u << 20);
}

std::string placeholderUri(const DibImage& picture) {
  if (picture.Pixels == nullptr || DibBitCount(picture) != 24) return {};
  const int32_t width = DibWidth(picture), height = DibHeight(picture);
  const std::string prefix = "data:image/png;base64,";
  for (int32_t side = 6; side >= 2; --side) {
    const bool wide = width >= height;
    const int32_t shortSide =
        std::max<int32_t>(1, static_cast<int32_t>((int64_t{side} * (wide ? height : width) +
                                                   (wide ? width : height) / 2) /
                                                  (wide ? width : height)));
    const int32_t w = wide ? side : shortSide, h = wide ? shortSide : side;
    DibImage small = ResizeAveraged(picture, std::min(w, width), std::min(h, height));
    const std::string png = small.Pixels != nullptr ? pngOf(small) : std::string();
    deldib(small);
    if (png.empty()) return {};
    std::string uri = prefix + base64(png);
    if (uri.size() <= kPlaceholderBytes) return uri;
  }
  return {};
}

}  // namespace glim
