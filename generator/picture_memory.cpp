#include "picture_memory.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <vector>

#include "iso_boxes.h"
#include "picodec.h"

namespace glim {
namespace {

// Limits on what a header look-up reads of a hostile file.
constexpr int kMaxJpegSegments = 4096;
constexpr uint32_t kMaxTiffEntries = 4096;
constexpr uint64_t kMaxHeifMetaBytes = 16u << 20;
constexpr int kMaxHeifBoxes = 4096;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

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

bool readAt(std::FILE* file, long offset, uint8_t* out, std::size_t size) {
  return std::fseek(file, offset, SEEK_SET) == 0 && std::fread(out, 1, size, file) == size;
}

std::optional<PictureDimensions> dimensions(uint32_t width, uint32_t height) {
  if (width == 0 || height == 0) return std::nullopt;
  return PictureDimensions{width, height};
}

std::optional<PictureDimensions> jpegDimensions(std::FILE* file) {
  if (std::fseek(file, 2, SEEK_SET) != 0) return std::nullopt;
  for (int segment = 0; segment < kMaxJpegSegments; ++segment) {
    int c = std::getc(file);
    if (c != 0xFF) return std::nullopt;
    while (c == 0xFF) c = std::getc(file);
    if (c == EOF || c == 0xD9 || c == 0xDA) return std::nullopt;  // no frame before the scan
    if (c == 0x01 || (c >= 0xD0 && c <= 0xD8)) continue;          // markers without a length
    uint8_t field[7];
    if (std::fread(field, 1, 2, file) != 2 || be16(field) < 2) return std::nullopt;
    const bool frame = c >= 0xC0 && c <= 0xCF && c != 0xC4 && c != 0xC8 && c != 0xCC;
    if (frame) {
      if (std::fread(field + 2, 1, 5, file) != 5) return std::nullopt;
      return dimensions(be16(field + 5), be16(field + 3));
    }
    if (std::fseek(file, static_cast<long>(be16(field)) - 2, SEEK_CUR) != 0) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<PictureDimensions> tiffDimensions(std::FILE* file, bool little) {
  uint8_t head[16];
  if (!readAt(file, 0, head, 16)) return std::nullopt;
  const auto u16 = [little](const uint8_t* p) { return little ? le16(p) : be16(p); };
  const auto u32 = [little](const uint8_t* p) { return little ? le32(p) : be32(p); };
  const auto u64 = [&](const uint8_t* p) {
    return little ? uint64_t(u32(p + 4)) << 32 | u32(p) : uint64_t(u32(p)) << 32 | u32(p + 4);
  };
  // Classic TIFF: 2-byte entry counts and 12-byte entries; BigTIFF: 8 and 20.
  const bool big = u16(head + 2) == 43;
  const uint64_t first = big ? u64(head + 8) : u32(head + 4);
  uint8_t count[8];
  if (first > uint64_t(LONG_MAX) || !readAt(file, static_cast<long>(first), count, big ? 8 : 2))
    return std::nullopt;
  const uint64_t entries = std::min<uint64_t>(big ? u64(count) : u16(count), kMaxTiffEntries);
  const std::size_t entrySize = big ? 20 : 12;
  const std::size_t valueAt = big ? 12 : 8;
  uint32_t width = 0;
  uint32_t height = 0;
  for (uint64_t i = 0; i < entries; ++i) {
    uint8_t entry[20];
    if (std::fread(entry, 1, entrySize, file) != entrySize) return std::nullopt;
    const uint32_t tag = u16(entry);
    const uint32_t type = u16(entry + 2);
    const uint8_t* value = entry + valueAt;
    const uint64_t number = type == 3           ? u16(value)
                            : type == 4         ? u32(value)
                            : type == 16 && big ? u64(value)
                                                : 0;
    const uint32_t clamped = static_cast<uint32_t>(std::min<uint64_t>(number, UINT32_MAX));
    if (tag == 256) width = clamped;
    if (tag == 257) height = clamped;
  }
  return dimensions(width, height);
}

std::optional<PictureDimensions> webpDimensions(std::FILE* file) {
  uint8_t head[30];
  if (!readAt(file, 0, head, sizeof head)) return std::nullopt;
  if (std::memcmp(head + 12, "VP8X", 4) == 0)
    return dimensions(le24(head + 24) + 1, le24(head + 27) + 1);
  if (std::memcmp(head + 12, "VP8 ", 4) == 0 && head[23] == 0x9D && head[24] == 0x01 &&
      head[25] == 0x2A) {
    return dimensions(le16(head + 26) & 0x3FFF, le16(head + 28) & 0x3FFF);
  }
  if (std::memcmp(head + 12, "VP8L", 4) == 0 && head[20] == 0x2F) {
    const uint32_t bits = le32(head + 21);
    return dimensions((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
  }
  return std::nullopt;
}

// Walks the boxes in `data`; in "meta" (a full box), "iprp" and "ipco" it goes inside, and of
// every "ispe" (the size of an image item) it keeps the largest.
void findImageSizes(std::span<const uint8_t> data, int depth, int& boxes,
                    PictureDimensions& largest) {
  if (depth >= 8) return;
  for (const auto& [type, body] : isoBoxes(data)) {
    if (++boxes >= kMaxHeifBoxes) return;
    if (type == "meta" && body.size() >= 4) {
      findImageSizes(body.subspan(4), depth + 1, boxes, largest);
    } else if (type == "iprp" || type == "ipco") {
      findImageSizes(body, depth + 1, boxes, largest);
    } else if (type == "ispe" && body.size() >= 12) {
      const uint32_t width = be32(body.data() + 4);
      const uint32_t height = be32(body.data() + 8);
      if (uint64_t(width) * height > uint64_t(largest.width) * largest.height)
        largest = {width, height};
    }
  }
}

std::optional<PictureDimensions> heifDimensions(std::FILE* file, uint64_t fileSize) {
  uint64_t at = 0;
  for (int box = 0; box < kMaxHeifBoxes && fileSize - at >= 8; ++box) {
    uint8_t head[16];
    if (!readAt(file, static_cast<long>(at), head, 8)) return std::nullopt;
    uint64_t length = be32(head);
    if (length == 1) {
      if (!readAt(file, static_cast<long>(at), head, 16)) return std::nullopt;
      length = uint64_t(be32(head + 8)) << 32 | be32(head + 12);
    } else if (length == 0) {
      length = fileSize - at;
    }
    if (length < 8 || length > fileSize - at) return std::nullopt;
    if (std::memcmp(head + 4, "meta", 4) == 0) {
      if (length > kMaxHeifMetaBytes) return std::nullopt;
      std::vector<uint8_t> meta(length);
      if (!readAt(file, static_cast<long>(at), meta.data(), meta.size())) return std::nullopt;
      PictureDimensions largest;
      int boxes = 0;
      findImageSizes(meta, 0, boxes, largest);
      return dimensions(largest.width, largest.height);
    }
    at += length;
  }
  return std::nullopt;
}

// A number from a file such as "/proc/meminfo" after `key`; nothing when it is not there.
std::optional<uint64_t> numberAfter(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::istringstream rest(line.substr(key.size()));
    uint64_t value = 0;
    if (rest >> value) return value;
    return std::nullopt;
  }
  return std::nullopt;
}

// What the control groups of this process leave it: the least, over its memory group and the
// groups above it, of the limit less the use; version 2 groups ("0::/path") and the memory
// controller of version 1 ("N:memory:/path") alike.
std::optional<uint64_t> controlGroupLeft() {
  struct Hierarchy {
    std::string root, limitFile, usageFile, group;
  };
  std::vector<Hierarchy> hierarchies;
  std::ifstream in("/proc/self/cgroup");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 3, "0::") == 0) {
      hierarchies.push_back({"/sys/fs/cgroup", "memory.max", "memory.current", line.substr(3)});
    } else if (const std::size_t at = line.find(":memory:"); at != std::string::npos) {
      hierarchies.push_back({"/sys/fs/cgroup/memory", "memory.limit_in_bytes",
                             "memory.usage_in_bytes", line.substr(at + 8)});
    }
  }
  std::optional<uint64_t> least;
  for (Hierarchy& h : hierarchies) {
    if (h.group.empty() || h.group.front() != '/') continue;
    // "/a/b" is read as ROOT/a/b, then ROOT/a and ROOT.
    if (h.group.back() == '/') h.group.pop_back();
    for (int level = 0; level < 64; ++level) {
      const std::string folder = h.root + h.group + "/";
      const std::optional<uint64_t> limit = numberAfter(folder + h.limitFile, "");
      const std::optional<uint64_t> used = numberAfter(folder + h.usageFile, "");
      if (limit && used) {
        const uint64_t left = *limit > *used ? *limit - *used : 0;
        least = least ? std::min(*least, left) : left;
      }
      if (h.group.empty()) break;
      h.group.resize(h.group.rfind('/'));
    }
  }
  return least;
}

std::optional<uint64_t> addressSpaceLeft() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  const std::optional<uint64_t> pages = numberAfter("/proc/self/statm", "");
  if (!pages) return std::nullopt;
  const uint64_t size = *pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  return limit.rlim_cur > size ? limit.rlim_cur - size : 0;
}

}  // namespace

