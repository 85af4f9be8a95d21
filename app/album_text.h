// Conversion between the album's 8-bit texts and the window's strings. The locale's 8-bit
// encoding is UTF-8 here; a text that is not valid UTF-8 was written on a single-byte code
// page and is read as Windows-1252, so that it shows its letters instead of replacement marks.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace glim {

// The album's bytes as a string: UTF-8 when valid, otherwise Windows-1252.
QString albumText(std::string_view bytes);

// A string as the album's bytes (UTF-8).
std::string albumBytes(const QString& text);

// A file-system path as the album keeps it, and back.
std::string pathBytes(const QString& path);
QString pathText(std::string_view bytes);

}  // namespace glim
