// WebP through libwebp: the first frame of the canvas (animations included). An opaque frame
// that fills the canvas is decoded straight into the record's bottom-up rows; otherwise the
// frame is decoded with alpha and composited over a white canvas. The EXIF orientation is
// applied.
#include <cstring>
#include <memory>
#include <string>

#include <webp/decode.h>
#include <webp/demux.h>

#include "codec_error.h"
#include "colour_profile.h"
#include "orientation.h"
#include "picture_readers.h"

namespace picodec {
namespace {

struct DemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

struct IteratorRelease {
  WebPIterator* iterator;
  ~IteratorRelease() { WebPDemuxReleaseIterator(iterator); }
};

struct OutputRelease {
  WebPDecBuffer* buffer;
  ~OutputRelease() { WebPFreeDecBuffer(buffer); }
};

[[noreturn]] void failWebp(const char* what) {
  fail(std::string("The WebP file is damaged: ") + what + ".");
}

// The orientation in the file's EXIF chunk, 1 when there is none.
int orientationOf(WebPDemuxer* demux) {
  WebPChunkIterator chunk;
  if (!WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) return 1;
  const int orientation = exifOrientation(chunk.chunk.bytes, chunk.chunk.size);
  WebPDemuxReleaseChunkIterator(&chunk);
  return orientation;
}

// The conversion the file's ICCP chunk asks for; null when there is none.
std::shared_ptr<const ColourConversion> colourOf(WebPDemuxer* demux) {
  WebPChunkIterator chunk;
  if (!WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) return nullptr;
  auto colour = ColourConversion::fromIcc({chunk.chunk.bytes, chunk.chunk.size},
                                          ColourConversion::Layout::Bgr8);
  WebPDemuxReleaseChunkIterator(&chunk);
  return colour;
}

void convertRows(DibOwner& dib, const ColourConversion* colour) {
  if (colour == nullptr) return;
  if (dib.rowBytes() == int64_t{dib.width()} * 3) {  // rows end to end: one call
    colour->convert(dib.row(0), dib.row(0), dib.width() * dib.height());
    return;
  }
  for (int32_t y = 0; y < dib.height(); ++y) colour->convert(dib.row(y), dib.row(y), dib.width());
}

DibOwner decodeFirstFrame(WebPDemuxer* demux, Progress& progress) {
  const std::shared_ptr<const ColourConversion> colour = colourOf(demux);
  const auto width = static_cast<int64_t>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH));
  const auto height = static_cast<int64_t>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT));
  checkPictureSize(width, height);

  WebPIterator frame;
  if (!WebPDemuxGetFrame(demux, 1, &frame)) failWebp("it holds no picture");
  IteratorRelease release{&frame};
  if (frame.x_offset < 0 || frame.y_offset < 0 || frame.width < 1 || frame.height < 1 ||
      frame.x_offset + int64_t{frame.width} > width ||
      frame.y_offset + int64_t{frame.height} > height) {
    failWebp("its first frame lies outside the canvas");
  }

  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) fail("The WebP decoder cannot be started.");
  OutputRelease output{&config.output};
  if (WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &config.input) != VP8_STATUS_OK) {
    failWebp("its frame header cannot be read");
  }
  if (config.input.width != frame.width || config.input.height != frame.height) {
    failWebp("its frame size does not match");
  }
  // Both ways below write every pixel: the direct one fills the canvas, the other paints it
  // white first.
  DibOwner dib(static_cast<int32_t>(width), static_cast<int32_t>(height), 24,
               PixelStart::Overwritten);
  progress.update(10, 100);

  const bool fills =
      frame.x_offset == 0 && frame.y_offset == 0 && frame.width == width && frame.height == height;
  if (fills && !config.input.has_alpha) {
    // Straight into the record: flipped rows land bottom-up, the row padding is the stride.
    config.options.flip = 1;
    config.output.colorspace = MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = dib.row(0);
    config.output.u.RGBA.stride = dib.rowBytes();
    config.output.u.RGBA.size = static_cast<size_t>(dib.rowBytes()) * static_cast<size_t>(height);
    if (WebPDecode(frame.fragment.bytes, frame.fragment.size, &config) != VP8_STATUS_OK) {
      failWebp("its picture data cannot be decoded");
    }
    convertRows(dib, colour.get());
    return dib;
  }

  config.output.colorspace = MODE_BGRA;
  if (WebPDecode(frame.fragment.bytes, frame.fragment.size, &config) != VP8_STATUS_OK) {
    failWebp("its picture data cannot be decoded");
  }
  for (int64_t y = 0; y < height; ++y)
    std::memset(dib.row(static_cast<int32_t>(y)), 255, size_t(width) * 3);
  const WebPRGBABuffer& rgba = config.output.u.RGBA;
  for (int y = 0; y < frame.height; ++y) {
    const uint8_t* src = rgba.rgba + static_cast<int64_t>(y) * rgba.stride;
    uint8_t* dst = dib.topRow(frame.y_offset + y) + 3 * int64_t{frame.x_offset};
    for (int x = 0; x < frame.width; ++x, src += 4, dst += 3) {
      const unsigned a = src[3];
      for (int c = 0; c < 3; ++c)
        dst[c] = static_cast<uint8_t>((src[c] * a + 255 * (255 - a) + 127) / 255);
    }
  }
  convertRows(dib, colour.get());
  return dib;
}

}  // namespace

DibOwner readWebp(Bytes bytes, Progress& progress) {
  const WebPData data{bytes.data(), bytes.size()};
  std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
  if (!demux) failWebp("its container cannot be read");
  return orientPicture(decodeFirstFrame(demux.get(), progress), orientationOf(demux.get()));
}

}  // namespace picodec