std::optional<PictureDimensions> pictureDimensions(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return std::nullopt;
  struct stat info {};
  if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  uint8_t head[30] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, file.get());
  const auto starts = [&](const char* magic, std::size_t offset = 0) {
    const std::size_t n = std::strlen(magic);
    return got >= offset + n && std::memcmp(head + offset, magic, n) == 0;
  };
  if (starts("\xFF\xD8\xFF")) {
    std::optional<PictureDimensions> size = jpegDimensions(file.get());
    if (size) size->streamed = true;
    return size;
  }
  if (starts("\x89PNG\r\n\x1A\n") && got >= 24) return dimensions(be32(head + 16), be32(head + 20));
  if ((starts("GIF87a") || starts("GIF89a")) && got >= 10)
    return dimensions(le16(head + 6), le16(head + 8));
  if (starts("BM") && got >= 26) {
    if (le32(head + 14) == 12) return dimensions(le16(head + 18), le16(head + 20));
    const auto height = static_cast<int32_t>(le32(head + 22));
    const uint32_t rows = height < 0 ? 0u - static_cast<uint32_t>(height) : uint32_t(height);
    return dimensions(le32(head + 18), rows);
  }
  if (starts("II*\0") || starts("II+\0")) return tiffDimensions(file.get(), true);
  if (starts("MM\0*") || starts("MM\0+")) return tiffDimensions(file.get(), false);
  if (starts("RIFF") && starts("WEBP", 8)) return webpDimensions(file.get());
  if (starts("ftyp", 4)) return heifDimensions(file.get(), static_cast<uint64_t>(info.st_size));
  return std::nullopt;
}

