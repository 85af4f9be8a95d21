#include "orientation.h"

#include <libexif/exif-data.h>

#include <cstring>
#include <vector>

#include "pixel_access.h"

namespace picodec {

int exifOrientation(const uint8_t* data, size_t size) {
  static const uint8_t kPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> block;
  if (size < sizeof kPrefix || std::memcmp(data, kPrefix, sizeof kPrefix) != 0) {
    // libexif wants the prefix that JPEG files carry; other containers store the bare block.
    block.assign(kPrefix, kPrefix + sizeof kPrefix);
    block.insert(block.end(), data, data + size);
    data = block.data();
    size = block.size();
  }
  ExifData* exif = exif_data_new_from_data(data, static_cast<unsigned int>(size));
  if (exif == nullptr) return 1;
  int orientation = 1;
  ExifEntry* e = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (e != nullptr && e->format == EXIF_FORMAT_SHORT && e->components >= 1 && e->size >= 2) {
    orientation = exif_get_short(e->data, exif_data_get_byte_order(exif));
  }
  exif_data_unref(exif);
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

Placement orientedPosition(int orientation, int32_t x, int32_t t, int32_t width, int32_t height) {
  switch (orientation) {
    case 2:
      return {width - 1 - x, t};  // mirrored left to right
    case 3:
      return {width - 1 - x, height - 1 - t};  // turned half round
    case 4:
      return {x, height - 1 - t};  // mirrored top to bottom
    case 5:
      return {t, x};  // mirrored along the diagonal
    case 6:
      return {height - 1 - t, x};  // turned a quarter clockwise
    case 7:
      return {height - 1 - t, width - 1 - x};  // mirrored along the other diagonal
    case 8:
      return {t, width - 1 - x};  // turned a quarter counter-clockwise
    default:
      return {x, t};
  }
}

DibOwner orientPicture(DibOwner stored, int orientation) {
  if (orientation < 2 || orientation > 8) return stored;
  const int32_t width = stored.width(), height = stored.height();
  const bool turned = orientation >= 5;
  // Each stored pixel has its own place upright; pixels of fewer than 8 bits are merged into
  // their bytes, so those need the zeros.
  DibOwner upright(turned ? height : width, turned ? width : height, stored.bitsPerPixel(),
                   stored.bitsPerPixel() >= 8 ? PixelStart::Overwritten : PixelStart::Zeroed);
  const DibImage& src = stored.dib();
  for (int i = 0; i < tableSize(stored.bitsPerPixel()); ++i) {
    const uint8_t* e = src.PaletteEntries + 4 * i;
    upright.setColor(i, {e[0], e[1], e[2]});
  }
  const int32_t uprightHeight = upright.height();
  for (int32_t t = 0; t < height; ++t) {
    for (int32_t x = 0; x < width; ++x) {
      const Placement p = orientedPosition(orientation, x, t, width, height);
      storePixel(upright.dib(), p.x, uprightHeight - 1 - p.y, pixelValue(src, x, height - 1 - t));
    }
  }
  return upright;
}

}  // namespace picodec
