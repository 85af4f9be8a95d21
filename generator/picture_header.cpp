#include "picture_header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <span>
#include <string_view>

#include "iso_boxes.h"
#include "picture_facts.h"

namespace glim {
namespace {

// Limits on what one pass reads of a hostile file.
constexpr uint64_t kMostBlock = 1 << 20;  // an EXIF block, a HEIF meta box
constexpr int kMostJpegSegments = 4096;   // JPEG markers before the first scan
constexpr int kMostChunks = 100000;       // PNG or WebP chunks walked
constexpr uint32_t kMostEntries = 1024;   // entries of a TIFF directory
constexpr uint32_t kMostTiffValue = 256;  // a date or a camera name is far shorter
constexpr int kMostBoxes = 4096;          // top-level boxes of a HEIF file
constexpr uint64_t kMostExtents = 65536;  // item extents walked in a HEIF file

uint32_t be16(const uint8_t* p) {
  return uint32_t(p[0]) << 8 | p[1];
}
uint32_t be32(const uint8_t* p) {
  return be16(p) << 16 | be16(p + 2);
}
uint32_t le16(const uint8_t* p) {
  return uint32_t(p[1]) << 8 | p[0];
}
uint32_t le24(const uint8_t* p) {
  return le16(p) | uint32_t(p[2]) << 16;
}
uint32_t le32(const uint8_t* p) {
  return le16(p) | le16(p + 2) << 16;
}

// The file, opened without waiting for a writer (a named pipe) or a device.
class File {
 public:
  explicit File(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
      regular_ = true;
      size_ = static_cast<uint64_t>(info.st_size);
    }
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool regular() const { return regular_; }
  uint64_t size() const { return size_; }

  // `n` bytes at `at`; false when they are not all there.
  bool read(uint64_t at, size_t n, uint8_t* out) const {
    if (at > size_ || size_ - at < n) return false;
    for (size_t done = 0; done < n;) {
      const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(at + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }

  // A block of at most kMostBlock bytes read whole.
  std::vector<uint8_t> block(uint64_t at, uint64_t n) const {
    if (n > kMostBlock) return {};
    std::vector<uint8_t> bytes(n);
    if (!read(at, bytes.size(), bytes.data())) return {};
    return bytes;
  }

 private:
  int fd_;
  bool regular_ = false;
  uint64_t size_ = 0;
};

// An EXIF block as containers keep it: some writers put the JPEG segment's prefix first.
std::vector<uint8_t> withoutExifPrefix(std::vector<uint8_t> block) {
  static constexpr uint8_t kPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
  if (block.size() >= 6 && std::equal(kPrefix, kPrefix + 6, block.begin())) {
    block.erase(block.begin(), block.begin() + 6);
  }
  return block;
}

// JPEG: markers up to the first scan give the frame, the EXIF segment, and whether the first
// scan holds fewer components than the frame (then there are several, and libjpeg keeps
// every block of the picture as for progressive files).
void readJpeg(const File& file, PictureHeader& header) {
  uint64_t at = 2;
  uint32_t components = 0;
  for (int segment = 0; segment < kMostJpegSegments; ++segment) {
    uint8_t mark[4];
    if (!file.read(at, 2, mark) || mark[0] != 0xFF) return;
    const uint8_t marker = mark[1];
    if (marker == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (marker == 0xD9) return;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a length
      at += 2;
      continue;
    }
    if (!file.read(at + 2, 2, mark + 2) || be16(mark + 2) < 2) return;
    const uint64_t body = at + 4;
    const uint32_t bodyBytes = be16(mark + 2) - 2;
    if (marker == 0xDA) {
      uint8_t count = 0;
      if (components > 0 && file.read(body, 1, &count) && count < components) {
        header.jpegWholeImage = true;
      }
      return;
    }
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame && components == 0) {
      uint8_t sof[6 + 3 * 255];
      if (bodyBytes < 6 || !file.read(body, std::min<size_t>(bodyBytes, sizeof sof), sof)) return;
      components = sof[5];
      if (bodyBytes < 6 + 3 * components) return;
      header.height = be16(sof + 1);
      header.width = be16(sof + 3);
      header.jpegWholeImage = (marker & 3) == 2;  // progressive: C2, C6, CA, CE
      header.fewColours = components == 1;
      uint32_t hMax = 1, vMax = 1;
      for (uint32_t c = 0; c < components; ++c) {
        hMax = std::max<uint32_t>(hMax, sof[7 + 3 * c] >> 4);
        vMax = std::max<uint32_t>(vMax, sof[7 + 3 * c] & 15);
      }
      // As libjpeg sizes its coefficient arrays: blocks rounded up to the sampling factors.
      for (uint32_t c = 0; c < components; ++c) {
        const uint64_t h = std::max(1, sof[7 + 3 * c] >> 4), v = std::max(1, sof[7 + 3 * c] & 15);
        const uint64_t across = (uint64_t{header.width} * h + hMax * 8 - 1) / (hMax * 8);
        const uint64_t down = (uint64_t{header.height} * v + vMax * 8 - 1) / (vMax * 8);
        header.jpegBlocks += (across + h - 1) / h * h * ((down + v - 1) / v * v);
      }
    } else if (marker == 0xE1 && header.exif.empty() && bodyBytes > 6) {
      std::vector<uint8_t> app1 = file.block(body, bodyBytes);
      if (app1.size() > 6 && std::memcmp(app1.data(), "Exif\0\0", 6) == 0) {
        header.exif = withoutExifPrefix(std::move(app1));
      }
    }
    at = body + bodyBytes;
  }
}

// TIFF: the file's own directories hold its EXIF tags, wherever they lie. Size and orientation
// come from the first directory; the tags of the facts are copied, with their values, into a
// small block of the same byte order. BigTIFF gives its size only.
class TiffDirectories {
 public:
  TiffDirectories(const File& file, bool little) : file_(file), little_(little) {}

