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
#include "paths.h"
#include "picture_work.h"
#include "temporary_file.h"
#include "termination.h"

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

// A style sheet an earlier run wrote: a regular file (not a link) that starts with our line.
bool isOwnStyleSheet(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  std::string head(kStyleSheetFirstLine.size() + 1, '\0');
  struct stat info {};
  std::size_t got = 0;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    while (got < head.size()) {
      const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
  }
  ::close(fd);
  return got == head.size() && head == std::string(kStyleSheetFirstLine) + '\n';
}

// The style sheet's name in `folder` (ending in a separator): after the overview ("index.htm"
// gives "index.css") unless that is the overview's own name or a file of the user's stands
// there; then the next free name by the unique-name rule. A sheet of an earlier run is
// replaced.
std::string styleSheetIn(const std::string& folder, std::string_view overviewName) {
  FolderNames names(folder);
  names.reserve(overviewName);
  return names.take(styleSheetBase(overviewName), ".css", isOwnStyleSheet);
}

// Failed writes of a run: a file's own failure is reported and the run goes on; a failure of
// the output location (full, read-only, ...) is reported once and stops the run.
class WriteFailures {
 public:
  WriteFailures(UserDialogs& dialogs, std::string outputFolder)
      : dialogs_(dialogs), outputFolder_(std::move(outputFolder)) {}

  // A write into `folder` failed with `error` (errno, 0 when unknown); false: stop the run.
  bool report(const MessageBox& fileBox, const std::string& folder, int error) {
    if (const std::optional<OutputProblem> problem = outputProblemOf(folder, error)) {
      dialogs_.showMessage(outputFailureBox(outputFolder_, *problem));
      stopped_ = true;
      return false;
    }
    dialogs_.showMessage(fileBox);
    return true;
  }
  bool stopped() const { return stopped_; }

 private:
  UserDialogs& dialogs_;
  std::string outputFolder_;
  bool stopped_ = false;
};

// Gives a file written ahead its name, replacing what stands there (never writing through a
// link); false (nothing left behind, `error` set) when it was not written or cannot take the
// name. `writeError` is the errno of the file's failed write, if any.
bool moveInto(TemporaryFile& file, int writeError, const std::string& path, int& error) {
  error = writeError;
  if (!file.exists()) return false;
  if (file.commitTo(path)) return true;
  error = file.error();
  return false;
}

// Steps 3.1 to 3.8 for entry `index`, with its pixel work done: picture, detail page,
// thumbnail, named and reported in album order. False: the output location failed.
bool placeFilesOfEntry(Album& album, const AlbumSettings& settings, std::size_t index,
                       std::string_view overviewName, FolderNames& pics, FolderNames& mini,
                       const std::string& htmlFolder, UserDialogs& dialogs, WriteFailures& failures,
                       PictureWork& work, ModernEntry* modern) {
  PictureEntry& entry = album.entry(static_cast<int32_t>(index));
  entry.MiniName.clear();
  entry.PicsName.clear();
  // Temporary files not given a name here go with `work`.
  if (work.outcome == PictureWork::Outcome::NotOpened) {
    dialogs.showMessage(pictureOpenErrorBox(entry.FilePath));
    return true;
  }
  if (work.outcome == PictureWork::Outcome::NotPromoted) return true;  // 16 and 32 bits

  const std::string base = pictureBaseName(entry.FilePath);
  const std::string picsName = pics.take(base, ".JPG");
  // A picture that could not be written is reported; its name is still used by the pages, and
  // the detail page and thumbnail are still made, so the album is whole but for that file.
  int error = 0;
  const bool pictureWritten =
      moveInto(work.picture, work.pictureError, pics.folder() + picsName, error);
  if (!pictureWritten &&
      !failures.report(pictureWriteErrorBox(pics.folder() + picsName), pics.folder(), error)) {
    return false;
  }
  entry.PicsName = picsName;

  const std::span<const PictureEntry> entries(album.entries());
  const std::string page = htmlFolder + entry.PageName;
  if (modern == nullptr &&
      !writePageFile(page, detailPageText(settings, entries, index, overviewName), &error) &&
      !failures.report(createHtmlErrorBox(page), htmlFolder, error)) {
    return false;
  }

  if (!work.thumbnailMade) return true;
  const std::string miniName = mini.take(base, ".JPG");
  const bool thumbnailWritten =
      moveInto(work.thumbnail, work.thumbnailError, mini.folder() + miniName, error);
  if (!thumbnailWritten &&
      !failures.report(pictureWriteErrorBox(mini.folder() + miniName), mini.folder(), error)) {
    return false;
  }
  entry.MiniName = miniName;
  if (modern == nullptr) return true;
  // Modern pages show only pictures whose files are all there.
  *modern = {pictureWritten && thumbnailWritten,
             work.width,
             work.height,
             work.thumbWidth,
             work.thumbHeight,
             {},
             work.facts};
  if (!work.thumbnail2x.exists() || !thumbnailWritten) return true;
  const std::string mini2Name = mini.take(base + "@2x", ".JPG");
  const bool mini2Written = moveInto(work.thumbnail2x, 0, mini.folder() + mini2Name, error);
  if (!mini2Written &&
      !failures.report(pictureWriteErrorBox(mini.folder() + mini2Name), mini.folder(), error)) {
    return false;
  }
  if (mini2Written) modern->mini2Name = mini2Name;  // offered to HiDPI screens only when there
  return true;
}

