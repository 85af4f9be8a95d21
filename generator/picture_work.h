// The pixel work of album creation, done ahead of the run: per entry, the picture opened,
// promoted to 24 bits, written as JPEG and its thumbnail made and written, each file to a
// temporary name beside its final place. The run takes the results in album order and gives
// the files their names, so names, pages and messages come out as in a run on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "album_settings.h"
#include "picodec.h"
#include "picture_facts.h"
#include "picture_memory.h"
#include "temporary_file.h"

namespace glim {

// The cores this process may run on (its CPU affinity), at least 1.
int usableCores();

// Lets freed memory of up to 64 MB a block stay with the process, so that the next picture's
// codec and pixel memory is reused rather than mapped anew and zeroed by the kernel page by
// page. Called once at program start by the programs that create albums.
void keepFreedPictureMemory();

// The picture at one width of a page style's ladder, in the pictures folder under temporary
// names: a JPEG (none when it was not written, with the errno in jpegError) and, when asked
// for, an AVIF file.
struct SizedPicture {
  int32_t width = 0, height = 0;
  TemporaryFile jpeg;
  int jpegError = 0;
  TemporaryFile avif;
};

struct PictureWork {
  enum class Outcome {
    NotOpened,    // the codec library could not open the file
    NotPromoted,  // a depth that is not promoted to 24 bits: no files
    Done,
  };
  Outcome outcome = Outcome::NotOpened;
  // The JPEG in the pictures folder, under a temporary name; none when it was not written,
  // with the errno of the failed write, if the file was to blame, in pictureError.
  TemporaryFile picture;
  int pictureError = 0;
  bool thumbnailMade = false;
  TemporaryFile thumbnail;  // in the thumbnails folder; as the picture
  int thumbnailError = 0;
  // For the modern pages: the sizes written, the thumbnail at twice the box (only for a
  // picture at least that large) and the picture's EXIF facts.
  int32_t width = 0, height = 0;
  int32_t thumbWidth = 0, thumbHeight = 0;
  TemporaryFile thumbnail2x;
  PictureFacts facts;
  std::vector<SizedPicture> sized;  // the widths asked for below the picture's own, smallest first
  std::string placeholder;          // placeholderUri of the thumbnail, when asked for
  // A video clip's MP4 for the pages, under a temporary name (or kept by an update), and its
  // length in seconds.
  TemporaryFile clip;
  double clipSeconds = 0;
  bool besideOthers = false;  // another picture was worked on beside it
};

// The parts of an entry's files that its work makes: the thumbnails (with the placeholder), the
// picture at the ladder's widths, the picture itself.
enum PictureParts : char { kThumbnailParts = 1, kLadderPart = 2, kPicturePart = 4, kAllParts = 7 };

class PictureWorkers {
 public:
  // `threads` 0 does each entry's work on the calling thread when it is taken, with progress
  // going straight to the window; otherwise that many threads work ahead of the run, with
  // the pictures in flight together needing at most `memoryBudget` bytes (0: what the
  // process may use, defaultPictureMemory). A picture that does not fit the budget alone
  // runs with no other beside it, and one that fails beside others runs again alone.
  // `needed`, when given, holds the PictureParts each entry's work makes; 0: no work, and its
  // take gives an empty work at once.
  PictureWorkers(std::vector<std::string> filePaths, const AlbumSettings& settings,
                 std::string picsFolder, std::string miniFolder, int threads,
                 uint64_t memoryBudget = 0, PictureExtras extras = {},
                 std::function<void()> wake = {}, std::vector<char> needed = {});
  ~PictureWorkers();  // stops the threads; temporary files never taken are removed
  PictureWorkers(const PictureWorkers&) = delete;
  PictureWorkers& operator=(const PictureWorkers&) = delete;

  // The work of entry `index`, taken in album order. While it is not done, `idle` runs on the
  // calling thread every few milliseconds, or when `wake` was given, again each time wake is
  // called (idle may wait for it), and the entry's progress is passed on to `window`.
  PictureWork take(int32_t index, HWND window, const std::function<void()>& idle);

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};

}  // namespace glim
