// Video clips: their poster, which ffmpeg decodes in a child process of its own, so that a
// hostile clip can end only that process. The codec library takes the PPM picture it hands
// over like any other picture: size-checked, then copied into the record's bottom-up rows.
#include <cstring>
#include <string>

#include "codec_error.h"
#include "picture_readers.h"
#include "video_clip.h"

namespace picodec {

bool isClip(Bytes bytes) {
  return glim::isClipSignature(bytes.data(), bytes.size());
}

DibOwner readClipFile(const std::string& path, Progress& progress) {
  glim::ClipFacts facts;
  std::string error;
  if (!glim::probeClip(path, facts, error)) fail(error);
  checkPictureSize(facts.width, facts.height);
  progress.update(1, 4);
  const std::string ppm = glim::clipPoster(path, facts, error);
  if (ppm.empty()) fail(error);
  // clipPoster checked the header and that the pixels fill the rest exactly.
  const size_t rowBytes = static_cast<size_t>(facts.width) * 3;
  const uint8_t* pixels =
      reinterpret_cast<const uint8_t*>(ppm.data()) + ppm.size() - rowBytes * facts.height;
  DibOwner dib(facts.width, facts.height, 24, PixelStart::Overwritten);
  for (int32_t t = 0; t < facts.height; ++t) {
    const uint8_t* from = pixels + rowBytes * static_cast<size_t>(t);
    uint8_t* to = dib.topRow(t);
    for (int32_t x = 0; x < facts.width; ++x, from += 3, to += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
    progress.update(facts.height + t, 2 * static_cast<int64_t>(facts.height));
  }
  return dib;
}

}  // namespace picodec
