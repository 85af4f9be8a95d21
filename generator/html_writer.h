// The album's HTML pages: the overview page with a table of thumbnails and one detail page
// per picture. Page text is a pure function of the settings and entries; writing a page is
// a separate step that reports a failure through the user dialogs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "album.h"
#include "album_settings.h"
#include "user_dialogs.h"

namespace glim {

// The background colour as six upper-case hex digits, red, green, blue ("C0C0C0").
std::string htmlColorText(uint32_t rgb);

// A file name as it goes into an HREF or SRC value. Names stay as they are (spaces
// included) except for the bytes that would end the attribute, cut the link short or be
// read differently by a browser: '"', '#', '%', '&', '?', '\', control bytes and every byte
// above 127 become %XX, so a link reaches the file's exact bytes whatever the page's
// character set. A bare name (a link with no folder before it) also has ':' encoded, which
// would otherwise start a URL scheme, and a leading space, which a browser drops.
std::string htmlLinkName(std::string_view name, bool bare = false);

// The overview page's whole file content for `entries` in album order (PageName and MiniName
// are used).
std::string overviewPageText(const AlbumSettings& settings, std::span<const PictureEntry> entries);

// The detail page of entry `index` (0-based; std::out_of_range otherwise), linking to its
// neighbours' PageName and back to `overviewName` one folder up.
std::string detailPageText(const AlbumSettings& settings, std::span<const PictureEntry> entries,
                           std::size_t index, std::string_view overviewName);

// "Create HTML file: Couldn't create file <name> !"
MessageBox createHtmlErrorBox(std::string_view path);

// Writes `text` as the whole file `path`, or leaves the file as it was and gives false, with
// the failure's errno in `error` when given (0 when none is known). Shows nothing.
bool writePageFile(const std::string& path, std::string_view text, int* error = nullptr);

// Writes `text` as the whole file `path`, or leaves the file as it was. Any failure (folder
// missing or not writable, read-only file, disk full) shows createHtmlErrorBox and gives false.
bool writeHtmlPage(const std::string& path, std::string_view text, UserDialogs& dialogs);

bool writeOverviewPage(const std::string& path, const AlbumSettings& settings,
                       std::span<const PictureEntry> entries, UserDialogs& dialogs);
bool writeDetailPage(const std::string& path, const AlbumSettings& settings,
                     std::span<const PictureEntry> entries, std::size_t index,
                     std::string_view overviewName, UserDialogs& dialogs);

}  // namespace glim
