// Path helpers by the platform's separators, and the window title rule.
#pragma once

#include <string>
#include <string_view>

namespace glim {

// True for a character that ends a folder part: '/' here; '\\', '/' and ':' on Windows.
bool isPathSeparator(char c);

// Everything up to and including the last separator; empty when there is none.
std::string folderPart(std::string_view path);

// Everything after the last separator.
std::string fileNamePart(std::string_view path);

// The folder with a trailing separator; empty stays empty.
std::string withTrailingSeparator(std::string_view folder);

// Two folder parts name the same folder (ASCII case ignored only where the file system does).
bool sameFolder(std::string_view a, std::string_view b);

// The main window's caption for an album file name (empty: never saved or opened).
std::string windowCaption(std::string_view savedFileName);

inline constexpr std::string_view kProductHeader = "Tulbrin Glimmervellium 1.0";
inline constexpr std::string_view kApplicationTitle = "Glimmervellium 1.0";

}  // namespace glim
