// Feeds arbitrary bytes to the album file reader: it must refuse or accept without reading
// outside the input, and whatever it accepts must write back to the very same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "album_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto album = glim::decodeAlbumFile(bytes, "/albums/a.lmf");
  if (album) {
    // Decoding then encoding is stable: a second round gives the same album.
    const std::string again =
        glim::encodeAlbumFile(album->entries, album->settings, "/albums/a.lmf");
    auto second = glim::decodeAlbumFile(again, "/albums/a.lmf");
    if (!second || second->entries != album->entries || !(second->settings == album->settings))
      std::abort();
  }
  return 0;
}
