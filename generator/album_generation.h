// Album creation: the overview file's save dialog, the output folder, and the run that writes
// every picture, thumbnail and page. The window's create button and the command-line builder
// both run this code; it talks to the user only through UserDialogs and reports the codec
// library's progress to the window handle it is given.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "album.h"
#include "album_settings.h"
#include "modern_pages.h"
#include "output_folder.h"
#include "picodec.h"
#include "user_dialogs.h"

namespace glim {

inline constexpr std::string_view kOverviewFilter = "HTML Dateien (*.htm)|*.htm; *.html";
inline constexpr std::string_view kOverviewExtension = "htm";

// The save dialog for the overview page: the filter above, default extension "htm", no
// question when the file exists (it is replaced).
FileDialogRequest overviewDialogRequest(std::string initialFolder = {});

// Shows SaveDialog2; the chosen overview path, or nothing when it was cancelled.
std::optional<std::string> SaveDialog2(UserDialogs& dialogs, std::string initialFolder = {});

// The output folder F for a chosen overview path: its folder part without the trailing
// separator (the root keeps it), or `programDir` when the path has no folder part.
std::string outputFolderFor(std::string_view overviewPath, std::string_view programDir);

MessageBox folderErrorBox();                                // "Could not create the folder!"
MessageBox pictureOpenErrorBox(std::string_view filePath);  // no caption
MessageBox pictureWriteErrorBox(std::string_view path);     // no caption, like the one above
MessageBox folderBusyBox(std::string_view folder);  // "... is being created by another run."
MessageBox overviewIsFolderBox(std::string_view overviewPath);
MessageBox outputFailureBox(std::string_view folder, OutputProblem problem);
MessageBox stopRunBox();
MessageBox untrustedRecordBox(std::string_view folder);  // an update's record cannot be trusted  // "Stop creating the album?", OK and Cancel, asked on Escape

// Called before each picture is opened: its number (1 to count) and the entry count.
using PictureStarted = std::function<void(int32_t number, int32_t count)>;

// How a run does its pixel work.
struct CreationOptions {
  // Threads that open, convert, scale and write pictures ahead of the run; 0 does it all on
  // the calling thread. The output is the same either way.
  int threads = 0;
  // Runs on the calling thread every few milliseconds while the run waits for a picture.
  std::function<void()> idle;
  // When given, `idle` may wait until this is called: the run calls it, from any thread, as
  // soon as a picture is done or its progress moves. So a window answers at once rather than
  // every few milliseconds.
  std::function<void()> wake;
  // Memory for the pictures the threads hold at once; 0: from what the process may use.
  uint64_t memoryBudget = 0;
  // Classic: the pages exactly as they have always been. Modern: HTML5 pages with a style
  // sheet beside the overview, thumbnails at twice the box too, and the pictures' EXIF facts;
  // detail pages are written once every picture is done, so that they link only to pictures
  // that got their files.
  PageStyle style = PageStyle::Classic;
  // Asked between pictures and pages (on the calling thread): true stops the run as a
  // termination signal does, without ending the program: the files written stay whole and no
  // overview is written.
  std::function<bool()> stopRequested;
  // Updates the album in its folder rather than adding new files beside an earlier run's:
  // the folder ends as a run into a folder of only the user's files would leave it, with only
  // the work whose inputs changed done (album_update.h).
  bool update = false;
};

// The per-picture step of a run into `folder` (ending in a separator): makes the folders
// "mini", "pics" and "html", gives every entry its PageName, then per entry in album order
// opens the picture, promotes it to 24 bits, writes it to "pics", writes its detail page,
// and writes its thumbnail to "mini", setting PicsName and MiniName as the files are written.
// `window` (may be null) receives the codec library's progress.
void CreatePictureFiles(Album& album, const AlbumSettings& settings, const std::string& folder,
                        std::string_view overviewName, UserDialogs& dialogs, HWND window,
                        const PictureStarted& pictureStarted = {},
                        const CreationOptions& options = {});

struct GenerationOutcome {
  // false: nothing was written, and one message said why: the output folder could not be
  // made, another run is creating an album into it, or the overview path names a folder.
  bool folderMade = false;
  // true: the output location took no more files (disk full, read-only, ...); one message
  // said so, the run stopped there and no overview was written.
  bool outputFailed = false;
  bool overviewWritten = false;  // true: show overviewPath and make the result page active
  bool stopped = false;          // the run was asked to stop (CreationOptions::stopRequested)
  std::string overviewPath;      // output folder + overview name
};

// The whole run for an overview path already chosen: output folder (falling back to
// `programDir`) held for this run alone and cleared of killed runs' temporary files,
// CreatePictureFiles, the overview page, and the work fields released at the end. Every
// failure is shown through `dialogs`; the run itself never throws for bad input. On a
// termination signal it stops between pictures and ends the program (see termination.h).
GenerationOutcome GenerateAlbum(Album& album, const AlbumSettings& settings,
                                const std::string& overviewPath, const std::string& programDir,
                                UserDialogs& dialogs, HWND window,
                                const PictureStarted& pictureStarted = {},
                                const CreationOptions& options = {});

}  // namespace glim
