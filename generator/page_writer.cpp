#include "page_writer.h"

#include <span>

#include "album_generation.h"
#include "html_writer.h"
#include "output_folder.h"

namespace glim {

RunOutput::RunOutput(UserDialogs& dialogs, std::string folder, std::string shownFolder)
    : pics(folder + "pics/"),
      mini(folder + "mini/"),
      htmlFolder(folder + "html/"),
      dialogs_(dialogs),
      folder_(std::move(folder)),
      shownFolder_(std::move(shownFolder)) {}

bool RunOutput::report(const MessageBox& fileBox, const std::string& folder, int error) {
  if (const std::optional<OutputProblem> problem = outputProblemOf(folder, error)) {
    dialogs_.showMessage(outputFailureBox(shownFolder_, *problem));
    stopped_ = true;
    return false;
  }
  dialogs_.showMessage(fileBox);
  return true;
}

bool RunOutput::place(TemporaryFile& file, int writeError, FolderNames& names,
                      std::string_view base, std::string_view extension, std::string& name,
                      bool& written) {
  name = update ? names.take(base, extension, update->replaceable()) : names.take(base, extension);
  const std::string path = names.folder() + name;
  // Replaces what stands there, never writing through a link.
  int error = writeError;
  written = false;
  if (file.exists()) {
    if (update && !file.isKeptAt(path)) {
      if (!beforeChange()) return false;
      update->clearWay(path);
    }
    written = file.commitTo(path);
    if (!written) error = file.error();
  }
  if (update) update->placed(&file, path, written);
  return written || report(pictureWriteErrorBox(path), names.folder(), error);
}

bool RunOutput::beforeChange() {
  const int error = update->aboutToChange();
  return error == 0 || report(pictureWriteErrorBox(update->recordPath()), folder_, error);
}

bool RunOutput::writePage(const std::string& path, std::string_view text) {
  int error = 0;
  return writeFile(path, text, error) || stopped_ ||
         report(createHtmlErrorBox(path), path.substr(0, path.find_last_of('/') + 1), error);
}

bool RunOutput::writeFile(const std::string& path, std::string_view text, int& error) {
  error = 0;
  // An update leaves a page that reads the same as it is, its time included.
  if (update && AlbumUpdate::holds(path, text)) {
    update->pageWritten(path);
    return true;
  }
  if (update && !beforeChange()) return false;
  const bool written = writePageFile(path, text, &error);
  if (written && update) update->pageWritten(path);
  return written;
}

namespace {

// The pages as they have always been: each detail page written as its picture is placed, the
// overview last; no other file.
class ClassicWriter final : public PageWriter {
 public:
  ClassicWriter(const Album& album, const AlbumSettings& settings, std::string_view overviewName)
      : album_(album), settings_(settings), overviewName_(overviewName) {}

  PictureExtras extras() const override { return {}; }

  bool pictureNamed(std::size_t index, RunOutput& output) override {
    const std::span<const PictureEntry> entries(album_.entries());
    return output.writePage(output.htmlFolder + entries[index].PageName,
                            detailPageText(settings_, entries, index, overviewName_));
  }

  bool entryDone(std::size_t, PictureWork&, bool, bool, RunOutput&) override { return true; }
  void picturesDone(RunOutput&, const std::function<bool()>&) override {}

  bool writeOverview(const std::string& path, RunOutput& output, int& error) override {
    return output.writeFile(path, overviewPageText(settings_, album_.entries()), error);
  }

 private:
  const Album& album_;
  const AlbumSettings& settings_;
  std::string overviewName_;
};

}  // namespace

std::unique_ptr<PageWriter> pageWriterFor(PageStyle style, const Album& album,
                                          const AlbumSettings& settings,
                                          std::string_view overviewName) {
  if (style == PageStyle::Modern) return modernPageWriter(album, settings, overviewName);
  return std::make_unique<ClassicWriter>(album, settings, overviewName);
}

}  // namespace glim