// A termination signal, or the caller, asks the run to stop.
bool stopAsked(const CreationOptions& options) {
  return terminationRequested() || (options.stopRequested && options.stopRequested());
}

// The modern detail pages, once every picture is done: only pictures that got their files
// have one, and they link only to each other.
void writeModernDetailPages(const Album& album, const AlbumSettings& settings,
                            std::span<const ModernEntry> files, std::string_view overviewName,
                            std::string_view styleSheet, const std::string& htmlFolder,
                            WriteFailures& failures, const CreationOptions& options) {
  const std::span<const PictureEntry> entries(album.entries());
  const std::vector<std::size_t> shown = shownEntries(files);
  const std::string language = pageLanguageOfUser();
  for (const std::size_t index : shown) {
    if (stopAsked(options)) return;
    const std::string page = htmlFolder + entries[index].PageName;
    int error = 0;
    if (!writePageFile(page,
                       modernDetailText(settings, entries, files, shown, index, overviewName,
                                        styleSheet, language),
                       &error) &&
        !failures.report(createHtmlErrorBox(page), htmlFolder, error)) {
      return;
    }
  }
}

// The run proper: CreatePictureFiles with the failures of its writes going to `failures`;
// modern detail pages link to `styleSheet` beside the overview.
std::vector<ModernEntry> createPictureFiles(Album& album, const AlbumSettings& settings,
                                            const std::string& folder,
                                            std::string_view overviewName,
                                            std::string_view styleSheet, UserDialogs& dialogs,
                                            WriteFailures& failures, HWND window,
                                            const PictureStarted& pictureStarted,
                                            const CreationOptions& options) {
  const std::string miniFolder = folder + "mini/";
  const std::string picsFolder = folder + "pics/";
  const std::string htmlFolder = folder + "html/";
  // A folder that cannot be made shows up as the first file meant for it failing.
  for (const std::string* sub : {&miniFolder, &picsFolder, &htmlFolder}) makeFolder(*sub);

  // Page names first: every detail page links to its neighbours' pages. Names are kept
  // distinct within the run too, so two pictures of the same name get a page each.
  FolderNames pages(htmlFolder);
  for (int32_t i = 0; i < album.EntryCount(); ++i) {
    PictureEntry& entry = album.entry(i);
    entry.PageName = pages.take(pictureBaseName(entry.FilePath), ".HTM");
  }

  FolderNames pics(picsFolder);
  FolderNames mini(miniFolder);
  const int32_t count = album.EntryCount();
  std::vector<std::string> paths;
  paths.reserve(static_cast<std::size_t>(count));
  for (const PictureEntry& entry : album.entries()) paths.push_back(entry.FilePath);
  const bool modern = options.style == PageStyle::Modern;
  std::vector<ModernEntry> files(modern ? static_cast<std::size_t>(count) : 0);
  PictureWorkers workers(std::move(paths), settings, picsFolder, miniFolder, options.threads,
                         options.memoryBudget, modern, options.wake);
  for (int32_t i = 0; i < count && !stopAsked(options); ++i) {
    if (pictureStarted) pictureStarted(i + 1, count);
    PictureWork work = workers.take(i, window, options.idle);
    if (!placeFilesOfEntry(album, settings, static_cast<std::size_t>(i), overviewName, pics, mini,
                           htmlFolder, dialogs, failures, work,
                           modern ? &files[static_cast<std::size_t>(i)] : nullptr)) {
      return files;  // the workers remove what they wrote ahead
    }
  }
  if (modern && !stopAsked(options)) {
    writeModernDetailPages(album, settings, files, overviewName, styleSheet, htmlFolder, failures,
                           options);
  }
  return files;
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
  WriteFailures failures(dialogs, folder);
  const std::string styleSheet =
      options.style == PageStyle::Modern ? styleSheetIn(folder, overviewName) : std::string();
  createPictureFiles(album, settings, folder, overviewName, styleSheet, dialogs, failures, window,
                     pictureStarted, options);
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
  WriteFailures failures(dialogs, folder);
  // Chosen before the pages that link to it.
  const std::string styleSheet = options.style == PageStyle::Modern
                                     ? styleSheetIn(folderWithSeparator, overviewName)
                                     : std::string();
  const std::vector<ModernEntry> files =
      createPictureFiles(album, settings, folderWithSeparator, overviewName, styleSheet, dialogs,
                         failures, window, pictureStarted, options);
  outcome.outputFailed = failures.stopped();
  outcome.stopped = stopAsked(options);
  if (!failures.stopped() && !outcome.stopped) {
    int error = 0;
    if (options.style == PageStyle::Modern) {
      // The style sheet goes with the overview: an album's pages share it.
      const std::string sheet = folderWithSeparator + styleSheet;
      if (!writePageFile(sheet, modernStyleSheet(settings), &error)) {
        failures.report(createHtmlErrorBox(sheet), folderWithSeparator, error);
        outcome.outputFailed = failures.stopped();
      }
      outcome.overviewWritten =
          !failures.stopped() &&
          writePageFile(outcome.overviewPath,
                        modernOverviewText(settings, album.entries(), files, overviewName,
                                           styleSheet, pageLanguageOfUser()),
                        &error);
    } else {
      outcome.overviewWritten =
          writePageFile(outcome.overviewPath, overviewPageText(settings, album.entries()), &error);
    }
    if (!outcome.overviewWritten && !failures.stopped()) {
      failures.report(createHtmlErrorBox(outcome.overviewPath), folderWithSeparator, error);
      outcome.outputFailed = failures.stopped();
    }
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
