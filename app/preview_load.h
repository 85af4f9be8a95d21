// What the preview loader shows when the codec library could not open a file.
#pragma once

#include <string>
#include <string_view>

#include "picodec.h"
#include "user_dialogs.h"

namespace glim {

// The library's error text in a record whose open failed: the NUL-terminated bytes at the
// start of PaletteEntries, never read past the end of that area.
std::string libraryErrorText(const DibImage& failed);

// The box for a failed open of `path`: the library's text with the file named in the caption
// when that text is longer than 5 characters, otherwise the generic text with the caption
// "Error". OK button, no icon.
MessageBox previewLoadErrorBox(std::string_view libraryText, std::string_view path);

}  // namespace glim
