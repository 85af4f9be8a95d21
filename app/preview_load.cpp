// TMainForm: loading a picture file into the current picture (openfilenow), and the box that
// reports a file the codec library could not open.
#include "preview_load.h"

#include <cstring>

#include "main_form.h"

namespace glim {

std::string libraryErrorText(const DibImage& failed) {
  const auto* text = reinterpret_cast<const char*>(failed.PaletteEntries);
  return std::string(text, ::strnlen(text, sizeof failed.PaletteEntries));
}

MessageBox previewLoadErrorBox(std::string_view libraryText, std::string_view path) {
  std::string generic = "Error: The file ";
  generic.append(path).append(" could not be loaded!");
  if (libraryText.size() > 5) {
    return {std::string(libraryText), generic, MessageButtons::Ok, MessageIcon::None};
  }
  return {generic, "Error", MessageButtons::Ok, MessageIcon::None};
}

void TMainForm::openfilenow(const std::string& path) {
  DibImage fresh{};
  OpenDib(&fresh, path.c_str(), 0, windowHandle());
  if (fresh.Pixels) return takeCurrentPicture(fresh, path);
  dialogs_->showMessage(previewLoadErrorBox(libraryErrorText(fresh), path));
}

void TMainForm::takeCurrentPicture(const DibImage& picture, const std::string& path) {
  deldib(currentPicture);
  currentPicture = picture;
  DibPrevPaint->repaint();
  album.PreviewFileName = path;
}

}  // namespace glim
