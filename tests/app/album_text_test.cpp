// The album's bytes as the window shows them: UTF-8 when valid, Windows-1252 otherwise.
#include "album_text.h"

#include <string>

#include "gtest/gtest.h"
#include "umlauts.h"

namespace glim {
namespace {

TEST(IsValidUtf8, AcceptsWellFormedAndRefusesMalformedSequences) {
  struct Case {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ASCII", true},
      {"Gr\xC3\xBC\xC3\x9F", true},  // Grüß
      {"\xE2\x82\xAC 5", true},      // € 5
      {"\xF0\x9F\x93\xB7", true},    // a camera, four bytes
      {"Gr\xFC\xDF", false},         // Grüß on a single-byte code page
      {"\x80", false},               // a lone continuation byte
      {"\xC3", false},               // cut short at the end
      {"\xC3(", false},              // lead byte without its continuation
      {"\xC0\xAF", false},           // overlong '/'
      {"\xE0\x80\xAF", false},       // overlong, three bytes
      {"\xED\xA0\x80", false},       // a surrogate
      {"\xF4\x90\x80\x80", false},   // past U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {std::string("a\0b", 3), true},  // NUL is a character like any other
  };
  for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.bytes;
}

TEST(AlbumText, ReadsUtf8AsUtf8) {
  EXPECT_EQ(albumText("Gr\xC3\xBC\xC3\x9F"), QString::fromUtf8("Grüß"));
  EXPECT_EQ(albumText("\xE2\x82\xAC"), QString(QChar(0x20AC)));
}

TEST(AlbumText, ReadsOtherBytesAsWindows1252) {
  EXPECT_EQ(albumText("Gr\xFC\xDF"), QString::fromUtf8("Grüß"));
  EXPECT_EQ(albumText("\x80 \x84\x93\x94 \x9F"), QString::fromUtf8("€ „“” Ÿ"));
  // The five unassigned bytes become the control characters of the same value.
  EXPECT_EQ(albumText("\x81\xFF").at(0), QChar(0x81));
  EXPECT_EQ(albumText("\x81\xFF").at(1), QChar(0xFF));
  EXPECT_FALSE(albumText("caf\xE9").contains(QChar::ReplacementCharacter));
}

TEST(AlbumText, SingleByteTextKeepsItsLettersWhenWrittenBack) {
  const std::string written =
      albumBytes(albumText("Sch\xF6ne Gr\xFC\xDF"
                           "e"));
  EXPECT_EQ(written,
            "Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(albumText(written), albumText("Sch\xF6ne Gr\xFC\xDF"
                                          "e"));
}

TEST(PathText, RoundTripsUtf8Paths) {
  const std::string path = "/home/anna/Bilder/K\xC3\xA4tzchen.jpg";
  EXPECT_EQ(pathBytes(pathText(path)), path);
}

}  // namespace
}  // namespace glim
