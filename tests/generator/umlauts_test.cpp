// ConvertUmlauts on UTF-8 text and on single-byte Western text.
#include <gtest/gtest.h>

#include <string>

#include "umlauts.h"

namespace glim {
namespace {

struct Case {
  std::string in;
  std::string out;
};

TEST(ConvertUmlauts, SevenLettersAsUtf8) {
  const Case cases[] = {
      {"", ""},
      {"plain <B>ASCII</B> & more", "plain <B>ASCII</B> & more"},
      {"\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F\xC3\xA4\xC3\xB6\xC3\xBC",
       "&Auml;&Ouml;&Uuml;&szlig;&auml;&ouml;&uuml;"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr&uuml;&szlig;e"},
      // Other letters of U+00C0..U+00FF share the lead byte and stay whole.
      {"Caf\xC3\xA9 \xC3\x85se \xC3\xBF", "Caf\xC3\xA9 \xC3\x85se \xC3\xBF"},
      // Second bytes equal to the letters' ones, after another lead byte, are not touched:
      // U+0144 is C5 84, U+0136 is C4 B6, U+20AC is E2 82 AC.
      {"\xC5\x84\xC4\xB6 \xE2\x82\xAC \xC3\xB6", "\xC5\x84\xC4\xB6 \xE2\x82\xAC &ouml;"},
      // U+00C4 inside a longer character, as its Latin-1 bytes would be, is not a letter.
      {"\xC4\x84", "\xC4\x84"},  // U+0104, lead byte 196 = Latin-1 capital A umlaut
      {"\xF0\x9F\x98\x80\xC3\x9C", "\xF0\x9F\x98\x80&Uuml;"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertUmlauts(c.in), c.out) << c.in;
}

TEST(ConvertUmlauts, SingleByteTextByTheTable) {
  const Case cases[] = {
      {"\xC4\xD6\xDC\xDF\xE4\xF6\xFC", "&Auml;&Ouml;&Uuml;&szlig;&auml;&ouml;&uuml;"},
      {"Gr\xFC\xDF"
       "e",
       "Gr&uuml;&szlig;e"},
      // Every other byte is copied, including the rest of the upper half.
      {"\xE9t\xE9 \x80 \xFF \xC3", "\xE9t\xE9 \x80 \xFF \xC3"},
      // One stray byte makes the whole text single-byte: a UTF-8-looking pair is copied.
      {"\xC3\xBC \xFC", "\xC3\xBC &uuml;"},
      {std::string("a\0\xE4", 3), std::string("a\0&auml;", 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertUmlauts(c.in), c.out) << c.in;
}

TEST(ConvertUmlauts, EveryByteValueOutsideTheTableIsCopied) {
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    const bool letter =
        b == 196 || b == 214 || b == 220 || b == 223 || b == 228 || b == 246 || b == 252;
    if (letter)
      EXPECT_EQ(ConvertUmlauts(in).front(), '&') << b;
    else
      EXPECT_EQ(ConvertUmlauts(in), in) << b;
  }
}

TEST(IsValidUtf8, AcceptsWellFormedAndRefusesTheRest) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("ASCII"));
  EXPECT_TRUE(
      isValidUtf8("\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xEF\xBF\xBF \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF"));
  EXPECT_FALSE(isValidUtf8("\xC0\x80"));          // overlong NUL
  EXPECT_FALSE(isValidUtf8("\xC1\xBF"));          // overlong
  EXPECT_FALSE(isValidUtf8("\xE0\x9F\xBF"));      // overlong three-byte form
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(isValidUtf8("\xF0\x8F\xBF\xBF"));  // overlong four-byte form
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(isValidUtf8("\xF5\x80\x80\x80"));
  EXPECT_FALSE(isValidUtf8("\x80"));   // continuation without a lead
  EXPECT_FALSE(isValidUtf8("a\xC3"));  // cut off at the end
  EXPECT_FALSE(isValidUtf8("\xE2\x82"));
  EXPECT_FALSE(isValidUtf8("\xE2\x82 "));  // cut off before a space
  EXPECT_FALSE(isValidUtf8("\xF0\x9F\x98"));
}

}  // namespace
}  // namespace glim
