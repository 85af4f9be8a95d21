#include "album_change.h"

#include <algorithm>

namespace glim {

AlbumChange changeBetween(const std::vector<PictureEntry>& before,
                          const std::vector<PictureEntry>& after) {
  const std::size_t shorter = std::min(before.size(), after.size());
  std::size_t head = 0;
  while (head < shorter && before[head] == after[head]) ++head;
  std::size_t tail = 0;
  while (tail < shorter - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  AlbumChange change;
  change.first = static_cast<int32_t>(head);
  change.removed.assign(before.begin() + static_cast<std::ptrdiff_t>(head),
                        before.end() - static_cast<std::ptrdiff_t>(tail));
  change.inserted.assign(after.begin() + static_cast<std::ptrdiff_t>(head),
                         after.end() - static_cast<std::ptrdiff_t>(tail));
  return change;
}

bool applyChange(Album& album, const AlbumChange& change, bool forward) {
  const std::vector<PictureEntry>& gone = forward ? change.removed : change.inserted;
  const std::vector<PictureEntry>& back = forward ? change.inserted : change.removed;
  if (change.first < 0 || change.first > album.EntryCount() ||
      gone.size() > static_cast<std::size_t>(album.EntryCount() - change.first)) {
    return false;
  }
  album.replaceRun(change.first, static_cast<int32_t>(gone.size()), back);
  return true;
}

}  // namespace glim
