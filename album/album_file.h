// The album file (.lmf): a fixed header, the entries, then the creation settings, written
// and read strictly in sequence. Reading checks the whole file before the album is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "album.h"
#include "album_settings.h"
#include "user_dialogs.h"

namespace glim {

// The file's bytes for these entries and settings, with the path rule applied for `albumPath`.
std::string encodeAlbumFile(const std::vector<PictureEntry>& entries, const AlbumSettings& settings,
                            std::string_view albumPath);

struct DecodedAlbum {
  std::vector<PictureEntry> entries;
  AlbumSettings settings;  // numbers clamped to their ranges
};

// Parses a whole file; nothing when it is not a complete, well-formed album file.
std::optional<DecodedAlbum> decodeAlbumFile(std::string_view bytes, std::string_view albumPath);

MessageBox saveErrorBox(std::string_view path);
MessageBox openErrorBox(std::string_view path);
MessageBox invalidFileBox();

// SaveFile: writes the album whole or not at all. On success sets the album file name and
// returns nothing; otherwise returns the save error and changes nothing.
std::optional<MessageBox> SaveFile(Album& album, const AlbumSettings& settings,
                                   const std::string& path);

// OpenFile: replaces entries and settings by the file's content and sets the album file name.
// On any failure returns the message to show and leaves album and settings as they were.
std::optional<MessageBox> OpenFile(Album& album, AlbumSettings& settings, const std::string& path);

}  // namespace glim
