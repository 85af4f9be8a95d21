// Camera RAW files through LibRaw (its thread-safe build, as pictures are decoded on several
// threads at once). The camera's own embedded JPEG rendering is taken when it is at least as
// large as the sensor picture; otherwise the raw data is developed with the camera's white
// balance into sRGB at 8 bits. Either way the file's orientation is applied.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <libraw/libraw.h>

#include "codec_error.h"
#include "file_bytes.h"
#include "orientation.h"
#include "picture_readers.h"

namespace picodec {
namespace {

// Limits on the directories walked to recognise a RAW file in a TIFF container.
constexpr int kMostDirectories = 32;
constexpr uint32_t kMostEntries = 1024;
// What LibRaw may take for the raw data: the largest picture at four 16-bit samples a pixel.
constexpr unsigned kMaxRawMegabytes = PICODEC_MAX_PIXELS / (1024 * 1024) * 8;

bool startsWith(Bytes bytes, const char* magic, size_t size, size_t offset = 0) {
  return bytes.size() >= offset + size && std::memcmp(bytes.data() + offset, magic, size) == 0;
}

// Reads up to `n` bytes at `at` of a file in memory or on disk; gives how many it read.
using ReadAt = std::function<size_t(uint64_t at, size_t n, uint8_t* out)>;

// Walks the directories of a classic TIFF container (each one's chain and sub-directories) for
// what only camera RAW files hold: the DNG version, colour filter array data or its layout
// tags, or the compression schemes of the cameras' own raw data.
class TiffWalk {
 public:
  TiffWalk(const ReadAt& read, bool little) : read_(read), little_(little) {}

  bool rawFrom(uint64_t offset, int depth) {
    for (int chain = 0; offset != 0 && chain < kMostDirectories; ++chain) {
      uint8_t count[2];
      if (++walked_ > kMostDirectories || depth > 2 || read_(offset, 2, count) != 2) return false;
      // The entries and the offset of the next directory.
      std::vector<uint8_t> entries(std::min(u16(count), kMostEntries) * size_t{12} + 4);
      if (read_(offset + 2, entries.size(), entries.data()) != entries.size()) return false;
      for (size_t at = 0; at + 4 < entries.size(); at += 12) {
        const uint8_t* entry = entries.data() + at;
        const uint32_t tag = u16(entry), type = u16(entry + 2), n = u32(entry + 4);
        const uint32_t value = type == 3 ? u16(entry + 8) : u32(entry + 8);
        if (tag == 50706 || tag == 33421 || tag == 33422) return true;      // DNG version, CFA
        if (tag == 262 && (value == 32803 || value == 34892)) return true;  // CFA, linear raw
        // Nikon, Sony, Pentax and Kodak raw data, and Canon's and Nikon's older schemes.
        if (tag == 259 && (value == 34713 || value == 32767 || value == 65535 || value == 65000 ||
                           value == 32769 || value == 32770)) {
          return true;
        }
        if (tag == 330 && (type == 4 || type == 13)) {  // sub-directories
          for (uint32_t i = 0; i < std::min<uint32_t>(n, 4); ++i) {
            uint8_t where[4];
            const bool read = n == 1 ? (std::memcpy(where, entry + 8, 4), true)
                                     : read_(value + uint64_t{i} * 4, 4, where) == 4;
            if (read && rawFrom(u32(where), depth + 1)) return true;
          }
        }
      }
      offset = u32(entries.data() + entries.size() - 4);
    }
    return false;
  }

