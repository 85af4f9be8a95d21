#include "paths.h"

namespace glim {

bool isPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

static std::size_t afterLastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (isPathSeparator(path[i - 1])) return i;
  }
  return 0;
}

std::string folderPart(std::string_view path) {
  return std::string(path.substr(0, afterLastSeparator(path)));
}

std::string fileNamePart(std::string_view path) {
  return std::string(path.substr(afterLastSeparator(path)));
}

std::string withTrailingSeparator(std::string_view folder) {
  std::string result(folder);
  if (!result.empty() && !isPathSeparator(result.back())) {
#ifdef _WIN32
    result += '\\';
#else
    result += '/';
#endif
  }
  return result;
}

bool sameFolder(std::string_view a, std::string_view b) {
#ifdef _WIN32
  if (a.size() != b.size()) return false;
  auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
#else
  return a == b;
#endif
}

std::string windowCaption(std::string_view savedFileName) {
  std::string caption(kProductHeader);
  if (savedFileName.empty()) return caption + " - [noname.lmf]";
  return caption + " - [" + fileNamePart(savedFileName) + "]";
}

}  // namespace glim
