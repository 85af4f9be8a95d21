// TMainForm: stepping the viewer through the album, and decoding the neighbouring pictures
// ahead while the viewer is open.
#include <QListWidget>
#include <optional>
#include <string>
#include <vector>

#include "main_form.h"
#include "read_ahead.h"
#include "view_pic_form.h"

namespace glim {

void TMainForm::stepViewer(int direction) {
  const int line = ImageList->currentRow() + direction;
  if (ViewPicForm == nullptr || line < 0 || line >= album.EntryCount()) return;  // an end
  ImageList->setCurrentRow(line);  // focus and selection, as a click on the line
  const std::string path = album.entry(line).FilePath;
  if (album.PreviewFileName != path) {
    std::optional<DibImage> ready = readAhead_ ? readAhead_->take(path) : std::nullopt;
    if (ready) {
      takeCurrentPicture(*ready, path);
    } else {
      openfilenow(path);  // reports a picture that cannot be loaded
    }
  }
  // A picture that could not be loaded leaves the viewer on the one it had.
  if (album.PreviewFileName == path) {
    ViewPicForm->showPicture(currentPicture, path, line, album.EntryCount());
  }
  readAheadAround(line, direction);
}

void TMainForm::readAheadAround(int line, int direction) {
  if (!readAhead_) return;
  std::vector<std::string> paths;
  for (const int neighbour : {line + direction, line - direction}) {
    if (neighbour >= 0 && neighbour < album.EntryCount()) {
      paths.push_back(album.entry(neighbour).FilePath);
    }
  }
  readAhead_->want(std::move(paths));
}

}  // namespace glim