std::optional<uint64_t> pictureMemory(const std::string& path) {
  const std::optional<PictureDimensions> size = pictureDimensions(path);
  if (!size) return std::nullopt;
  // A picture beyond the library's limits is refused before its pixels are allocated.
  constexpr uint64_t kRefused = 1 << 20;
  if (size->width > PICODEC_MAX_DIMENSION || size->height > PICODEC_MAX_DIMENSION ||
      uint64_t(size->width) * size->height > PICODEC_MAX_PIXELS) {
    return kRefused;
  }
  const uint64_t rowBytes = (uint64_t(size->width) * 3 + 3) & ~uint64_t(3);
  const uint64_t pixels = rowBytes * size->height;
  uint64_t bytes = pixels + pixels / 8 + (1 << 20);
  struct stat info {};
  if (!size->streamed && ::stat(path.c_str(), &info) == 0)
    bytes += static_cast<uint64_t>(info.st_size);
  return bytes;
}

uint64_t defaultPictureMemory() {
  std::optional<uint64_t> least;
  const auto take = [&least](std::optional<uint64_t> value) {
    if (value) least = least ? std::min(*least, *value) : *value;
  };
  const std::optional<uint64_t> available = numberAfter("/proc/meminfo", "MemAvailable:");
  if (available) take(*available * 1024);
  take(controlGroupLeft());
  take(addressSpaceLeft());
  return least ? *least / 4 * 3 : 0;
}

std::optional<uint64_t> parseMemorySize(const std::string& text) {
  std::size_t digits = 0;
  uint64_t value = 0;
  constexpr uint64_t kLimit = uint64_t(1) << 60;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
    if (value > kLimit) return std::nullopt;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  std::string unit = text.substr(digits);
  if (!unit.empty() && (unit.back() == 'B' || unit.back() == 'b')) unit.pop_back();
  int shift = 0;
  if (unit.size() == 1) {
    const char* units = "KMGT";
    const char* found = std::strchr(units, std::toupper(static_cast<unsigned char>(unit[0])));
    if (found == nullptr || *found == '\0') return std::nullopt;
    shift = 10 * static_cast<int>(found - units + 1);
  } else if (!unit.empty()) {
    return std::nullopt;
  }
  if (value == 0 || value > (kLimit >> shift)) return std::nullopt;
  return value << shift;
}

}  // namespace glim
