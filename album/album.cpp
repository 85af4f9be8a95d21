#include "album.h"

#include <algorithm>
#include <functional>

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
  std::sort(indexes.begin(), indexes.end(), std::greater<>());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  for (int32_t index : indexes) remove(index);
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

void Album::DelallPics() {
  if (entries_.empty()) return;
  entries_.clear();
  entries_.shrink_to_fit();
}

}  // namespace glim
