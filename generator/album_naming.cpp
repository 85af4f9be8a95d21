#include "album_naming.h"

#include <sys/stat.h>

#include <algorithm>

#include "paths.h"

namespace glim {

std::string pictureBaseName(std::string_view filePath) {
  std::string name = fileNamePart(filePath);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

ThumbnailSize thumbnailSize(int32_t pictureWidth, int32_t pictureHeight,
                            const AlbumSettings& settings) {
  // 64-bit products: a 65535-pixel side times a 1000-pixel box stays far inside.
  const int64_t W = std::max<int64_t>(pictureWidth, 1);
  const int64_t H = std::max<int64_t>(pictureHeight, 1);
  const int64_t boxWidth = kThumbSizeRange.clamp(settings.thumbWidth);
  const int64_t boxHeight = kThumbSizeRange.clamp(settings.thumbHeight);
  int64_t w = boxWidth;
  int64_t h = H * w / W;
  if (h > boxHeight) {
    h = boxHeight;
    w = h * W / H;
  }
  return {static_cast<int32_t>(std::max<int64_t>(w, 1)),
          static_cast<int32_t>(std::max<int64_t>(h, 1))};
}

bool FolderNames::present(const std::string& name) const {
  struct stat st {};
  return ::lstat((folder_ + name).c_str(), &st) == 0;
}

std::string FolderNames::take(std::string_view base, std::string_view extension) {
  const std::string plain = std::string(base) + std::string(extension);
  std::string name = plain;
  // Ends: the folder holds finitely many entries and this run handed out finitely many.
  // Names handed out in this run are compared without ASCII case: on a file system that
  // ignores case (a memory card, a network share) "Bild.HTM" and "bild.HTM" are one file.
  auto folded = [](std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return text;
  };
  for (uint64_t number = 0; present(name) || handedOut_.contains(folded(name)); ++number) {
    name = std::string(base) + std::to_string(number) + std::string(extension);
  }
  handedOut_.insert(folded(name));
  return name;
}

}  // namespace glim
