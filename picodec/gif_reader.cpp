// GIF through giflib: the first frame on the logical screen. A frame that fills the screen
// and decodes completely arrives as a palette picture (1, 4 or 8 bits) with its colour map,
// the transparent entry white; otherwise as 24 bits with every uncovered pixel white.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gif_lib.h>

#include "codec_error.h"
#include "picture_readers.h"

namespace picodec {
namespace {

struct Source {
  Bytes bytes;
  size_t offset = 0;
};

int readBytes(GifFileType* gif, GifByteType* out, int length) {
  auto* s = static_cast<Source*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(std::max(length, 0)), s->bytes.size() - s->offset);
  std::memcpy(out, s->bytes.data() + s->offset, n);
  s->offset += n;
  return static_cast<int>(n);
}

struct GifCloser {
  GifFileType* gif;
  ~GifCloser() {
    if (gif != nullptr) DGifCloseFile(gif, nullptr);
  }
};

[[noreturn]] void failGif(int code) {
  const char* text = GifErrorString(code);
  fail(std::string("The GIF file is damaged: ") + (text != nullptr ? text : "unknown error") + ".");
}

// The first frame's indices on the screen, as far as the data went.
struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  int visibleWidth = 0, visibleHeight = 0;  // the part that lies on the screen
  std::vector<uint8_t> indices;             // visibleWidth x visibleHeight, top line first
  std::vector<bool> rowDone;
  bool complete = false;
  int transparent = -1;
  std::vector<Rgb> colors;  // the frame's colour map, or the screen's
};

// Reads records up to and including the first image. False when the file holds none.
bool readFirstFrame(GifFileType* gif, Frame& frame, Progress& progress) {
  const int screenWidth = gif->SWidth, screenHeight = gif->SHeight;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) failGif(gif->Error);
    if (type == TERMINATE_RECORD_TYPE) return false;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) failGif(gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        GraphicsControlBlock gcb;
        DGifExtensionToGCB(block[0], block + 1, &gcb);
        frame.transparent = gcb.TransparentColor;
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) failGif(gif->Error);
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) failGif(gif->Error);
    const GifImageDesc& d = gif->Image;
    frame.left = d.Left, frame.top = d.Top, frame.width = d.Width, frame.height = d.Height;
    const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
    if (map != nullptr) {
      for (int i = 0; i < map->ColorCount && i < 256; ++i) {
        frame.colors.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
      }
    }
    // The whole frame is decoded (bounded like a picture), only its visible part is kept.
    checkPictureSize(std::max(frame.width, 1), std::max(frame.height, 1));
    frame.visibleWidth = std::clamp(screenWidth - frame.left, 0, frame.width);
    frame.visibleHeight = std::clamp(screenHeight - frame.top, 0, frame.height);
    frame.indices.assign(size_t(frame.visibleWidth) * size_t(frame.visibleHeight), 0);
    frame.rowDone.assign(size_t(frame.visibleHeight), false);
    std::vector<GifPixelType> line(size_t(std::max(frame.width, 1)));
    // Interlaced rows arrive in four passes.
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    int done = 0;
    for (int pass = 0; pass < passes; ++pass) {
      const int start = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
      for (int y = start; y < frame.height; y += step) {
        if (DGifGetLine(gif, line.data(), frame.width) == GIF_ERROR) {
          return true;  // the data ended early: keep what arrived
        }
        if (y < frame.visibleHeight && frame.visibleWidth > 0) {
          std::memcpy(frame.indices.data() + size_t(y) * frame.visibleWidth, line.data(),
                      size_t(frame.visibleWidth));
          frame.rowDone[y] = true;
        }
        progress.update(++done, frame.height);
      }
    }
    frame.complete = true;
    return true;
  }
}

Rgb colorOf(const Frame& frame, int index) {
  if (index == frame.transparent) return {255, 255, 255};
  return index < static_cast<int>(frame.colors.size()) ? frame.colors[index] : Rgb{0, 0, 0};
}

}  // namespace

DibOwner readGif(Bytes bytes, Progress& progress) {
  Source source{bytes, 0};
  int error = 0;
  GifCloser closer{DGifOpen(&source, readBytes, &error)};
  if (closer.gif == nullptr) failGif(error);
  GifFileType* gif = closer.gif;
  const int width = gif->SWidth, height = gif->SHeight;
  checkPictureSize(width, height);

  Frame frame;
  if (!readFirstFrame(gif, frame, progress)) fail("The GIF file holds no picture.");
  if (frame.colors.empty()) {
    for (int i = 0; i < 256; ++i) frame.colors.push_back({uint8_t(i), uint8_t(i), uint8_t(i)});
  }

  const bool fills =
      frame.left == 0 && frame.top == 0 && frame.width == width && frame.height == height;
  if (fills && frame.complete) {
    // Indexes beyond a short colour map draw black, as in a partial frame: the depth must
    // hold the largest index used, not only the map.
    size_t count = frame.colors.size();
    for (uint8_t index : frame.indices) count = std::max<size_t>(count, size_t(index) + 1);
    const int bits = count <= 2 ? 1 : (count <= 16 ? 4 : 8);
    // Eight-bit indices are stored one by one; fewer bits are merged into the zeros.
    DibOwner dib(width, height, bits, bits == 8 ? PixelStart::Overwritten : PixelStart::Zeroed);
    for (int i = 0; i < tableSize(bits); ++i) dib.setColor(i, colorOf(frame, i));
    const unsigned mask = (1u << bits) - 1;
    for (int y = 0; y < height; ++y) {
      const uint8_t* src = frame.indices.data() + size_t(y) * frame.visibleWidth;
      uint8_t* dst = dib.topRow(y);
      for (int x = 0; x < width; ++x) {
        const unsigned index = src[x] & mask;
        if (bits == 8) {
          dst[x] = static_cast<uint8_t>(index);
        } else if (bits == 4) {
          dst[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
        } else {
          dst[x >> 3] |= static_cast<uint8_t>(index << (7 - (x & 7)));
        }
      }
    }
    return dib;
  }

  // A partial frame: 24 bits on a white screen.
  DibOwner dib(width, height, 24, PixelStart::Overwritten);
  for (int y = 0; y < height; ++y) std::memset(dib.row(y), 255, size_t(width) * 3);
  for (int fy = 0; fy < frame.visibleHeight; ++fy) {
    if (!frame.rowDone[fy]) continue;
    uint8_t* dst = dib.topRow(frame.top + fy);
    for (int fx = 0; fx < frame.visibleWidth; ++fx) {
      const Rgb c = colorOf(frame, frame.indices[size_t(fy) * frame.visibleWidth + fx]);
      uint8_t* p = dst + 3 * (frame.left + fx);
      p[0] = c.blue, p[1] = c.green, p[2] = c.red;
    }
  }
  return dib;
}

}  // namespace picodec
