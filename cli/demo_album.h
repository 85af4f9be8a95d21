// The demo album of the command-line builder: a few pictures it paints itself and an album
// file that lists them, so that the main job can be shown on a machine with no pictures
// and no display.
#pragma once

#include <optional>
#include <string>

namespace glim {

// Paints the demo pictures into `folder` + "pictures/" and writes `folder` + "demo.lmf"
// (folder ends in a separator; it and its parents are made). The album file's path, or
// nothing when a file could not be written (`error` then says which).
std::optional<std::string> makeDemoAlbum(const std::string& folder, std::string& error);

}  // namespace glim
