#include "picture_facts.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "picture_header.h"

namespace glim {
namespace {

constexpr size_t kMostText = 256;  // a date or a camera name is far shorter

struct ExifDataUnref {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using Exif = std::unique_ptr<ExifData, ExifDataUnref>;

// The block as libexif reads it: with the prefix of a JPEG segment, and without the fixes it
// would otherwise make (such as a made-up date for a missing one).
Exif loaded(std::span<const uint8_t> tiff) {
  if (tiff.size() < 8 || tiff.size() > (1u << 20)) return nullptr;
  static constexpr uint8_t kPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> bytes(kPrefix, kPrefix + sizeof kPrefix);
  bytes.insert(bytes.end(), tiff.begin(), tiff.end());
  Exif data(exif_data_new());
  if (!data) return nullptr;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data.get(), bytes.data(), static_cast<unsigned int>(bytes.size()));
  return data;
}

// The ASCII value of `tag` in directory `ifd`, printable characters only, without padding.
std::string text(ExifData* data, ExifIfd ifd, ExifTag tag) {
  const ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag);
  if (entry == nullptr || entry->format != EXIF_FORMAT_ASCII || entry->data == nullptr) return {};
  const size_t size = std::min<size_t>(entry->size, kMostText);
  std::string value(reinterpret_cast<const char*>(entry->data), size);
  value.resize(std::min(value.find('\0'), value.size()));
  std::erase_if(value, [](char c) { return c < 0x20 || c > 0x7E; });
  const size_t last = value.find_last_not_of(' ');
  value.resize(last == std::string::npos ? 0 : last + 1);
  return value;
}

// "2021:05:01 14:03:27" as "2021-05-01 14:03:27"; other texts as they are.
std::string readableDate(std::string date) {
  if (date.size() >= 10 && date[4] == ':' && date[7] == ':') date[4] = date[7] = '-';
  return date;
}

}  // namespace

PictureFacts exifFacts(std::span<const uint8_t> tiff) {
  PictureFacts facts;
  const Exif data = loaded(tiff);
  if (!data) return facts;
  std::string taken = text(data.get(), EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
  if (taken.empty()) taken = text(data.get(), EXIF_IFD_0, EXIF_TAG_DATE_TIME);
  facts.taken = readableDate(taken);
  const std::string make = text(data.get(), EXIF_IFD_0, EXIF_TAG_MAKE);
  const std::string model = text(data.get(), EXIF_IFD_0, EXIF_TAG_MODEL);
  if (model.empty()) {
    facts.camera = make;
  } else if (make.empty() || model.rfind(make, 0) == 0) {
    facts.camera = model;
  } else {
    facts.camera = make + " " + model;
  }
  return facts;
}

int exifOrientation(std::span<const uint8_t> tiff) {
  const Exif data = loaded(tiff);
  if (!data) return 1;
  const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->size < 2) return 1;
  const int orientation = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

PictureFacts readPictureFacts(const std::string& path) {
  const std::optional<PictureHeader> header = readPictureHeader(path);
  return header ? exifFacts(header->exif) : PictureFacts{};
}

}  // namespace glim
