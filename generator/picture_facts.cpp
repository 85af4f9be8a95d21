#include "picture_facts.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace glim {
namespace {

constexpr size_t kMostRead = 256 * 1024;
constexpr uint64_t kMostExif = 1024 * 1024;  // an Exif item of a HEIF file
constexpr uint16_t kMake = 0x010F, kModel = 0x0110, kDateTime = 0x0132;
constexpr uint16_t kExifDirectory = 0x8769, kDateTimeOriginal = 0x9003;
constexpr uint16_t kAscii = 2, kLong = 4;

class TiffReader {
 public:
  explicit TiffReader(std::span<const uint8_t> data) : data_(data) {
    valid_ = data.size() >= 8 &&
             ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'));
    little_ = valid_ && data[0] == 'I';
    valid_ = valid_ && number(2, 2) == 42;
  }
  bool valid() const { return valid_; }

  std::optional<uint32_t> number(size_t at, size_t width) const {
    if (at > data_.size() || data_.size() - at < width) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      const uint32_t byte = data_[at + (little_ ? width - 1 - i : i)];
      value = value << 8 | byte;
    }
    return value;
  }

  // The ASCII or LONG value of `tag` in the directory at `directory`.
  std::optional<std::string> text(uint32_t directory, uint16_t tag) const {
    const std::optional<size_t> entry = find(directory, tag, kAscii);
    if (!entry) return std::nullopt;
    const uint32_t count = number(*entry + 4, 4).value_or(0);
    const size_t at = count <= 4 ? *entry + 8 : number(*entry + 8, 4).value_or(UINT32_MAX);
    if (count == 0 || at > data_.size() || data_.size() - at < count) return std::nullopt;
    std::string value(reinterpret_cast<const char*>(data_.data() + at), count);
    value.resize(std::min(value.find('\0'), value.size()));
    // Printable ASCII only, without padding blanks.
    value.erase(
        std::remove_if(value.begin(), value.end(), [](char c) { return c < 0x20 || c > 0x7E; }),
        value.end());
    const size_t last = value.find_last_not_of(' ');
    value.resize(last == std::string::npos ? 0 : last + 1);
    return value;
  }

  std::optional<uint32_t> pointer(uint32_t directory, uint16_t tag) const {
    const std::optional<size_t> entry = find(directory, tag, kLong);
    if (!entry) return std::nullopt;
    return number(*entry + 8, 4);
  }

  std::optional<uint32_t> firstDirectory() const { return number(4, 4); }

 private:
  std::optional<size_t> find(uint32_t directory, uint16_t tag, uint16_t type) const {
    const std::optional<uint32_t> count = number(directory, 2);
    if (!count) return std::nullopt;
    for (uint32_t i = 0; i < *count; ++i) {
      const size_t entry = size_t{directory} + 2 + size_t{i} * 12;
      if (entry + 12 > data_.size()) return std::nullopt;
      if (number(entry, 2) == tag && number(entry + 2, 2) == type) return entry;
    }
    return std::nullopt;
  }

  std::span<const uint8_t> data_;
  bool little_ = false;
  bool valid_ = false;
};

// "2021:05:01 14:03:27" as "2021-05-01 14:03:27"; other texts as they are.
std::string readableDate(std::string date) {
  if (date.size() >= 10 && date[4] == ':' && date[7] == ':') date[4] = date[7] = '-';
  return date;
}

// A big-endian number of `width` bytes at `at`, when it lies within `data`.
std::optional<uint64_t> bigEndian(std::span<const uint8_t> data, size_t at, size_t width) {
  if (at > data.size() || data.size() - at < width || width > 8) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value = value << 8 | data[at + i];
  return value;
}

// The boxes of an ISO base media file in `data`: type and body of each whole box, in order.
std::vector<std::pair<std::string, std::span<const uint8_t>>> boxesIn(
    std::span<const uint8_t> data) {
  std::vector<std::pair<std::string, std::span<const uint8_t>>> boxes;
  for (size_t at = 0; data.size() - at >= 8 && boxes.size() < 1024;) {
    uint64_t size = *bigEndian(data, at, 4);
    size_t head = 8;
    if (size == 1) {
      size = bigEndian(data, at + 8, 8).value_or(0);
      head = 16;
    } else if (size == 0) {
      size = data.size() - at;
    }
    if (size < head || size > data.size() - at) break;
    boxes.emplace_back(std::string(reinterpret_cast<const char*>(data.data() + at + 4), 4),
                       data.subspan(at + head, size - head));
    at += size;
  }
  return boxes;
}

