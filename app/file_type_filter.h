// The add page's file-type filter box: descriptions with their masks, read from the
// "description|mask|description|mask" string the codec library offers.
#pragma once

#include <QString>
#include <string_view>
#include <utility>
#include <vector>

namespace glim {

struct FileTypeChoice {
  QString description;
  QString mask;  // one or more patterns separated by ';'
  bool operator==(const FileTypeChoice&) const = default;
};

// The pairs of the string in order; a description without a mask gets an empty mask.
std::vector<FileTypeChoice> parseFileTypeFilter(std::string_view filter);

// The codec library's choices followed by "Video clips (...)" and "Pictures and video clips"
// (the first choice's patterns, taken as every picture's, and the clips').
std::vector<FileTypeChoice> withClipChoices(std::vector<FileTypeChoice> choices);

// The mask the file list should apply: that of the selected description; with none selected
// the last one's; with no descriptions at all "*.*".
QString currentFileMask(const std::vector<FileTypeChoice>& choices, int selected);

}  // namespace glim
