#include "picture_facts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "iso_boxes.h"

namespace glim {
namespace {

constexpr size_t kMostRead = 256 * 1024;
constexpr uint64_t kMostExif = 1024 * 1024;  // an Exif item of a HEIF file
constexpr uint64_t kMostExtents = 65536;     // item extents walked in a HEIF file
constexpr int kMostChunks = 100000;          // PNG or WebP chunks walked
constexpr uint16_t kMake = 0x010F, kModel = 0x0110, kDateTime = 0x0132;
constexpr uint16_t kExifDirectory = 0x8769, kDateTimeOriginal = 0x9003;
constexpr uint16_t kAscii = 2, kLong = 4;

// Reads `n` bytes at `at` into `out`; false when they are not all there.
using ReadBytes = std::function<bool(uint64_t at, size_t n, uint8_t* out)>;

class TiffReader {
 public:
  explicit TiffReader(ReadBytes read) : read_(std::move(read)) {
    uint8_t order[2] = {};
    valid_ = read_(0, 2, order) && order[0] == order[1] && (order[0] == 'I' || order[0] == 'M');
    little_ = valid_ && order[0] == 'I';
    valid_ = valid_ && number(2, 2) == 42;
  }
  bool valid() const { return valid_; }

  std::optional<uint32_t> number(uint64_t at, size_t width) const {
    uint8_t bytes[4] = {};
    if (width > 4 || !read_(at, width, bytes)) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value = value << 8 | bytes[little_ ? width - 1 - i : i];
    return value;
  }

  // The ASCII value of `tag` in the directory at `directory`, printable characters only.
  std::optional<std::string> text(uint32_t directory, uint16_t tag) const {
    const std::optional<uint64_t> entry = find(directory, tag, kAscii);
    if (!entry) return std::nullopt;
    const uint32_t count = std::min(number(*entry + 4, 4).value_or(0), kMostText);
    const uint64_t at = count <= 4 ? *entry + 8 : number(*entry + 8, 4).value_or(UINT32_MAX);
    std::string value(count, '\0');
    if (count == 0 || !read_(at, count, reinterpret_cast<uint8_t*>(value.data()))) {
      return std::nullopt;
    }
    value.resize(std::min(value.find('\0'), value.size()));
    value.erase(
        std::remove_if(value.begin(), value.end(), [](char c) { return c < 0x20 || c > 0x7E; }),
        value.end());
    const size_t last = value.find_last_not_of(' ');  // without padding blanks
    value.resize(last == std::string::npos ? 0 : last + 1);
    return value;
  }

  // The LONG value of `tag`: where another directory starts.
  std::optional<uint32_t> pointer(uint32_t directory, uint16_t tag) const {
    const std::optional<uint64_t> entry = find(directory, tag, kLong);
    if (!entry) return std::nullopt;
    return number(*entry + 8, 4);
  }

  std::optional<uint32_t> firstDirectory() const { return number(4, 4); }

 private:
  static constexpr uint32_t kMostText = 256;      // a date or a camera name is far shorter
  static constexpr uint32_t kMostEntries = 1024;  // a directory's entries looked through

  std::optional<uint64_t> find(uint32_t directory, uint16_t tag, uint16_t type) const {
    const uint32_t count = std::min(number(directory, 2).value_or(0), kMostEntries);
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t entry = uint64_t{directory} + 2 + uint64_t{i} * 12;
      const std::optional<uint32_t> entryTag = number(entry, 2);
      if (!entryTag) return std::nullopt;
      if (entryTag == tag && number(entry + 2, 2) == type) return entry;
    }
    return std::nullopt;
  }

