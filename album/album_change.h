// AlbumChange: one edit of the album's entries, kept so that it can be taken back and made
// again. Only the run of entries the edit touched is kept, so a long history of small edits
// on a long album stays small.
#pragma once

#include <cstdint>
#include <vector>

#include "album.h"

namespace glim {

struct AlbumChange {
  int32_t first = 0;                   // index of the first entry the edit touched
  std::vector<PictureEntry> removed;   // the entries from `first` on before the edit
  std::vector<PictureEntry> inserted;  // what stands in their place after it

  bool empty() const { return removed.empty() && inserted.empty(); }
};

// The change that turns `before` into `after`: everything between the entries both share at
// the start and at the end. Empty when they are equal.
AlbumChange changeBetween(const std::vector<PictureEntry>& before,
                          const std::vector<PictureEntry>& after);

// Makes the change again (`forward`) or takes it back. False, with the album untouched, when
// the album is too short to hold the entries the change replaces.
bool applyChange(Album& album, const AlbumChange& change, bool forward);

}  // namespace glim
