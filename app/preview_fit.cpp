#include "preview_fit.h"

namespace glim {

DrawSize previewDrawSize(int32_t paneWidth, int32_t paneHeight, int32_t pictureWidth,
                         int32_t pictureHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || paneWidth <= 0 || paneHeight <= 0) {
    return {0, 0};
  }
  const int64_t fitHeight = int64_t(paneWidth) * pictureHeight / pictureWidth;
  if (paneHeight < fitHeight) {
    // The picture fills the height; the width is then at most the pane's.
    return {static_cast<int32_t>(int64_t(paneHeight) * pictureWidth / pictureHeight), paneHeight};
  }
  return {paneWidth, static_cast<int32_t>(fitHeight)};  // fills the width
}

}  // namespace glim