// Where a HEIF file keeps its Exif item: the file offset and length from the "meta" box's item
// information ("iinf") and item locations ("iloc").
std::optional<std::pair<uint64_t, uint64_t>> heifExifPlace(std::span<const uint8_t> file) {
  std::span<const uint8_t> meta;
  for (const auto& [type, body] : boxesIn(file)) {
    if (type == "meta" && body.size() > 4) meta = body.subspan(4);  // after version and flags
  }
  std::optional<uint64_t> exifItem;
  std::span<const uint8_t> locations;
  for (const auto& [type, body] : boxesIn(meta)) {
    if (type == "iloc") locations = body;
    if (type != "iinf" || body.empty()) continue;
    const size_t first = body[0] == 0 ? 6 : 8;  // version, flags, entry count
    if (first > body.size()) continue;
    for (const auto& [entryType, entry] : boxesIn(body.subspan(first))) {
      if (entryType != "infe" || entry.empty() || entry[0] < 2) continue;
      const size_t idWidth = entry[0] == 2 ? 2 : 4;
      const std::optional<uint64_t> id = bigEndian(entry, 4, idWidth);
      const size_t typeAt = 4 + idWidth + 2;
      if (id && typeAt + 4 <= entry.size() &&
          std::equal(entry.begin() + typeAt, entry.begin() + typeAt + 4, "Exif")) {
        exifItem = id;
      }
    }
  }
  if (!exifItem || locations.size() < 8) return std::nullopt;
  const uint8_t version = locations[0];
  const size_t offsetSize = locations[4] >> 4, lengthSize = locations[4] & 15;
  const size_t baseSize = locations[5] >> 4;
  const size_t indexSize = version == 1 || version == 2 ? locations[5] & 15 : 0;
  const size_t idWidth = version < 2 ? 2 : 4;
  size_t at = 6;
  const uint64_t items = bigEndian(locations, at, idWidth).value_or(0);
  at += idWidth;
  for (uint64_t item = 0; item < items && at < locations.size(); ++item) {
    const std::optional<uint64_t> id = bigEndian(locations, at, idWidth);
    at += idWidth;
    uint64_t method = 0;
    if (version == 1 || version == 2) {
      method = bigEndian(locations, at, 2).value_or(UINT64_MAX) & 15;
      at += 2;
    }
    at += 2;  // data reference index
    const uint64_t base = bigEndian(locations, at, baseSize).value_or(0);
    at += baseSize;
    const std::optional<uint64_t> extents = bigEndian(locations, at, 2);
    at += 2;
    if (!id || !extents) return std::nullopt;
    for (uint64_t extent = 0; extent < *extents; ++extent) {
      at += indexSize;
      const std::optional<uint64_t> offset = bigEndian(locations, at, offsetSize);
      const std::optional<uint64_t> length = bigEndian(locations, at + offsetSize, lengthSize);
      at += offsetSize + lengthSize;
      if (!offset || !length) return std::nullopt;
      // The first extent of an item stored in the file itself holds its start.
      if (*id == *exifItem && extent == 0 && method == 0) {
        return std::pair{base + *offset, *length};
      }
    }
  }
  return std::nullopt;
}

}  // namespace

PictureFacts exifFacts(std::span<const uint8_t> tiff) {
  PictureFacts facts;
  const TiffReader reader(tiff);
  if (!reader.valid()) return facts;
  const std::optional<uint32_t> first = reader.firstDirectory();
  if (!first) return facts;
  std::optional<std::string> taken;
  if (const std::optional<uint32_t> exif = reader.pointer(*first, kExifDirectory)) {
    taken = reader.text(*exif, kDateTimeOriginal);
  }
  if (!taken || taken->empty()) taken = reader.text(*first, kDateTime);
  facts.taken = readableDate(taken.value_or(""));
  const std::string make = reader.text(*first, kMake).value_or("");
  const std::string model = reader.text(*first, kModel).value_or("");
  if (model.empty()) {
    facts.camera = make;
  } else if (make.empty() || model.rfind(make, 0) == 0) {
    facts.camera = model;
  } else {
    facts.camera = make + " " + model;
  }
  return facts;
}

