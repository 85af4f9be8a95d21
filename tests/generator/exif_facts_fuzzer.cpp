// Hostile EXIF blocks: every offset and count is checked against the block, so reading facts
// never reads outside it, and what comes out is printable text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "picture_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const glim::PictureFacts facts = glim::exifFacts(std::span(data, size));
  for (const std::string* text : {&facts.taken, &facts.camera}) {
    for (const char c : *text) {
      if (c < 0x20 || c > 0x7E) std::abort();
    }
  }
  return 0;
}
