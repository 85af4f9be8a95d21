// The conversion of the seven German letters into HTML entities, used on the page captions
// and the overview's free text.
#pragma once

#include <string>
#include <string_view>

namespace glim {

// True when `text` is well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no cut-off sequence. Plain ASCII is well-formed.
bool isValidUtf8(std::string_view text);

// Replaces Ä Ö Ü ß ä ö ü by &Auml; &Ouml; &Uuml; &szlig; &auml; &ouml; &uuml; and copies
// everything else. Well-formed UTF-8 is converted by the letters' two-byte forms, so no
// other character is ever split; any other text is taken as a single-byte Western text
// (an album written on such a code page) and converted byte by byte.
std::string ConvertUmlauts(std::string_view text);

}  // namespace glim
