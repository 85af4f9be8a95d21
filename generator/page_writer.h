// The seam between an album run and the style of its pages. The run makes the folders, names
// and places every picture and thumbnail, and calls its page writer at fixed points; the
// writer decides which pages are written when, and owns every file its style adds (a style
// sheet, thumbnails at twice the box, the pictures at a ladder of widths).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "album.h"
#include "album_naming.h"
#include "album_settings.h"
#include "album_update.h"
#include "modern_pages.h"
#include "picture_work.h"
#include "user_dialogs.h"

namespace glim {

// The run's folders and the failures of its writes: a file's own failure is reported and the
// run goes on; a failure of the output location (full, read-only, ...) is reported once and
// stops the run.
class RunOutput {
 public:
  // `folder` ends in a separator; `shownFolder` is how messages name it.
  RunOutput(UserDialogs& dialogs, std::string folder, std::string shownFolder);

  const std::string& folder() const { return folder_; }
  FolderNames pics, mini;
  const std::string htmlFolder;

  // A write into `folder` failed with `error` (errno, 0 when unknown); false: stop the run.
  bool report(const MessageBox& fileBox, const std::string& folder, int error);
  bool stopped() const { return stopped_; }

  // Gives `file` (written ahead, or not at all with `writeError` its errno) the free name
  // `base` + `extension` in `names`, in `name`. False: the output location failed.
  // `written` tells whether the file took its name; a failure is reported with its name.
  bool place(TemporaryFile& file, int writeError, FolderNames& names, std::string_view base,
             std::string_view extension, std::string& name, bool& written);
  // Writes a page; a failure is reported. False: the output location failed.
  bool writePage(const std::string& path, std::string_view text);
  // Writes a page without reporting; false with the errno in `error` when it failed.
  bool writeFile(const std::string& path, std::string_view text, int& error);

  // An update's bookkeeping when the run updates an album in place (album_update.h): names
  // taken over from the earlier album, files kept, pages equal to the file there left alone.
  AlbumUpdate* update = nullptr;

 private:
  // An update's first change writes its record of claimed names first; a failure is reported
  // with the record's name. False: the output location failed.
  bool beforeChange();

  UserDialogs& dialogs_;
  std::string folder_;
  std::string shownFolder_;
  bool stopped_ = false;
};

class PageWriter {
 public:
  virtual ~PageWriter() = default;

  // What the workers make of each picture beside the picture and its thumbnail.
  virtual PictureExtras extras() const = 0;
  // Before any page: the names of the files the pages share.
  virtual void begin(RunOutput& output) { (void)output; }
  // After begin: the names of those files (beside the overview).
  virtual std::vector<std::string> sharedFiles() const { return {}; }
  // Entry `index` has its picture named (PicsName), before its thumbnail. False: stop.
  virtual bool pictureNamed(std::size_t index, RunOutput& output) = 0;
  // Entry `index` has its thumbnail named (MiniName, empty when none was made): the writer's
  // own files of it, from `work`. False: stop.
  virtual bool entryDone(std::size_t index, PictureWork& work, bool pictureWritten,
                         bool thumbnailWritten, RunOutput& output) = 0;
  // Every picture is done: pages that need them all. `stop` is asked between pages.
  virtual void picturesDone(RunOutput& output, const std::function<bool()>& stop) = 0;
  // The overview at `path` and the files that go with it; false when the overview was not
  // written (with its errno in `error`; other files' failures are reported here).
  virtual bool writeOverview(const std::string& path, RunOutput& output, int& error) = 0;
};

// The writer of `style` for a run of `album` with its overview `overviewName`; the album and
// the settings must outlive it.
std::unique_ptr<PageWriter> pageWriterFor(PageStyle style, const Album& album,
                                          const AlbumSettings& settings,
                                          std::string_view overviewName);
// What the modern style makes of each picture beside the picture and its thumbnail.
PictureExtras modernPictureExtras();
std::unique_ptr<PageWriter> modernPageWriter(const Album& album, const AlbumSettings& settings,
                                             std::string_view overviewName);

}  // namespace glim
