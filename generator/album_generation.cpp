#include "album_generation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <system_error>

#include "album_naming.h"
#include "album_update.h"
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
                       UserDialogs& dialogs, PictureWork& work, bool& complete) {
  complete = false;
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
  complete = pictureWritten;
  if (!output.place(work.thumbnail, work.thumbnailError, output.mini, base, ".JPG", entry.MiniName,
                    thumbnailWritten)) {
    return false;
  }
  complete = complete && thumbnailWritten;
  return writer.entryDone(index, work, pictureWritten, thumbnailWritten, output);
}

// True when the name `base` + digits (none included) starts with `prefix`.
bool numberedFrom(std::string_view base, std::string_view prefix) {
  if (base.substr(0, prefix.size()) != prefix) return false;
  for (const char c : base.substr(prefix.size()))
    if (c < '0' || c > '9') return false;
  return true;
}

std::string foldedCase(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return text;
}

// Every name an update may give a file in `names`' folder for these requests (base and
// extension, one per file): a base's files take their names among its first free names, as
// many as there are requests that may take one of those (the base's own, and those of bases
// that are the base and digits; a name cut to fit may meet any).
void possibleNames(const FolderNames& names,
                   const std::vector<std::pair<std::string, std::string>>& requests,
                   const AlbumUpdate& update, std::vector<std::string>& out) {
  std::map<std::string, std::vector<std::string>> basesByExtension;  // folded
  for (const auto& [base, extension] : requests)
    basesByExtension[foldedCase(extension)].push_back(foldedCase(base));
  for (auto& [extension, bases] : basesByExtension) std::sort(bases.begin(), bases.end());
  std::set<std::pair<std::string, std::string>> done;
  for (const auto& request : requests) {
    if (!done.insert(request).second) continue;
    const auto& [base, extension] = request;
    const std::vector<std::string>& bases = basesByExtension[foldedCase(extension)];
    const std::string prefix = foldedCase(base);
    std::size_t count = 0;
    if (base.size() + extension.size() + 20 > FolderNames::kMaxFileName) {
      count = requests.size();
    } else {
      for (auto it = std::lower_bound(bases.begin(), bases.end(), prefix);
           it != bases.end() && it->compare(0, prefix.size(), prefix) == 0; ++it) {
        count += numberedFrom(*it, prefix) ? 1 : 0;
      }
    }
    for (std::string& name : names.firstFree(base, extension, count, update.replaceable()))
      out.push_back(names.folder() + name);
  }
}

// The names of every file this update may make, for its record before anything changes.
std::vector<std::string> namesOfUpdate(const Album& album, const RunOutput& output,
                                       const PictureExtras& extras, const AlbumUpdate& update) {
  std::vector<std::pair<std::string, std::string>> pics, mini;
  std::vector<std::string> out;
  for (const PictureEntry& entry : album.entries()) {
    const std::string base = pictureBaseName(entry.FilePath);
    out.push_back(output.htmlFolder + entry.PageName);
    pics.emplace_back(base, ".JPG");
    mini.emplace_back(base, ".JPG");
    if (extras.twiceThumbnail) mini.emplace_back(base + "@2x", ".JPG");
    for (const int32_t width : extras.widths)
      pics.emplace_back(base + "@" + std::to_string(width) + "w", ".JPG");
    for (const int32_t width : extras.avifWidths)
      pics.emplace_back(base + "@" + std::to_string(width) + "w", ".avif");
  }
  possibleNames(output.pics, pics, update, out);
  possibleNames(output.mini, mini, update, out);
  return out;
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
  AlbumUpdate* const update = output.update;
  FolderNames pages(output.htmlFolder);
  for (int32_t i = 0; i < album.EntryCount(); ++i) {
    PictureEntry& entry = album.entry(i);
    const std::string base = pictureBaseName(entry.FilePath);
    entry.PageName =
        update ? pages.take(base, ".HTM", update->replaceable()) : pages.take(base, ".HTM");
  }
  writer.begin(output);

  const int32_t count = album.EntryCount();
  // An update makes only the pictures whose files cannot be kept; the progress counts those.
  std::vector<char> needed;
  if (update) {
    needed = update->plan(album, pictureFingerprint(settings, writer.extras()));
    std::vector<std::string> names = namesOfUpdate(album, output, writer.extras(), *update);
    for (const std::string& shared : writer.sharedFiles())
      names.push_back(output.folder() + shared);
    update->claim(names);
  }
  const int32_t toMake =
      update ? count - static_cast<int32_t>(std::count(needed.begin(), needed.end(), 0)) : count;
  std::vector<std::string> paths;
  paths.reserve(static_cast<std::size_t>(count));
  for (const PictureEntry& entry : album.entries()) paths.push_back(entry.FilePath);
  PictureWorkers workers(std::move(paths), settings, output.pics.folder(), output.mini.folder(),
                         options.threads, options.memoryBudget, writer.extras(), options.wake,
                         needed);
  for (int32_t i = 0, made = 0; i < count && !stopAsked(options); ++i) {
    const int parts = update ? needed[static_cast<std::size_t>(i)] : int{kAllParts};
    if (pictureStarted && parts != 0) pictureStarted(++made, toMake);
    PictureWork work = workers.take(i, window, options.idle);
    if (parts != kAllParts) update->keepParts(static_cast<std::size_t>(i), parts, work);
    if (update) update->beginEntry(static_cast<std::size_t>(i), work);
    bool complete = false;
    if (!placeFilesOfEntry(album, static_cast<std::size_t>(i), output, writer, dialogs, work,
                           complete)) {
      return;  // the workers remove what they wrote ahead
    }
    if (update) update->endEntry(work, complete);
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

MessageBox untrustedRecordBox(std::string_view folder) {
  return {"The record of the album in " + std::string(folder) +
              " is damaged or was not written by this program: every file of the album is made "
              "anew.",
          "Glimmervellium", MessageButtons::Ok, MessageIcon::Warning};
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
  std::optional<AlbumUpdate> update;
  if (options.update) {
    update.emplace(folderWithSeparator, overviewName);
    if (!update->trusted()) dialogs.showMessage(untrustedRecordBox(folder));
    output.update = &*update;
  }
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
    // Without its record the next update would take the album's files for the user's.
    if (update && outcome.overviewWritten) {
      if (const int error = update->finish(); error != 0) {
        output.report(pictureWriteErrorBox(update->recordPath()), folderWithSeparator, error);
        outcome.outputFailed = output.stopped();
      }
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