  ReadBytes read_;
  bool little_ = false;
  bool valid_ = false;
};

// "2021:05:01 14:03:27" as "2021-05-01 14:03:27"; other texts as they are.
std::string readableDate(std::string date) {
  if (date.size() >= 10 && date[4] == ':' && date[7] == ':') date[4] = date[7] = '-';
  return date;
}

// Where a HEIF file keeps its Exif item: the file offset and length from the "meta" box's item
// information ("iinf") and item locations ("iloc").
std::optional<std::pair<uint64_t, uint64_t>> heifExifPlace(std::span<const uint8_t> file) {
  std::span<const uint8_t> meta;
  for (const auto& [type, body] : isoBoxes(file)) {
    if (type == "meta" && body.size() > 4) meta = body.subspan(4);  // after version and flags
  }
  std::optional<uint64_t> exifItem;
  std::span<const uint8_t> locations;
  for (const auto& [type, body] : isoBoxes(meta)) {
    if (type == "iloc") locations = body;
    if (type != "iinf" || body.empty()) continue;
    const size_t first = body[0] == 0 ? 6 : 8;  // version, flags, entry count
    if (first > body.size()) continue;
    for (const auto& [entryType, entry] : isoBoxes(body.subspan(first))) {
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
  // Every extent takes at least a byte when the sizes are not all 0; when they are, nothing is
  // read from the box and the walk would only count, so it stops after a bounded number.
  uint64_t walked = 0;
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
      if (++walked > kMostExtents) return std::nullopt;
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

namespace {

PictureFacts factsOf(const TiffReader& reader) {
  PictureFacts facts;
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

ReadBytes spanBytes(std::span<const uint8_t> data) {
  return [data](uint64_t at, size_t n, uint8_t* out) {
    if (at > data.size() || data.size() - at < n) return false;
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), n, out);
    return true;
  };
}

// A block of the file read whole, when it is no larger than kMostExif.
std::optional<std::vector<uint8_t>> blockAt(const ReadBytes& file, uint64_t at, uint64_t size) {
  if (size > kMostExif) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!file(at, block.size(), block.data())) return std::nullopt;
  return block;
}

}  // namespace

PictureFacts exifFacts(std::span<const uint8_t> tiff) {
  return factsOf(TiffReader(spanBytes(tiff)));
}

PictureFacts readPictureFacts(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return {};
  const std::unique_ptr<int, void (*)(int*)> closing(new int(descriptor), [](int* fd) {
    ::close(*fd);
    delete fd;
  });
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return {};
  const auto fileSize = static_cast<uint64_t>(status.st_size);
  const ReadBytes file = [descriptor, fileSize](uint64_t at, size_t n, uint8_t* out) {
    if (at > fileSize || fileSize - at < n) return false;
    for (size_t done = 0; done < n;) {
      const ssize_t got = ::pread(descriptor, out + done, n - done, static_cast<off_t>(at + done));
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  };
  uint8_t head[12] = {};
  if (!file(0, sizeof head, head)) return {};
  const auto starts = [&head](std::string_view text, size_t at = 0) {
    return std::equal(text.begin(), text.end(), head + at,
                      [](char c, uint8_t byte) { return static_cast<uint8_t>(c) == byte; });
  };

  // TIFF: its directories may lie anywhere in the file.
  if (starts("II") || starts("MM")) return factsOf(TiffReader(file));

  // PNG and WebP: chunks that may come after the picture data, walked through the file.
  const bool png = starts("\x89PNG\r\n\x1A\n");
  const bool webp = starts("RIFF") && starts("WEBP", 8);
  if (png || webp) {
    uint64_t at = png ? 8 : 12;
    for (int chunk = 0; chunk < kMostChunks; ++chunk) {
      uint8_t header[8] = {};
      if (!file(at, sizeof header, header)) return {};
      // PNG: big-endian length, then type; WebP: type, then little-endian length.
      const uint8_t* number = png ? header : header + 4;
      const uint64_t length = png ? uint64_t{number[0]} << 24 | uint64_t{number[1]} << 16 |
                                        uint64_t{number[2]} << 8 | number[3]
                                  : uint64_t{number[3]} << 24 | uint64_t{number[2]} << 16 |
                                        uint64_t{number[1]} << 8 | number[0];
      const std::string_view type(reinterpret_cast<const char*>(png ? header + 4 : header), 4);
      if (type == (png ? "eXIf" : "EXIF")) {
        const std::optional<std::vector<uint8_t>> block = blockAt(file, at + 8, length);
        if (!block) return {};
        std::span<const uint8_t> tiff(*block);
        if (tiff.size() >= 6 && std::equal(tiff.begin(), tiff.begin() + 4, "Exif")) {
          tiff = tiff.subspan(6);  // some writers keep the JPEG segment's prefix
        }
        return exifFacts(tiff);
      }
      if (png && type == "IEND") return {};
      at += 8 + length + (png ? 4 : (length & 1));
    }
    return {};
  }

  // JPEG and HEIF keep what is needed near the start.
  std::vector<uint8_t> data(static_cast<size_t>(std::min<uint64_t>(kMostRead, fileSize)));
  if (!file(0, data.size(), data.data())) return {};
  if (starts("ftyp", 4)) {
    // HEIF (and AVIF): the Exif item starts with the offset of the TIFF header within it.
    const std::optional<std::pair<uint64_t, uint64_t>> place = heifExifPlace(data);
    if (!place || place->second < 4) return {};
    const std::optional<std::vector<uint8_t>> item = blockAt(file, place->first, place->second);
    if (!item) return {};
    const uint64_t header = *bigEndian(*item, 0, 4);
    if (header > item->size() - 4) return {};
    return exifFacts(std::span(*item).subspan(4 + header));
  }
  if (head[0] != 0xFF || head[1] != 0xD8) return {};
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
