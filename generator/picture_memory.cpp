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

#include "picodec.h"
#include "video_clip.h"
#include "web_pictures.h"

namespace glim {
namespace {

// The codecs' state beside the pixels: libjpeg's compressor and decompressor, libpng's
// rows, colour transforms (measured: about 130 KiB).
constexpr uint64_t kCodecState = 256 << 10;
// The HEVC and AV1 decoders' own state, whatever the picture's size (a 0.4-megapixel AVIF
// file took 7 MiB in all).
constexpr uint64_t kHeifDecoderState = 4 << 20;
// LibRaw's own state, and the buffers of its interpolation, whatever the picture's size.
constexpr uint64_t kRawPreviewState = 1 << 20;
constexpr uint64_t kRawDecoderState = 16 << 20;

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

// The ladder's share: all its pictures at once (all made before any is written), and the AVIF
// encoder of the largest picture that has one, with the sums of the sweep.
uint64_t ladderMemory(uint64_t width, uint64_t height, const PictureExtras& extras) {
  uint64_t pictures = 0, encoder = 0;
  for (const int32_t target : extras.widths) {
    const auto w = static_cast<uint64_t>(target);
    if (target < 1 || w >= width) continue;
    const uint64_t h = std::max<uint64_t>(1, (height * w + width / 2) / width);
    pictures += ((w * 3 + 3) & ~uint64_t{3}) * h + width * 12;
    if (std::find(extras.avifWidths.begin(), extras.avifWidths.end(), target) !=
        extras.avifWidths.end()) {
      encoder = std::max(encoder, avifMemory(w * h));
    }
  }
  return pictures + encoder + (pictures != 0 ? kCodecState : 0);
}

// A clip's poster: ffprobe gives its size. The PPM picture from ffmpeg's pipe is held beside
// the decoded one; ffmpeg's own memory is another process's.
std::optional<uint64_t> clipPosterMemory(const std::string& path, const PictureExtras& extras) {
  ClipFacts facts;
  std::string error;
  if (!probeClip(path, facts, error)) return 1 << 20;  // refused at once
  PictureHeader header;
  header.kind = PictureKind::Bmp;  // a reader that takes the picture as it stands
  header.width = static_cast<uint32_t>(facts.width);
  header.height = static_cast<uint32_t>(facts.height);
  header.fileBytes = uint64_t{3} * header.width * header.height;
  return pictureMemory(header, extras);
}

}  // namespace

std::optional<uint64_t> pictureMemory(const PictureHeader& header, const PictureExtras& extras) {
  // What the codec library refuses after its first bytes (another kind, or a picture beyond
  // its limits) is never decoded.
  constexpr uint64_t kRefused = 1 << 20;
  const uint64_t width = header.width, height = header.height;
  if (header.kind != PictureKind::Unknown && (width == 0 || height == 0)) return std::nullopt;
  if (header.kind == PictureKind::Unknown || width > PICODEC_MAX_DIMENSION ||
      height > PICODEC_MAX_DIMENSION || width * height > PICODEC_MAX_PIXELS) {
    return kRefused;
  }
  const uint64_t pixels = width * height;
  const uint64_t picture = ((width * 3 + 3) & ~uint64_t{3}) * height;
  // The picture at 24 bits, an eighth more for its conversions and thumbnails, and the
  // codecs' own state.
  uint64_t bytes = picture + picture / 8 + kCodecState + ladderMemory(width, height, extras);
  // Every reader but JPEG's and camera RAW's takes the file whole.
  if (header.kind != PictureKind::Jpeg && header.kind != PictureKind::Raw)
    bytes += header.fileBytes;
  // Decoded at 8 bits or less, the picture stays while its 24-bit copy is made.
  if (header.fewColours) bytes += ((width + 3) & ~uint64_t{3}) * height;
  // Turned by its orientation: the turned copy beside the stored picture.
  if (header.orientation >= 2 && header.kind != PictureKind::Jpeg) bytes += picture;
  switch (header.kind) {
    case PictureKind::Jpeg:
      // Progressive and multi-scan files: every block's 64 coefficients of 2 bytes.
      if (header.jpegWholeImage) bytes += header.jpegBlocks * 128;
      break;
    case PictureKind::Gif:
      bytes += pixels;  // the screen's colour indices
      break;
    case PictureKind::Webp:
      // Lossless pictures are decoded whole at 32 bits; with alpha the frame comes at 32 bits
      // (with a lossy frame's alpha plane and rows of its planes) before it is laid over white.
      if (header.lossless) bytes += 4 * pixels;
      if (header.alpha) bytes += 7 * pixels;
      break;
    case PictureKind::Heif:
      // The decoder's planes and its data per block, libheif's copy of the planes, the
      // interleaved copy, and alpha beside them (measured: 12 bytes a pixel in all for an
      // 8-megapixel HEIC file).
      bytes += kHeifDecoderState + 9 * pixels + (header.alpha ? 2 : 0) * pixels;
      break;
    case PictureKind::Raw:
      // LibRaw's state, and the raw data at 16 bits a sample and the picture it develops at
      // four 16-bit samples a pixel, or the embedded full-size preview's copy; the size is
      // the largest directory's, which neither exceeds.
      bytes +=
          header.rawPreview ? kRawPreviewState + header.fileBytes : kRawDecoderState + 10 * pixels;
      break;
    case PictureKind::Tiff:
      // A strip or tile may hold the whole picture as stored, and libtiff's raster holds
      // its rows at 32 bits.
      bytes += pixels * header.storedBits / 8 + 4 * pixels;
      break;
    default:
      break;
  }
  return bytes;
}

std::optional<uint64_t> pictureMemory(const std::string& path, const PictureExtras& extras) {
  if (isClipFile(path)) return clipPosterMemory(path, extras);
  const std::optional<PictureHeader> header = readPictureHeader(path);
  if (!header) return 1 << 20;  // not a regular file: the codec library refuses it at once
  return pictureMemory(*header, extras);
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
