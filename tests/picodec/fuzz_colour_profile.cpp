// libFuzzer target for colour profiles: untrusted profile bytes from any picture file made into
// a conversion and run over a row, for each layout.
#include <cstddef>
#include <cstdint>

#include "colour_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using picodec::ColourConversion;
  uint8_t row[64 * 4];
  for (size_t i = 0; i < sizeof row; ++i) row[i] = static_cast<uint8_t>(i * 37);
  uint8_t out[64 * 3];
  for (const auto layout : {ColourConversion::Layout::Bgr8, ColourConversion::Layout::Grey8,
                            ColourConversion::Layout::Cmyk8}) {
    const auto conversion = ColourConversion::fromIcc({data, size}, layout);
    if (conversion == nullptr) continue;
    if (layout == ColourConversion::Layout::Grey8) {
      uint8_t table[256][3];
      conversion->greyTable(table);
    } else {
      conversion->convert(row, out, 64);
    }
  }
  return 0;
}
