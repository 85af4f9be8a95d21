#include "umlauts.h"

#include <cstdint>

namespace glim {
namespace {

// The entity of one of the seven letters given by its Latin-1 code, or nothing.
const char* entityForLatin1(unsigned char code) {
  switch (code) {
    case 196:
      return "&Auml;";
    case 214:
      return "&Ouml;";
    case 220:
      return "&Uuml;";
    case 223:
      return "&szlig;";
    case 228:
      return "&auml;";
    case 246:
      return "&ouml;";
    case 252:
      return "&uuml;";
    default:
      return nullptr;
  }
}

// The length of the well-formed sequence starting at `i`, or 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string ConvertUmlauts(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  if (isValidUtf8(text)) {
    // The seven letters all lie in U+00C0..U+00FF, written as 0xC3 and the code minus 0x40.
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char* entity = nullptr;
      if (static_cast<unsigned char>(text[i]) == 0xC3 && i + 1 < text.size())
        entity = entityForLatin1(static_cast<unsigned char>(text[i + 1] + 0x40));
      if (entity) {
        out += entity;
        ++i;
      } else {
        out += text[i];
      }
    }
  } else {
    for (const char c : text) {
      const char* entity = entityForLatin1(static_cast<unsigned char>(c));
      if (entity)
        out += entity;
      else
        out += c;
    }
  }
  return out;
}

}  // namespace glim
