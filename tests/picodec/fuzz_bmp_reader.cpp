// libFuzzer target for the bitmap reader alone: our own code reading untrusted bytes.
#include <cstddef>
#include <cstdint>

#include "codec_error.h"
#include "picture_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  picodec::Progress progress(nullptr);
  try {
    picodec::DibOwner dib = picodec::readBmp({data, size}, progress);
    const DibImage& d = dib.dib();
    unsigned sum = 0;
    for (uint32_t i = 0; i < d.Header->biSizeImage; ++i) sum += d.Pixels[i];
    return static_cast<int>(sum & 0);
  } catch (const picodec::CodecError&) {
    return 0;
  }
}