  uint32_t u16(const uint8_t* p) const { return little_ ? le16(p) : be16(p); }
  uint32_t u32(const uint8_t* p) const { return little_ ? le32(p) : be32(p); }
  uint64_t u64(const uint8_t* p) const {
    return little_ ? uint64_t{u32(p + 4)} << 32 | u32(p) : uint64_t{u32(p)} << 32 | u32(p + 4);
  }

  // The entries of the directory at `at`, of 12 bytes each (20 in BigTIFF).
  std::vector<uint8_t> entries(uint64_t at, bool big) const {
    uint8_t count[8];
    if (!file_.read(at, big ? 8 : 2, count)) return {};
    const uint64_t n = std::min<uint64_t>(big ? u64(count) : u16(count), kMostEntries);
    std::vector<uint8_t> bytes(n * (big ? 20 : 12));
    if (!file_.read(at + (big ? 8 : 2), bytes.size(), bytes.data())) return {};
    return bytes;
  }

  // A classic entry's value bytes, kept in the entry or read from where it points.
  std::vector<uint8_t> value(const uint8_t* entry) const {
    static constexpr uint32_t kTypeBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    const uint32_t type = u16(entry + 2), count = u32(entry + 4);
    if (type >= std::size(kTypeBytes) || count > kMostTiffValue) return {};
    const uint32_t bytes = kTypeBytes[type] * count;
    if (bytes <= 4) return std::vector<uint8_t>(entry + 8, entry + 8 + bytes);
    return file_.block(u32(entry + 8), bytes);
  }

  // Where the next directory of the chain starts; 0 at its end.
  uint64_t next(uint64_t at) const {
    uint8_t bytes[4];
    if (!file_.read(at, 2, bytes)) return 0;
    return file_.read(at + 2 + 12 * uint64_t{u16(bytes)}, 4, bytes) ? u32(bytes) : 0;
  }