 private:
  uint32_t u16(const uint8_t* p) const { return little_ ? readU16le(p) : readU16be(p); }
  uint32_t u32(const uint8_t* p) const { return little_ ? readU32le(p) : readU32be(p); }
  const ReadAt& read_;
  bool little_;
  int walked_ = 0;
};

bool isRaw(const ReadAt& read) {
  uint8_t head[16];
  const Bytes bytes(head, read(0, sizeof head, head));
  if (startsWith(bytes, "IIRO", 4) || startsWith(bytes, "IIRS", 4) ||
      startsWith(bytes, "MMOR", 4) || startsWith(bytes, "IIU\0", 4) ||
      startsWith(bytes, "FUJIFILMCCD-RAW", 15) ||
      (startsWith(bytes, "ftyp", 4, 4) && startsWith(bytes, "crx ", 4, 8))) {
    return true;
  }
  const bool little = startsWith(bytes, "II*\0", 4), big = startsWith(bytes, "MM\0*", 4);
  if (!little && !big) return false;
  if (little && startsWith(bytes, "CR\2", 3, 8)) return true;  // Canon's second format
  if (bytes.size() < 8) return false;
  const uint32_t first = little ? readU32le(bytes.data() + 4) : readU32be(bytes.data() + 4);
  return TiffWalk(read, little).rawFrom(first, 0);
}

// The size and EXIF orientation of a JPEG file from its markers; no size when they are not
// there.
struct JpegFrame {
  int32_t width = 0, height = 0;
  int orientation = 1;
};

JpegFrame jpegFrame(Bytes jpeg) {
  JpegFrame frame;
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const uint8_t marker = jpeg[at + 1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    const size_t length = readU16be(jpeg.data() + at + 2);
    if (length < 2 || at + 2 + length > jpeg.size() || marker == 0xDA || marker == 0xD9) break;
    const uint8_t* body = jpeg.data() + at + 4;
    if (marker == 0xE1 && length > 8 && std::memcmp(body, "Exif\0\0", 6) == 0) {
      frame.orientation = exifOrientation(body, length - 2);
    }
    const bool sof =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof && length >= 7) {
      frame.height = readU16be(body + 1);
      frame.width = readU16be(body + 3);
    }
    at += 2 + length;
  }
  return frame;
}

// LibRaw's flip (bit 0 mirrors left to right, bit 1 top to bottom, bit 2 exchanges the axes
// first) as an EXIF orientation.
int orientationOfFlip(int flip) {
  static constexpr int kOrientation[8] = {1, 2, 4, 3, 5, 8, 6, 7};
  return kOrientation[flip & 7];
}

// Progress through LibRaw's stages: they are single bits in the order they run.
int onProgress(void* data, enum LibRaw_progress stage, int, int) {
  const auto value = static_cast<unsigned>(stage) & LIBRAW_PROGRESS_THUMB_MASK;
  int bit = 0;
  while (bit < 20 && (value >> bit) > 1) ++bit;
  static_cast<Progress*>(data)->update(5 + bit * 4, 100);
  return 0;
}

// LibRaw reports raw data it cannot read (a file cut short) here and goes on with zeros; the
// count makes the file fail instead.
void onDataError(void* data, const char*, const int) {
  ++*static_cast<int*>(data);
}

// LibRaw's own messages on memory errors go nowhere: its call returns the failure.
void onMemoryError(void*, const char*, const char*) {}

void check(int code, const char* doing) {
  if (code == LIBRAW_SUCCESS) return;
  if (code == LIBRAW_UNSUFFICIENT_MEMORY) fail("Not enough memory for the picture.");
  if (code == LIBRAW_TOO_BIG) fail("The camera RAW picture is too large.");
  fail(std::string("The camera RAW file cannot be ") + doing + ": " + libraw_strerror(code) + ".");
}

// The embedded JPEG rendering, when it is at least as large as the sensor picture (either way
// round); no picture otherwise.
DibOwner fullSizePreview(LibRaw& raw, int32_t width, int32_t height, uint64_t fileBytes,
                         Progress& progress) {
  const libraw_thumbnail_t& thumb = raw.imgdata.thumbnail;
  // LibRaw copies the preview out of the file: no larger than the file itself.
  if (thumb.tlength == 0 || thumb.tlength > fileBytes || raw.unpack_thumb() != LIBRAW_SUCCESS ||
      thumb.tformat != LIBRAW_THUMBNAIL_JPEG || thumb.thumb == nullptr) {
    return {};
  }
  const Bytes jpeg(reinterpret_cast<const uint8_t*>(thumb.thumb), thumb.tlength);
  const JpegFrame frame = jpegFrame(jpeg);
  const bool sameWay = frame.width >= width && frame.height >= height;
  const bool otherWay = frame.width >= height && frame.height >= width;
  if (!sameWay && !otherWay) return {};
  DibOwner picture;
  try {
    picture = readJpeg(jpeg, progress);
  } catch (const CodecError&) {
    return {};  // a damaged preview: the raw data is developed instead
  }
  // A preview without an orientation of its own lies as the sensor does, unless it is already
  // turned the way the file's orientation would turn it.
  const int orientation = orientationOfFlip(raw.imgdata.sizes.flip);
  if (frame.orientation != 1 || (orientation >= 5 && !sameWay)) return picture;
  return orientPicture(std::move(picture), orientation);
}

DibOwner develop(LibRaw& raw, const int& dataErrors) {
  libraw_output_params_t& params = raw.imgdata.params;
  params.use_camera_wb = 1;
  params.output_color = 1;  // sRGB
  params.output_bps = 8;
  params.user_qual = 3;  // AHD interpolation
  check(raw.unpack(), "read");
  if (dataErrors > 0) fail("The camera RAW file is damaged: its picture data ends early.");
  check(raw.dcraw_process(), "developed");
  int width = 0, height = 0, colours = 0, bits = 0;
  raw.get_mem_image_format(&width, &height, &colours, &bits);
  checkPictureSize(width, height);
  if (bits != 8 || (colours != 3 && colours != 1)) fail("The camera RAW file cannot be developed.");
  DibOwner dib(width, height, colours == 1 ? 8 : 24, PixelStart::Overwritten);
  if (colours == 1) dib.setGreyTable();
  // LibRaw writes rows top down; the record keeps them bottom up.
  check(raw.copy_mem_image(dib.dib().Pixels, dib.rowBytes(), 1), "developed");
  const size_t rowBytes = static_cast<size_t>(dib.rowBytes());
  for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(dib.row(top), dib.row(top) + rowBytes, dib.row(bottom));
  }
  return dib;
}

}  // namespace

