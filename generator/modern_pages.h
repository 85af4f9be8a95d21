// The album's pages in the modern style: HTML5 in UTF-8 for today's screens, with one style
// sheet per album. Same folders, file names and order as the classic pages; entries that got
// no files are left out, names are percent-encoded in links, and the user's texts are shown
// as text. Each page's text is a pure function of its inputs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "album.h"
#include "album_settings.h"
#include "picture_facts.h"

namespace glim {

enum class PageStyle { Classic, Modern };

// What a run learnt of each entry's files, beside the names in its PictureEntry.
struct ModernEntry {
  bool complete = false;     // the picture and its thumbnail were both written
  int32_t pictureWidth = 0;  // the picture as written to "pics"
  int32_t pictureHeight = 0;
  int32_t thumbWidth = 0;  // the normal thumbnail in "mini"
  int32_t thumbHeight = 0;
  std::string mini2Name;  // the thumbnail at twice the box, when one was made
  PictureFacts facts;
  // The picture at the ladder's widths below its own, smallest first: names in "pics" of the
  // JPEG and (where one was written) the AVIF file.
  struct Sized {
    int32_t width = 0, height = 0;
    std::string jpeg, avif;
  };
  std::vector<Sized> sized;
  std::string placeholder;  // a data URI shown while the picture loads; may be empty
  // A video clip: its MP4 file in "pics" (the picture is its poster) and its length.
  std::string clipName;
  double clipSeconds = 0;
};

// The widths of the detail pages' pictures beside the full-size one, and those also in AVIF.
inline constexpr int32_t kLadderWidths[] = {720, 1080, 1440, 2160};
inline constexpr int32_t kAvifWidths[] = {720, 1080};

// The page language for a locale name such as "de_DE.UTF-8" ("de-DE"); "en" for none, "C"
// and "POSIX".
std::string pageLanguage(std::string_view locale);
// From the environment's LC_ALL, LC_MESSAGES and LANG, the first one set.
std::string pageLanguageOfUser();

// The style sheet's name before the unique-name rule: "index.htm" gives "index" (".css").
std::string styleSheetBase(std::string_view overviewName);

// The first line of every style sheet a run writes: a file that starts with it is the
// program's own, to be replaced by the next run; any other is the user's and is kept.
inline constexpr std::string_view kStyleSheetFirstLine =
    "/* Album pages' style sheet, made by Glimmervellium: the next album run here replaces it. */";

// Every byte but unreserved ASCII (letters, digits, "-._~") as %XX.
std::string percentEncoded(std::string_view name);

// The album's text as UTF-8 (a text that is not UTF-8 is read as Windows-1252), with
// & < > and " escaped.
std::string escapedText(std::string_view albumText);

// The entries a modern page shows: those whose picture and thumbnail were both written.
std::vector<std::size_t> shownEntries(std::span<const ModernEntry> files);

// `styleSheet`: the style sheet's file name, beside the overview.
std::string modernOverviewText(const AlbumSettings& settings, std::span<const PictureEntry> entries,
                               std::span<const ModernEntry> files, std::string_view overviewName,
                               std::string_view styleSheet, std::string_view language);

// The detail page of entry `index`, one of `shown`, linking to its neighbours in `shown`.
std::string modernDetailText(const AlbumSettings& settings, std::span<const PictureEntry> entries,
                             std::span<const ModernEntry> files, std::span<const std::size_t> shown,
                             std::size_t index, std::string_view overviewName,
                             std::string_view styleSheet, std::string_view language);

// Starts with kStyleSheetFirstLine and a line end.
std::string modernStyleSheet(const AlbumSettings& settings);

}  // namespace glim
