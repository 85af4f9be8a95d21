// The C functions. Each one catches every exception, so none crosses the C boundary;
// a failure that has a record to report into leaves its text there.
#include <exception>
#include <new>

#include "codec_error.h"
#include "dib_record.h"
#include "halftone.h"
#include "jpeg_writer.h"
#include "picodec.h"
#include "picture_readers.h"
#include "pixel_access.h"
#include "progress.h"
#include "two_colours.h"

namespace {

using namespace picodec;

// Runs `work`; on any exception clears `out` (when given) with the exception's text.
template <class Work>
int32_t guarded(DibImage* out, Work&& work) noexcept {
  try {
    return work();
  } catch (const CodecError& e) {
    setFailedRecord(out, e.what());
  } catch (const std::bad_alloc&) {
    setFailedRecord(out, "Not enough memory for the picture.");
  } catch (const std::exception& e) {
    setFailedRecord(out, std::string("The picture library failed: ") + e.what());
  } catch (...) {
    setFailedRecord(out, "The picture library failed for an unknown reason.");
  }
  return PICODEC_FAILED;
}

int32_t deliver(DibImage* out, DibOwner&& dib) {
  *out = dib.release();
  return PICODEC_OK;
}

}  // namespace

extern "C" {

PICODEC_API int32_t OpenDib(DibImage* out, const char* path, int32_t /*flags*/, HWND window) {
  if (out == nullptr) return PICODEC_FAILED;
  Progress progress(window);
  const int32_t result = guarded(out, [&] {
    if (path == nullptr || *path == 0) fail("No file name was given.");
    progress.start();
    DibOwner dib = keepTwoColours(readPictureFile(path, progress));
    progress.finish();
    return deliver(out, std::move(dib));
  });
  if (result != PICODEC_OK) progress.abandon();
  return result;
}

PICODEC_API int32_t SaveDib(DibImage dib, const char* path, int32_t format, HWND window) {
  return guarded(nullptr, [&] {
    if (format != PICODEC_SAVE_JPEG || path == nullptr || *path == 0) return PICODEC_FAILED;
    Progress progress(window);
    progress.start();
    writeJpeg(dib, path, progress);
    progress.finish();
    return PICODEC_OK;
  });
}

PICODEC_API int32_t SaveDibToFile(DibImage dib, int32_t fd, int32_t format, HWND window,
                                  int32_t* write_error) {
  int error = 0;
  const int32_t result = guarded(nullptr, [&] {
    if (format != PICODEC_SAVE_JPEG || fd < 0) return PICODEC_FAILED;
    Progress progress(window);
    progress.start();
    writeJpegTo(dib, fd, progress, &error);
    progress.finish();
    return PICODEC_OK;
  });
  if (write_error != nullptr) *write_error = result == PICODEC_OK ? 0 : error;
  return result;
}

PICODEC_API int32_t newdib(DibImage* out, int32_t width, int32_t height, int32_t bits_per_pixel,
                           const BITMAPINFOHEADER* header, int32_t colors) {
  if (out == nullptr) return PICODEC_FAILED;
  return guarded(out, [&] {
    DibOwner dib(width, height, bits_per_pixel);
    if (header != nullptr && colors > 0) {
      const auto* table = reinterpret_cast<const RGBQUAD*>(header + 1);
      const int count = colors < 256 ? colors : 256;
      for (int i = 0; i < count; ++i) {
        dib.setColor(i, {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue});
      }
    }
    return deliver(out, std::move(dib));
  });
}

PICODEC_API void deldib(DibImage dib) {
  freeDib(dib);
}

PICODEC_API uint32_t getpixel(DibImage dib, int32_t x, int32_t y) {
  return pixelValue(dib, x, y);
}

PICODEC_API int32_t setpixel(DibImage dib, int32_t x, int32_t y, uint32_t value) {
  return storePixel(dib, x, y, value) ? PICODEC_OK : PICODEC_FAILED;
}

PICODEC_API int32_t DIBHalftoneDIB(DibImage* out, DibImage source) {
  if (out == nullptr) return PICODEC_FAILED;
  return guarded(out, [&] {
    if (source.Header == nullptr) fail("There is no picture to halftone.");
    return deliver(out, halftone(source, source.Header->biWidth, source.Header->biHeight));
  });
}

PICODEC_API int32_t DIBHalftoneDIBXY(DibImage* out, DibImage source, int32_t width,
                                     int32_t height) {
  if (out == nullptr) return PICODEC_FAILED;
  return guarded(out, [&] { return deliver(out, halftone(source, width, height)); });
}

PICODEC_API const char* GetDIBOpenFilter(void) {
  return openFilterText();
}

}  // extern "C"