  void putU16(std::vector<uint8_t>& out, uint32_t v) const {
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    out.push_back(little_ ? b[1] : b[0]);
    out.push_back(little_ ? b[0] : b[1]);
  }
  void putU32(std::vector<uint8_t>& out, uint32_t v) const {
    putU16(out, little_ ? v & 0xFFFF : v >> 16);
    putU16(out, little_ ? v >> 16 : v & 0xFFFF);
  }

 private:
  const File& file_;
  bool little_;
};

void readTiff(const File& file, const uint8_t* head, PictureHeader& header) {
  const bool little = head[0] == 'I';
  const TiffDirectories tiff(file, little);
  const bool big = tiff.u16(head + 2) == 43;
  const uint64_t first = big ? tiff.u64(head + 8) : tiff.u32(head + 4);
  const std::vector<uint8_t> entries = tiff.entries(first, big);
  const size_t entryBytes = big ? 20 : 12;
  // The entries kept for the block: (tag, entry) of IFD0, and of the EXIF directory.
  std::vector<std::pair<uint32_t, const uint8_t*>> kept;
  std::vector<uint8_t> exifEntries;
  uint32_t sampleBits = 1, samples = 1;
  for (size_t at = 0; at + entryBytes <= entries.size(); at += entryBytes) {
    const uint8_t* entry = entries.data() + at;
    const uint32_t tag = tiff.u16(entry), type = tiff.u16(entry + 2);
    const uint8_t* value = entry + (big ? 12 : 8);
    const uint64_t number = type == 3           ? tiff.u16(value)
                            : type == 4         ? tiff.u32(value)
                            : type == 16 && big ? tiff.u64(value)
                                                : 0;
    const auto clamped = static_cast<uint32_t>(std::min<uint64_t>(number, UINT32_MAX));
    if (tag == 256) header.width = clamped;
    if (tag == 257) header.height = clamped;
    if (tag == 258 && !big) {  // bits per sample: the first sample's stands for all
      const std::vector<uint8_t> bits = tiff.value(entry);
      sampleBits = bits.size() >= 2 ? tiff.u16(bits.data()) : 0;
    }
    if (tag == 277) {  // samples per pixel
      header.fewColours = clamped == 1;
      samples = clamped;
    }
    if (tag == 0x0112) header.orientation = static_cast<int>(clamped);
    if (big) continue;
    if (tag == 0x010F || tag == 0x0110 || tag == 0x0112 || tag == 0x0132)
      kept.emplace_back(tag, entry);
    if (tag == 0x8769 && type == 4) exifEntries = tiff.entries(tiff.u32(value), false);
  }
  header.storedBits =
      std::clamp<uint32_t>(sampleBits, 1, 64) * std::clamp<uint32_t>(samples, 1, 16);
  const uint8_t* taken = nullptr;  // DateTimeOriginal
  for (size_t at = 0; at + 12 <= exifEntries.size(); at += 12) {
    if (tiff.u16(exifEntries.data() + at) == 0x9003) taken = exifEntries.data() + at;
  }
  if (big || (kept.empty() && taken == nullptr)) return;

  // The block: header, IFD0 (the kept entries and the EXIF pointer), the EXIF directory, values.
  const size_t firstCount = kept.size() + (taken != nullptr ? 1 : 0);
  const uint32_t exifAt = static_cast<uint32_t>(8 + 2 + 12 * firstCount + 4);
  uint32_t valuesAt = exifAt + (taken != nullptr ? 2 + 12 + 4 : 0);
  std::vector<uint8_t> block{head[0], head[1]}, values;
  tiff.putU16(block, 42);
  tiff.putU32(block, 8);
  const auto put = [&](uint32_t tag, const uint8_t* entry) {
    const std::vector<uint8_t> value = tiff.value(entry);
    tiff.putU16(block, tag);
    tiff.putU16(block, tiff.u16(entry + 2));
    tiff.putU32(block, value.empty() ? 0 : tiff.u32(entry + 4));
    if (value.size() <= 4) {
      block.insert(block.end(), value.begin(), value.end());
      block.insert(block.end(), 4 - value.size(), 0);
    } else {
      tiff.putU32(block, valuesAt + static_cast<uint32_t>(values.size()));
      values.insert(values.end(), value.begin(), value.end());
    }
  };
  tiff.putU16(block, static_cast<uint32_t>(firstCount));
  for (const auto& [tag, entry] : kept) put(tag, entry);
  if (taken != nullptr) {
    tiff.putU16(block, 0x8769);
    tiff.putU16(block, 4);
    tiff.putU32(block, 1);
    tiff.putU32(block, exifAt);
  }
  tiff.putU32(block, 0);
  if (taken != nullptr) {
    tiff.putU16(block, 1);
    put(0x9003, taken);
    tiff.putU32(block, 0);
  }
  block.insert(block.end(), values.begin(), values.end());
  header.exif = std::move(block);
}

// Camera RAW files in TIFF directories hold the DNG version, colour filter array data or the
// cameras' own raw compression in some directory of the chain or below it; the first is often
// a small preview, so the size taken is the largest directory's (sensor data or full preview).
struct RawLook {
  bool raw = false;
  uint32_t width = 0, height = 0;
  uint64_t sensorPixels = 0, previewPixels = 0;  // the largest of each kind
  int walked = 0;
};

void lookForRaw(const TiffDirectories& tiff, uint64_t at, int depth, RawLook& look) {
  constexpr int kMostDirectories = 32;
  for (; at != 0 && depth <= 2 && ++look.walked <= kMostDirectories; at = tiff.next(at)) {
    const std::vector<uint8_t> entries = tiff.entries(at, false);
    uint32_t width = 0, height = 0;
    bool sensor = false, jpeg = false;
    for (size_t i = 0; i + 12 <= entries.size(); i += 12) {
      const uint8_t* entry = entries.data() + i;
      const uint32_t tag = tiff.u16(entry), type = tiff.u16(entry + 2);
      const uint32_t value = type == 3 ? tiff.u16(entry + 8) : tiff.u32(entry + 8);
      if (tag == 256 || tag == 2) width = value;  // 2 and 3: the sensor size of RW2 files
      if (tag == 257 || tag == 3) height = value;
      if ((tag == 262 && (value == 32803 || value == 34892)) || tag == 33421 || tag == 33422 ||
          (tag == 259 && (value == 34713 || value == 32767 || value == 65535 || value == 65000 ||
                          value == 32769 || value == 32770))) {
        sensor = true;
      }
      look.raw = look.raw || sensor || tag == 50706;  // the DNG version
      if (tag == 259 && (value == 6 || value == 7)) jpeg = true;
      if (tag == 330 && tiff.u32(entry + 4) == 1) lookForRaw(tiff, value, depth + 1, look);
      if (tag == 330 && type == 4 && tiff.u32(entry + 4) > 1) {
        const std::vector<uint8_t> offsets = tiff.value(entry);
        for (size_t k = 0; k + 4 <= offsets.size() && k < 16; k += 4)
          lookForRaw(tiff, tiff.u32(offsets.data() + k), depth + 1, look);
      }
    }
    const uint64_t pixels = uint64_t{width} * height;
    if (pixels > uint64_t{look.width} * look.height) {
      look.width = width;
      look.height = height;
    }
    if (sensor) look.sensorPixels = std::max(look.sensorPixels, pixels);
    if (jpeg && !sensor) look.previewPixels = std::max(look.previewPixels, pixels);
  }
}

// PNG and WebP: the size from the first chunk; chunks after the picture data are walked to the
// EXIF block.
void readChunks(const File& file, bool png, PictureHeader& header) {
  uint64_t at = png ? 8 : 12;
  for (int chunk = 0; chunk < kMostChunks; ++chunk) {
    uint8_t head[30] = {};
    if (!file.read(at, 8, head)) return;
    // PNG: big-endian length, then type; WebP: type, then little-endian length.
    const uint64_t length = png ? be32(head) : le32(head + 4);
    const std::string_view type(reinterpret_cast<const char*>(png ? head + 4 : head), 4);
    const size_t wanted = std::min<uint64_t>(length, 22);
    if (chunk == 0 && file.read(at + 8, wanted, head + 8)) {
      if (type == "IHDR" && length >= 13) {
        header.width = be32(head + 8);
        header.height = be32(head + 12);
        header.fewColours = head[17] == 0 || head[17] == 3;  // grey or palette
      } else if (type == "VP8X" && length >= 10) {
        header.alpha = (head[8] & 0x10) != 0;
        header.width = le24(head + 12) + 1;
        header.height = le24(head + 15) + 1;
      } else if (type == "VP8 " && length >= 10 && head[11] == 0x9D && head[12] == 0x01 &&
                 head[13] == 0x2A) {
        header.width = le16(head + 14) & 0x3FFF;
        header.height = le16(head + 16) & 0x3FFF;
      } else if (type == "VP8L" && length >= 5 && head[8] == 0x2F) {
        const uint32_t bits = le32(head + 9);
        header.width = (bits & 0x3FFF) + 1;
        header.height = ((bits >> 14) & 0x3FFF) + 1;
        header.alpha = (bits >> 28 & 1) != 0;
      }
    }
    if (!png && type == "VP8L") header.lossless = true;
    if (!png && type == "ALPH") header.alpha = true;
    if (type == (png ? "eXIf" : "EXIF")) {
      header.exif = withoutExifPrefix(file.block(at + 8, length));
      return;
    }
    if (png && type == "IEND") return;
    at += 8 + length + (png ? 4 : (length & 1));  // WebP chunks are padded to even lengths
  }
}

// HEIF: the "meta" box's image sizes ("ispe", the largest), whether an auxiliary image is an
// alpha plane ("auxC"), and the Exif item through the item information and locations.
std::optional<std::pair<uint64_t, uint64_t>> exifItemPlace(std::span<const uint8_t> meta) {
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
      if (*id == *exifItem && extent == 0 && method == 0) return std::pair{base + *offset, *length};
    }
  }
  return std::nullopt;
}

void findImageProperties(std::span<const uint8_t> data, int depth, PictureHeader& header) {
  if (depth >= 4) return;
  for (const auto& [type, body] : isoBoxes(data)) {
    if (type == "iprp" || type == "ipco") {
      findImageProperties(body, depth + 1, header);
    } else if (type == "ispe" && body.size() >= 12) {
      const uint32_t width = be32(body.data() + 4), height = be32(body.data() + 8);
      if (uint64_t{width} * height > uint64_t{header.width} * header.height) {
        header.width = width;
        header.height = height;
      }
    } else if (type == "auxC") {
      const std::string_view urn(reinterpret_cast<const char*>(body.data()), body.size());
      if (urn.find("alpha") != urn.npos || urn.find("auxid:1") != urn.npos) header.alpha = true;
    }
  }
}

void readHeif(const File& file, PictureHeader& header) {
  uint64_t at = 0;
  for (int box = 0; box < kMostBoxes && file.size() - at >= 8; ++box) {
    uint8_t head[16];
    if (!file.read(at, 8, head)) return;
    uint64_t length = be32(head);
    if (length == 1) {
      if (!file.read(at, 16, head)) return;
      length = uint64_t{be32(head + 8)} << 32 | be32(head + 12);
    } else if (length == 0) {
      length = file.size() - at;
    }
    if (length < 8 || length > file.size() - at) return;
    if (std::memcmp(head + 4, "meta", 4) == 0) {
      const std::vector<uint8_t> meta = file.block(at, length);
      const std::vector<std::pair<std::string, std::span<const uint8_t>>> boxes = isoBoxes(meta);
      if (boxes.empty() || boxes[0].second.size() < 4) return;
      const std::span<const uint8_t> inside = boxes[0].second.subspan(4);  // version and flags
      findImageProperties(inside, 0, header);
      const std::optional<std::pair<uint64_t, uint64_t>> place = exifItemPlace(inside);
      if (!place || place->second < 4) return;
      // The Exif item starts with the offset of the TIFF header within it.
      std::vector<uint8_t> item = file.block(place->first, place->second);
      if (item.size() < 4 || be32(item.data()) > item.size() - 4) return;
      item.erase(item.begin(), item.begin() + 4 + be32(item.data()));
      header.exif = std::move(item);
      return;
    }
    at += length;
  }
}

}  // namespace

