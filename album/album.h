// The album: the ordered picture entries the application edits, and the names that go with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glim {

// One picture of the album. Texts are the album's 8-bit bytes.
struct PictureEntry {
  std::string FilePath;
  bool ShowFlag = true;                // write the comment on the detail page
  bool CheckMark = true;               // the comments list's check mark
  std::optional<std::string> Comment;  // absent and empty mean the same
  // Work fields of album creation only; meaningless outside a run.
  std::string PageName;
  std::string MiniName;
  std::string PicsName;

  const std::string& commentText() const;
  bool operator==(const PictureEntry&) const = default;
};

class Album {
 public:
  std::string SavedFileName;    // full path of the album file; empty: "noname"
  std::string PreviewFileName;  // picture shown in the preview; empty until one is loaded
  std::string ProgramDir;       // the executable's folder, with a trailing separator
  bool Updating = false;        // the comment fields are being filled from an entry

  int32_t EntryCount() const { return static_cast<int32_t>(entries_.size()); }
  const std::vector<PictureEntry>& entries() const { return entries_; }
  const PictureEntry& entry(int32_t index) const { return entries_.at(index); }
  PictureEntry& entry(int32_t index) { return entries_.at(index); }

  // A new last entry: show flag and check mark on, no comment.
  void append(std::string path);
  void remove(int32_t index);
  // Removes the entries at the given indexes (as they are before the call) in one pass;
  // duplicates and bad indexes are ignored.
  void removeSeveral(std::vector<int32_t> indexes);
  // Exchanges two whole entries.
  void swap(int32_t a, int32_t b);
  void setComment(int32_t index, std::string text);
  void setShowFlag(int32_t index, bool on);
  void setCheckMark(int32_t index, bool on);
  // Empties the entries; settings and file names stay.
  void DelallPics();
  // Replaces every entry at once (an album file that was read whole).
  void replaceEntries(std::vector<PictureEntry> entries) { entries_ = std::move(entries); }
  // Puts `entries` in the place of the `count` entries from `first` on; a run that does not lie
  // within the album changes nothing.
  void replaceRun(int32_t first, int32_t count, const std::vector<PictureEntry>& entries);
  void Setsavedfilename(std::string path) { SavedFileName = std::move(path); }

 private:
  std::vector<PictureEntry> entries_;
};

}  // namespace glim
