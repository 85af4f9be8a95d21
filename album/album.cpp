#include "album.h"

#include <utility>
#include <vector>

namespace glim {

const std::string& PictureEntry::commentText() const {
  static const std::string empty;
  return Comment ? *Comment : empty;
}

void Album::append(std::string path) {
  PictureEntry entry;
  entry.FilePath = std::move(path);
  entries_.push_back(std::move(entry));
}

void Album::remove(int32_t index) {
  if (index < 0 || index >= EntryCount()) return;
  entries_.erase(entries_.begin() + index);
  if (entries_.empty()) entries_.shrink_to_fit();
}

void Album::removeSeveral(std::vector<int32_t> indexes) {
  // One pass over the entries: erasing one at a time moves the rest each time.
  std::vector<bool> gone(entries_.size(), false);
  for (int32_t index : indexes) {
    if (index >= 0 && index < EntryCount()) gone[static_cast<std::size_t>(index)] = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!gone[i]) {
      if (kept != i) entries_[kept] = std::move(entries_[i]);
      ++kept;
    }
  }
  entries_.resize(kept);
  if (entries_.empty()) entries_.shrink_to_fit();
}

void Album::swap(int32_t a, int32_t b) {
  if (a < 0 || b < 0 || a >= EntryCount() || b >= EntryCount()) return;
  std::swap(entries_[a], entries_[b]);
}

void Album::setComment(int32_t index, std::string text) {
  if (index < 0 || index >= EntryCount()) return;
  entries_[index].Comment = std::move(text);
}

void Album::setShowFlag(int32_t index, bool on) {
  if (index >= 0 && index < EntryCount()) entries_[index].ShowFlag = on;
}

void Album::setCheckMark(int32_t index, bool on) {
  if (index >= 0 && index < EntryCount()) entries_[index].CheckMark = on;
}

void Album::replaceRun(int32_t first, int32_t count, const std::vector<PictureEntry>& entries) {
  if (first < 0 || count < 0 || first > EntryCount() || count > EntryCount() - first) return;
  const auto at = entries_.begin() + first;
  entries_.insert(entries_.erase(at, at + count), entries.begin(), entries.end());
  if (entries_.empty()) entries_.shrink_to_fit();
}

void Album::DelallPics() {
  if (entries_.empty()) return;
  entries_.clear();
  entries_.shrink_to_fit();
}

}  // namespace glim
