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

namespace {

// On a file system that ignores case (a memory card, a network share) "Bild.HTM" and
// "bild.HTM" are one file, so names handed out are kept and compared in this form.
std::string folded(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return text;
}

// A key that keeps base and extension apart: "ab" + ".c" is not "a" + "b.c".
std::string numberKey(std::string_view base, std::string_view extension) {
  std::string key = std::to_string(base.size());
  key += ':';
  key += base;
  key += extension;
  return key;
}

// base + number + extension within the longest name a file system takes, the base cut where
// needed; a cut never leaves part of a UTF-8 character (at most its 3 continuation bytes go).
std::string fitted(std::string_view base, const std::string& number, std::string_view extension) {
  constexpr std::size_t kMax = FolderNames::kMaxFileName;
  const std::size_t fixed = number.size() + extension.size();
  std::size_t keep = base.size();
  if (fixed + keep > kMax) {
    keep = fixed < kMax ? kMax - fixed : 0;
    for (int i = 0; i < 3 && keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80;
         ++i) {
      --keep;
    }
  }
  std::string name(base.substr(0, keep));
  name += number;
  name += extension;
  return name;
}

}  // namespace

bool FolderNames::present(const std::string& name) const {
  struct stat st {};
  return ::lstat((folder_ + name).c_str(), &st) == 0;
}

bool FolderNames::handedOut(const std::string& name) const {
  return handedOut_.contains(folded(name));
}

std::string FolderNames::take(std::string_view base, std::string_view extension) {
  // The list of names handed out is asked first: it costs no system call.
  std::string name = fitted(base, {}, extension);
  if (handedOut(name) || present(name)) {
    const std::string prefix(base);
    const std::string suffix(extension);
    auto numbered = [&](uint64_t number) { return fitted(prefix, std::to_string(number), suffix); };
    uint64_t& anyCase = nextNumberAnyCase_[numberKey(folded(prefix), folded(suffix))];
    while (handedOut(numbered(anyCase))) ++anyCase;
    uint64_t& exact = nextNumber_[numberKey(prefix, suffix)];
    // Ends: the folder holds finitely many entries and this run handed out finitely many.
    uint64_t number = std::max(exact, anyCase);
    for (name = numbered(number); handedOut(name) || present(name); name = numbered(number)) {
      ++number;
    }
    exact = number + 1;
    if (anyCase == number) anyCase = number + 1;
  }
  handedOut_.insert(folded(name));
  return name;
}

std::string FolderNames::take(std::string_view base, std::string_view extension,
                              const std::function<bool(const std::string& path)>& replaceable) {
  // Searched from 0 each time: this take is rare (one a run), and the numbers kept for the
  // plain take assume that every entry present is taken.
  const auto free = [&](const std::string& name) {
    return !handedOut(name) && (!present(name) || replaceable(folder_ + name));
  };
  std::string name = fitted(base, {}, extension);
  for (uint64_t number = 0; !free(name); ++number) {
    name = fitted(base, std::to_string(number), extension);
  }
  handedOut_.insert(folded(name));
  return name;
}

std::vector<std::string> FolderNames::firstFree(
    std::string_view base, std::string_view extension, std::size_t count,
    const std::function<bool(const std::string& path)>& replaceable) const {
  std::vector<std::string> names;
  std::string name = fitted(base, {}, extension);
  for (uint64_t number = 0; names.size() < count; ++number) {
    if (!present(name) || replaceable(folder_ + name)) names.push_back(name);
    name = fitted(base, std::to_string(number), extension);
  }
  return names;
}

void FolderNames::reserve(std::string_view name) {
  handedOut_.insert(folded(std::string(name)));
}

}  // namespace glim