std::optional<PictureHeader> readPictureHeader(const std::string& path) {
  const File file(path);
  if (!file.regular()) return std::nullopt;
  PictureHeader header;
  header.fileBytes = file.size();
  uint8_t head[30] = {};
  const size_t got = std::min<uint64_t>(file.size(), sizeof head);
  if (!file.read(0, got, head)) return header;
  const auto starts = [&](std::string_view magic, size_t offset = 0) {
    return got >= offset + magic.size() &&
           std::memcmp(head + offset, magic.data(), magic.size()) == 0;
  };
  if (starts("\xFF\xD8\xFF")) {
    header.kind = PictureKind::Jpeg;
    readJpeg(file, header);
  } else if (starts("\x89PNG\r\n\x1A\n")) {
    header.kind = PictureKind::Png;
    readChunks(file, true, header);
  } else if (starts("GIF87a") || starts("GIF89a")) {
    header.kind = PictureKind::Gif;
    header.width = le16(head + 6);
    header.height = le16(head + 8);
    header.fewColours = true;
  } else if (starts("BM") && got >= 30) {
    header.kind = PictureKind::Bmp;
    const bool core = le32(head + 14) == 12;
    header.width = core ? le16(head + 18) : le32(head + 18);
    const auto height = static_cast<int32_t>(le32(head + 22));
    header.height = core         ? le16(head + 20)
                    : height < 0 ? 0u - static_cast<uint32_t>(height)
                                 : uint32_t(height);
    header.fewColours = le16(head + (core ? 24 : 28)) <= 8;
  } else if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("II+\0", 4)) ||
             starts(std::string_view("MM\0*", 4)) || starts(std::string_view("MM\0+", 4)) ||
             starts("IIRO") || starts("IIRS") || starts("MMOR") ||
             starts(std::string_view("IIU\0", 4))) {
    header.kind = PictureKind::Tiff;
    header.fewColours = true;  // until the samples per pixel say otherwise
    readTiff(file, head, header);
    RawLook look;
    const TiffDirectories tiff(file, head[0] == 'I');
    if (tiff.u16(head + 2) != 43) lookForRaw(tiff, tiff.u32(head + 4), 0, look);
    // Olympus and Panasonic files have signatures of their own, Canon's a mark after it.
    if (look.raw || starts("CR\2", 8) ||
        (head[2] != '*' && head[2] != '+' && head[3] != '*' && head[3] != '+')) {
      header.kind = PictureKind::Raw;
      header.fewColours = false;
      header.width = look.width;
      header.height = look.height;
      header.rawPreview = look.sensorPixels > 0 && look.previewPixels >= look.sensorPixels;
    }
  } else if (starts("FUJIFILMCCD-RAW") || (starts("ftyp", 4) && starts("crx ", 8))) {
    header.kind = PictureKind::Raw;  // no size read: taken as needing the whole budget
  } else if (starts("RIFF") && starts("WEBP", 8)) {
    header.kind = PictureKind::Webp;
    readChunks(file, false, header);
  } else if (starts("ftyp", 4)) {
    header.kind = PictureKind::Heif;
    readHeif(file, header);
  }
  if (header.orientation == 1 && !header.exif.empty()) {
    header.orientation = exifOrientation(header.exif);
  }
  return header;
}

}  // namespace glim
