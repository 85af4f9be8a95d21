#include "album_generation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

#include "album_naming.h"
#include "html_writer.h"
#include "output_folder.h"
#include "page_writer.h"
#include "paths.h"
#include "picture_work.h"
#include "temporary_file.h"
#include "termination.h"
#include "web_clip.h"

namespace glim {
namespace {

bool makeFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

// An overview path that is a folder, or will be one (the run's own "pics", "mini" and "html",
// in any case): no page can be written there, so the run does not start.
bool namesFolder(const std::string& folder, const std::string& overviewName) {
  struct stat info {};
  if (::stat((folder + overviewName).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  std::string name = overviewName;
  for (char& c : name) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return name == "pics" || name == "mini" || name == "html";
}

// Steps 3.1 to 3.8 for entry `index`, with its pixel work done: picture, detail page,
// thumbnail, named and reported in album order; the page writer places its own files. False:
// the output location failed.
bool placeFilesOfEntry(Album& album, std::size_t index, RunOutput& output, PageWriter& writer,
                       UserDialogs& dialogs, PictureWork& work) {
  PictureEntry& entry = album.entry(static_cast<int32_t>(index));
  entry.MiniName.clear();
  entry.PicsName.clear();
  // Temporary files not given a name here go with `work`.
  if (work.outcome == PictureWork::Outcome::NotOpened) {
    dialogs.showMessage(isClipFile(entry.FilePath) ? clipOpenErrorBox(entry.FilePath)
                                                   : pictureOpenErrorBox(entry.FilePath));
    return true;
  }
  if (work.outcome == PictureWork::Outcome::NotPromoted) return true;  // 16 and 32 bits

  const std::string base = pictureBaseName(entry.FilePath);
  // A picture that could not be written is reported; its name is still used by the pages, and
  // the detail page and thumbnail are still made, so the album is whole but for that file.
  bool pictureWritten = false;
  if (!output.place(work.picture, work.pictureError, output.pics, base, ".JPG", entry.PicsName,
                    pictureWritten) ||
      !writer.pictureNamed(index, output)) {
    return false;
  }
  if (!work.thumbnailMade) return true;
  bool thumbnailWritten = false;
  return output.place(work.thumbnail, work.thumbnailError, output.mini, base, ".JPG",
                      entry.MiniName, thumbnailWritten) &&
         writer.entryDone(index, work, pictureWritten, thumbnailWritten, output);
}

// A termination signal, or the caller, asks the run to stop.
bool stopAsked(const CreationOptions& options) {
  return terminationRequested() || (options.stopRequested && options.stopRequested());
}

// The run proper: CreatePictureFiles with its writes going to `output` and its pages to
// `writer`.
void createPictureFiles(Album& album, const AlbumSettings& settings, RunOutput& output,
                        PageWriter& writer, UserDialogs& dialogs, HWND window,
                        const PictureStarted& pictureStarted, const CreationOptions& options) {
  // A folder that cannot be made shows up as the first file meant for it failing.
  for (const std::string* sub : {&output.mini.folder(), &output.pics.folder(), &output.htmlFolder})
    makeFolder(*sub);

  // Page names first: every detail page links to its neighbours' pages. Names are kept
  // distinct within the run too, so two pictures of the same name get a page each.
  FolderNames pages(output.htmlFolder);
  for (int32_t i = 0; i < album.EntryCount(); ++i) {
    PictureEntry& entry = album.entry(i);
    entry.PageName = pages.take(pictureBaseName(entry.FilePath), ".HTM");
  }
  writer.begin(output);

  const int32_t count = album.EntryCount();
  std::vector<std::string> paths;
  paths.reserve(static_cast<std::size_t>(count));
  for (const PictureEntry& entry : album.entries()) paths.push_back(entry.FilePath);
  PictureWorkers workers(std::move(paths), settings, output.pics.folder(), output.mini.folder(),
                         options.threads, options.memoryBudget, writer.extras(), options.wake);
  for (int32_t i = 0; i < count && !stopAsked(options); ++i) {
    if (pictureStarted) pictureStarted(i + 1, count);
    PictureWork work = workers.take(i, window, options.idle);
    if (!placeFilesOfEntry(album, static_cast<std::size_t>(i), output, writer, dialogs, work)) {
      return;  // the workers remove what they wrote ahead
    }
  }
  if (!stopAsked(options)) writer.picturesDone(output, [&options] { return stopAsked(options); });
}

}  // namespace

FileDialogRequest overviewDialogRequest(std::string initialFolder) {
  FileDialogRequest request;
  request.filter = std::string(kOverviewFilter);
  request.defaultExtension = std::string(kOverviewExtension);
  request.initialFolder = std::move(initialFolder);
  request.askOverwrite = false;
  return request;
}

std::optional<std::string> SaveDialog2(UserDialogs& dialogs, std::string initialFolder) {
  std::optional<std::string> chosen =
      dialogs.saveFileName(overviewDialogRequest(std::move(initialFolder)));
  if (chosen && chosen->empty()) return std::nullopt;
  return chosen;
}

std::string outputFolderFor(std::string_view overviewPath, std::string_view programDir) {
  std::string folder = folderPart(overviewPath);
  if (folder.empty()) return std::string(programDir);
  // The root keeps its separator; any other folder loses the trailing ones.
  while (folder.size() > 1 && isPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

MessageBox folderErrorBox() {
  return errorBox("Could not create the folder!");
}

MessageBox pictureOpenErrorBox(std::string_view filePath) {
  return {"Error: Couldn't open file: " + std::string(filePath), "", MessageButtons::Ok,
          MessageIcon::Error};
}

MessageBox pictureWriteErrorBox(std::string_view path) {
  return {"Error: Couldn't write file: " + std::string(path), "", MessageButtons::Ok,
          MessageIcon::Error};
}

MessageBox folderBusyBox(std::string_view folder) {
  return errorBox("Could not create the album: " + std::string(folder) +
                  " is being created by another run.");
}

MessageBox overviewIsFolderBox(std::string_view overviewPath) {
  return errorBox("Could not create the album: " + std::string(overviewPath) +
                  " names a folder, not an overview page.");
}

MessageBox outputFailureBox(std::string_view folder, OutputProblem problem) {
  return errorBox("Could not create the album in " + std::string(folder) + ": " +
                  outputProblemText(problem) +
                  ". The run was stopped; the files written so far are whole.");
}

MessageBox stopRunBox() {
  return {"Stop creating the album?", "Glimmervellium", MessageButtons::OkCancel,
          MessageIcon::Information};
}

void CreatePictureFiles(Album& album, const AlbumSettings& input, const std::string& folder,
                        std::string_view overviewName, UserDialogs& dialogs, HWND window,
                        const PictureStarted& pictureStarted, const CreationOptions& options) {
  AlbumSettings settings = input;
  settings.clampAll();
  RunOutput output(dialogs, folder, folder);
  const std::unique_ptr<PageWriter> writer =
      pageWriterFor(options.style, album, settings, overviewName);
  createPictureFiles(album, settings, output, *writer, dialogs, window, pictureStarted, options);
}

GenerationOutcome GenerateAlbum(Album& album, const AlbumSettings& input,
                                const std::string& overviewPath, const std::string& programDir,
                                UserDialogs& dialogs, HWND window,
                                const PictureStarted& pictureStarted,
                                const CreationOptions& options) {
  AlbumSettings settings = input;
  settings.clampAll();
  GenerationOutcome outcome;

  const std::string overviewName = fileNamePart(overviewPath);
  if (overviewName.empty() && !overviewPath.empty()) {
    dialogs.showMessage(overviewIsFolderBox(overviewPath));
    return outcome;
  }
  const std::string folder = outputFolderFor(overviewPath, programDir);
  if (!folder.empty() && namesFolder(withTrailingSeparator(folder), overviewName)) {
    dialogs.showMessage(overviewIsFolderBox(overviewPath));
    return outcome;
  }
  if (folder.empty() || !makeFolder(folder)) {
    dialogs.showMessage(folderErrorBox());
    return outcome;
  }
  // The folder is this run's until it ends: a second run into it would take the same names.
  FolderLock lock;
  const FolderLock::Result locked = lock.lock(folder);
  if (locked == FolderLock::Result::Busy) {
    dialogs.showMessage(folderBusyBox(folder));
    return outcome;
  }
  outcome.folderMade = true;
  const std::string folderWithSeparator = withTrailingSeparator(folder);
  outcome.overviewPath = folderWithSeparator + overviewName;

  // What killed runs left: no live run writes into the run's own folders while the lock is
  // held; beside the overview, where album files may be saved too, only an ended process's.
  // A run that could have no lock at all (a file system without locks) goes on, but touches
  // no other process's files.
  const std::vector<std::string> runFolders = {folderWithSeparator + "pics/",
                                               folderWithSeparator + "mini/",
                                               folderWithSeparator + "html/", folderWithSeparator};
  if (locked == FolderLock::Result::Held) {
    for (std::size_t i = 0; i < 3; ++i) removeLeftTemporaries(runFolders[i], LeftBy::AnyProcess);
    removeLeftTemporaries(folderWithSeparator, LeftBy::EndedProcess);
  }

  const ActiveRun active(runFolders);
  RunOutput output(dialogs, folderWithSeparator, folder);
  const std::unique_ptr<PageWriter> writer =
      pageWriterFor(options.style, album, settings, overviewName);
  createPictureFiles(album, settings, output, *writer, dialogs, window, pictureStarted, options);
  outcome.outputFailed = output.stopped();
  outcome.stopped = stopAsked(options);
  if (!output.stopped() && !outcome.stopped) {
    int error = 0;
    outcome.overviewWritten = writer->writeOverview(outcome.overviewPath, output, error);
    if (!outcome.overviewWritten && !output.stopped()) {
      output.report(createHtmlErrorBox(outcome.overviewPath), folderWithSeparator, error);
    }
    outcome.outputFailed = output.stopped();
  }

  for (int32_t i = 0; i < album.EntryCount(); ++i) {
    PictureEntry& entry = album.entry(i);
    std::string().swap(entry.MiniName);
    std::string().swap(entry.PicsName);
    std::string().swap(entry.PageName);
  }
  return outcome;
}

}  // namespace glim
