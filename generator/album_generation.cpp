#include "album_generation.h"

#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

#include "album_naming.h"
#include "html_writer.h"
#include "paths.h"
#include "picture_work.h"

namespace glim {
namespace {

bool makeFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

// Gives a file written ahead its name; false (nothing left behind) when it was not written or
// cannot take the name.
bool moveInto(const std::string& temporary, const std::string& path) {
  if (temporary.empty()) return false;
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

// Steps 3.1 to 3.8 for entry `index`, with its pixel work done: picture, detail page,
// thumbnail, named and reported in album order.
void placeFilesOfEntry(Album& album, const AlbumSettings& settings, std::size_t index,
                       std::string_view overviewName, FolderNames& pics, FolderNames& mini,
                       const std::string& htmlFolder, UserDialogs& dialogs,
                       const PictureWork& work) {
  PictureEntry& entry = album.entry(static_cast<int32_t>(index));
  entry.MiniName.clear();
  entry.PicsName.clear();
  if (work.outcome == PictureWork::Outcome::NotOpened) {
    dialogs.showMessage(pictureOpenErrorBox(entry.FilePath));
    return;
  }
  if (work.outcome == PictureWork::Outcome::NotPromoted) return;  // 16 and 32 bits

  const std::string base = pictureBaseName(entry.FilePath);
  const std::string picsName = pics.take(base, ".JPG");
  // A picture that could not be written is reported; its name is still used by the pages, and
  // the detail page and thumbnail are still made, so the album is whole but for that file.
  if (!moveInto(work.pictureTemp, pics.folder() + picsName)) {
    dialogs.showMessage(pictureWriteErrorBox(pics.folder() + picsName));
  }
  entry.PicsName = picsName;

  const std::span<const PictureEntry> entries(album.entries());
  writeDetailPage(htmlFolder + entry.PageName, settings, entries, index, overviewName, dialogs);

  if (!work.thumbnailMade) return;
  const std::string miniName = mini.take(base, ".JPG");
  if (!moveInto(work.thumbnailTemp, mini.folder() + miniName)) {
    dialogs.showMessage(pictureWriteErrorBox(mini.folder() + miniName));
  }
  entry.MiniName = miniName;
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

void CreatePictureFiles(Album& album, const AlbumSettings& input, const std::string& folder,
                        std::string_view overviewName, UserDialogs& dialogs, HWND window,
                        const PictureStarted& pictureStarted, const CreationOptions& options) {
  AlbumSettings settings = input;
  settings.clampAll();

  const std::string miniFolder = folder + "mini/";
  const std::string picsFolder = folder + "pics/";
  const std::string htmlFolder = folder + "html/";
  // A folder that cannot be made shows up as each file meant for it failing.
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
  PictureWorkers workers(std::move(paths), settings, picsFolder, miniFolder, options.threads);
  for (int32_t i = 0; i < count; ++i) {
    if (pictureStarted) pictureStarted(i + 1, count);
    const PictureWork work = workers.take(i, window, options.idle);
    placeFilesOfEntry(album, settings, static_cast<std::size_t>(i), overviewName, pics, mini,
                      htmlFolder, dialogs, work);
  }
}

GenerationOutcome GenerateAlbum(Album& album, const AlbumSettings& input,
                                const std::string& overviewPath, const std::string& programDir,
                                UserDialogs& dialogs, HWND window,
                                const PictureStarted& pictureStarted,
                                const CreationOptions& options) {
  AlbumSettings settings = input;
  settings.clampAll();
  GenerationOutcome outcome;

  const std::string folder = outputFolderFor(overviewPath, programDir);
  if (folder.empty() || !makeFolder(folder)) {
    dialogs.showMessage(folderErrorBox());
    return outcome;
  }
  outcome.folderMade = true;
  const std::string folderWithSeparator = withTrailingSeparator(folder);
  const std::string overviewName = fileNamePart(overviewPath);
  outcome.overviewPath = folderWithSeparator + overviewName;

  CreatePictureFiles(album, settings, folderWithSeparator, overviewName, dialogs, window,
                     pictureStarted, options);
  outcome.overviewWritten =
      writeOverviewPage(outcome.overviewPath, settings, album.entries(), dialogs);

  for (int32_t i = 0; i < album.EntryCount(); ++i) {
    PictureEntry& entry = album.entry(i);
    std::string().swap(entry.MiniName);
    std::string().swap(entry.PicsName);
    std::string().swap(entry.PageName);
  }
  return outcome;
}

}  // namespace glim
