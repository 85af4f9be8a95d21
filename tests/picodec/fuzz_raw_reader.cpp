// libFuzzer target for the camera RAW reader: the bytes as a file, or (first byte odd) as
// changes to a DNG file made here, so that LibRaw's parsing and developing are reached.
#include <cstdint>
#include <vector>

#include "../support/made_dng.h"
#include "codec_error.h"
#include "picture_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> made = picotest::madeDng(
      64, 32, 6, [](int x, int y, int c) { return ((x ^ y) & 7) / 16.0 + c / 4.0; });
  std::vector<uint8_t> bytes(data, data + size);
  if (size > 0 && (data[0] & 1) != 0) {  // each three bytes: a position and the byte put there
    bytes = made;
    for (size_t i = 1; i + 3 <= size; i += 3)
      bytes[(data[i] | data[i + 1] << 8) % made.size()] = data[i + 2];
  }
  picodec::Progress progress(nullptr);
  unsigned sum = picodec::isCameraRaw(bytes) ? 1 : 0;
  try {
    const picodec::DibOwner dib = picodec::readRaw(bytes, progress);
    for (uint32_t i = 0; i < dib.dib().Header->biSizeImage; ++i) sum += dib.dib().Pixels[i];
  } catch (const picodec::CodecError&) {
  }
  return static_cast<int>(sum & 0);
}