PictureFacts readPictureFacts(const std::string& path) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return {};
  std::vector<uint8_t> data(kMostRead);
  data.resize(std::fread(data.data(), 1, data.size(), file.get()));
  if (data.size() >= 4 &&
      ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
    return exifFacts(data);
  }
  static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data.size() >= 8 && std::equal(std::begin(kPng), std::end(kPng), data.begin())) {
    // PNG chunks: length, type, data, CRC; the EXIF block is an "eXIf" chunk.
    for (size_t at = 8; at + 12 <= data.size();) {
      const size_t length = size_t{data[at]} << 24 | size_t{data[at + 1]} << 16 |
                            size_t{data[at + 2]} << 8 | data[at + 3];
      if (length > data.size() - at - 12) break;
      if (std::equal(data.begin() + at + 4, data.begin() + at + 8, "eXIf")) {
        return exifFacts(std::span(data).subspan(at + 8, length));
      }
      at += 12 + length;
    }
    return {};
  }
  if (data.size() >= 12 && std::equal(data.begin(), data.begin() + 4, "RIFF") &&
      std::equal(data.begin() + 8, data.begin() + 12, "WEBP")) {
    // WebP chunks: type, little-endian length, data padded to an even size.
    for (size_t at = 12; at + 8 <= data.size();) {
      const size_t length = size_t{data[at + 4]} | size_t{data[at + 5]} << 8 |
                            size_t{data[at + 6]} << 16 | size_t{data[at + 7]} << 24;
      if (length > data.size() - at - 8) break;
      if (std::equal(data.begin() + at, data.begin() + at + 4, "EXIF")) {
        std::span<const uint8_t> block = std::span(data).subspan(at + 8, length);
        if (block.size() >= 6 && std::equal(block.begin(), block.begin() + 4, "Exif")) {
          block = block.subspan(6);  // some writers keep the JPEG segment's prefix
        }
        return exifFacts(block);
      }
      at += 8 + length + (length & 1);
    }
    return {};
  }
  if (data.size() >= 12 && std::equal(data.begin() + 4, data.begin() + 8, "ftyp")) {
    // HEIF (and AVIF): the Exif item starts with the offset of the TIFF header within it.
    const std::optional<std::pair<uint64_t, uint64_t>> place = heifExifPlace(data);
    if (!place || place->second < 4 || place->second > kMostExif ||
        place->first > static_cast<uint64_t>(std::numeric_limits<long>::max()) ||
        std::fseek(file.get(), static_cast<long>(place->first), SEEK_SET) != 0) {
      return {};
    }
    std::vector<uint8_t> item(place->second);
    if (std::fread(item.data(), 1, item.size(), file.get()) != item.size()) return {};
    const uint64_t header = *bigEndian(item, 0, 4);
    if (header > item.size() - 4) return {};
    return exifFacts(std::span(item).subspan(4 + header));
  }
  if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) return {};
  // JPEG segments up to the first scan: the EXIF block is an APP1 segment near the start.
  size_t at = 2;
  while (at + 4 <= data.size() && data[at] == 0xFF) {
    const uint8_t marker = data[at + 1];
    if (marker == 0xDA || marker == 0xD9) break;
    const size_t length = size_t{data[at + 2]} << 8 | data[at + 3];
    if (length < 2 || at + 2 + length > data.size()) break;
    static constexpr uint8_t kExifName[] = {'E', 'x', 'i', 'f', 0, 0};
    if (marker == 0xE1 && length >= 8 &&
        std::equal(std::begin(kExifName), std::end(kExifName), data.begin() + at + 4)) {
      return exifFacts(std::span(data).subspan(at + 10, length - 8));
    }
    at += 2 + length;
  }
  return {};
}

}  // namespace glim