bool isCameraRaw(Bytes bytes) {
  return isRaw([bytes](uint64_t at, size_t n, uint8_t* out) -> size_t {
    if (at >= bytes.size()) return 0;
    n = static_cast<size_t>(std::min<uint64_t>(n, bytes.size() - at));
    std::memcpy(out, bytes.data() + at, n);
    return n;
  });
}

bool isCameraRawFile(int fd) {
  return isRaw([fd](uint64_t at, size_t n, uint8_t* out) -> size_t {
    size_t done = 0;
    while (done < n && at + done <= static_cast<uint64_t>(INT64_MAX)) {
      const ssize_t got = ::pread(fd, out + done, n - done, static_cast<off_t>(at + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  });
}

namespace {

// Opens the file with `open`, checks every size, and takes the preview or develops the data.
DibOwner decodeRaw(const std::function<int(LibRaw&)>& open, uint64_t fileBytes,
                   Progress& progress) {
  // LibRaw's state is large: on the heap, not on a worker's stack.
  auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
  int dataErrors = 0;
  raw->set_dataerror_handler(onDataError, &dataErrors);
  raw->set_memerror_handler(onMemoryError, nullptr);
  raw->set_progress_handler(onProgress, &progress);
  raw->imgdata.params.max_raw_memory_mb = kMaxRawMegabytes;
  check(open(*raw), "read");

  // Every size the picture may take is checked before anything is unpacked: the raw data
  // as stored, and the picture as developed (stretched for pixels that are not square).
  const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
  checkPictureSize(sizes.raw_width, sizes.raw_height);
  checkPictureSize(sizes.width, sizes.height);
  const double aspect = sizes.pixel_aspect;
  if (!(aspect >= 0.25 && aspect <= 4)) fail("The camera RAW file is damaged: odd pixel shape.");
  const int32_t width = aspect > 1 ? static_cast<int32_t>(sizes.width * aspect + 0.5) : sizes.width;
  const int32_t height =
      aspect < 1 ? static_cast<int32_t>(sizes.height / aspect + 0.5) : sizes.height;
  checkPictureSize(width, height);
  // Even the most compressed raw data takes more than a bit for every eight pixels: a file far
  // smaller than that is damaged, or a bomb.
  if (uint64_t{sizes.raw_width} * sizes.raw_height / 64 > fileBytes) {
    fail("The camera RAW file is damaged: it holds far less data than its picture needs.");
  }

  if (DibOwner preview = fullSizePreview(*raw, width, height, fileBytes, progress);
      preview.dib().Pixels) {
    return preview;
  }
  return develop(*raw, dataErrors);
}

}  // namespace

DibOwner readRaw(Bytes bytes, Progress& progress) {
  return decodeRaw(
      [bytes](LibRaw& raw) {
        return raw.open_buffer(const_cast<uint8_t*>(bytes.data()), bytes.size());
      },
      bytes.size(), progress);
}

DibOwner readRawFile(int fd, Progress& progress) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) fail("The path is not a file.");
  if (static_cast<uint64_t>(info.st_size) > PICODEC_MAX_FILE_BYTES) {
    fail("The file is too large to be a picture this program reads.");
  }
  // LibRaw reads the file itself, through the descriptor already open: only the parts it
  // needs (for a full-size preview, not the sensor data).
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  return decodeRaw([&path](LibRaw& raw) { return raw.open_file(path.c_str()); },
                   static_cast<uint64_t>(info.st_size), progress);
}

}  // namespace picodec
