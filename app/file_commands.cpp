// TMainForm: the album file commands of the top bar (New, Open..., Save, Save as...).
#include <QFileInfo>

#include "album_file.h"
#include "album_text.h"
#include "main_form.h"
#include "paths.h"

namespace glim {

FileDialogRequest TMainForm::albumFileDialog(const char* title) const {
  FileDialogRequest request;
  request.title = title;
  request.filter = "Glimmervellium-Dateien|*.lmf";
  request.defaultExtension = "lmf";
  request.initialFolder = albumDialogFolder_;
  request.askOverwrite = true;
  return request;
}

void TMainForm::NewBtnClick() {
  if (ask("You will lost all not saved information!", "File/New") != MessageAnswer::Ok) return;
  album.DelallPics();
  clearAlbumHistory();
  UpdateListBox();
  Setsavedfilename(std::string());
}

void TMainForm::OpenBtnClick() {
  if (ask("You will lost all not saved information!", "File/Open") != MessageAnswer::Ok) return;
  if (const std::optional<std::string> path = dialogs_->openFileName(albumFileDialog("Open"))) {
    OpenFile(*path);
  }
}

void TMainForm::openGivenAlbum(const QString& argument) {
  // Kept whole, so that Save writes it back there whatever folder is current later.
  OpenFile(pathBytes(QFileInfo(argument).absoluteFilePath()));
}

void TMainForm::SaveBtnClick() {
  if (album.SavedFileName.empty()) {
    SaveAsBtnClick();
    return;
  }
  SaveFile(album.SavedFileName);
}

void TMainForm::SaveAsBtnClick() {
  if (const std::optional<std::string> path = dialogs_->saveFileName(albumFileDialog("Save as"))) {
    SaveFile(*path);
  }
}

void TMainForm::SaveFile(const std::string& path) {
  if (const std::optional<MessageBox> failure = glim::SaveFile(album, currentSettings(), path)) {
    dialogs_->showMessage(*failure);
    return;
  }
  albumDialogFolder_ = folderPart(path);
  Setsavedfilename(path);
}

void TMainForm::OpenFile(const std::string& path) {
  AlbumSettings settings = currentSettings();
  if (const std::optional<MessageBox> failure = glim::OpenFile(album, settings, path)) {
    dialogs_->showMessage(*failure);
    return;
  }
  clearAlbumHistory();
  showSettings(settings);
  albumDialogFolder_ = folderPart(path);
  Setsavedfilename(path);
  UpdateListBox();
}

}  // namespace glim
