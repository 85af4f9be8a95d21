// Hostile update records: every count and length is checked against the bytes left, nothing
// larger is allocated, and a record that is read is one that writing gives back byte for byte,
// with only paths inside the album's folders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "album_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<glim::AlbumRecord> record = glim::decodeRecord(bytes);
  if (!record) return 0;
  if (glim::encodeRecord(*record) != bytes) std::abort();
  for (const glim::RecordedOutput& output : record->outputs) {
    if (!glim::isOutputPath(output.path)) std::abort();
  }
  return 0;
}
