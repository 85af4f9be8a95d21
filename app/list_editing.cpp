// TMainForm: editing the album from its three lists (add, delete, move, comment, check marks)
// and opening a picture of the album in the preview or the preview window.
#include <QCheckBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "album_text.h"
#include "main_form.h"
#include "paths.h"
#include "preview_form.h"
#include "shell_browser.h"

namespace glim {

namespace {
bool isEnterKey(const QKeyEvent* key) {
  return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

// The selected line of a list that holds at most one, or -1.
int selectedLine(const QListWidget* list) {
  const QModelIndexList rows = list->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.constFirst().row();
}

// The comment field's text as the album stores it: lines end in carriage return and line feed.
std::string commentBytes(const QString& text) {
  QString stored = text;
  stored.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  stored.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return albumBytes(stored);
}
}  // namespace

void TMainForm::connectListEditing() {
  connect(AddBtn, &QPushButton::clicked, this, &TMainForm::AddBtnClick);
  connect(DelBtn, &QPushButton::clicked, this, &TMainForm::DelBtnClick);
  connect(PrintBtn, &QPushButton::clicked, this, &TMainForm::PrintBtnClick);
  connect(ViewBtn, &QPushButton::clicked, this, &TMainForm::ViewBtnClick);
  connect(UpNow, &QPushButton::clicked, this, &TMainForm::UpNowClick);
  connect(DownNow, &QPushButton::clicked, this, &TMainForm::DownNowClick);
  connect(ImageBox, &QListWidget::itemClicked, this, &TMainForm::ImageBoxClick);
  connect(ImageBox, &QListWidget::currentRowChanged, this, &TMainForm::ImageBoxClick);
  connect(ImageBox, &QListWidget::itemChanged, this, &TMainForm::ImageBoxClickCheck);
  connect(ShowComment, &QCheckBox::clicked, this, &TMainForm::ShowCommentClick);
  connect(ComMemo, &QPlainTextEdit::textChanged, this, &TMainForm::ComMemoChange);
  for (QListWidget* list : {ImageList, SortBox, ImageBox}) {
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);  // double-clicks anywhere in the list
  }
}

bool TMainForm::listMouse(QObject* viewport, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonDblClick && type != QEvent::MouseButtonPress &&
      type != QEvent::MouseButtonRelease)
    return false;
  auto* list = qobject_cast<QListWidget*>(viewport->parent());
  if (!list || viewport != list->viewport() ||
      (list != ImageList && list != SortBox && list != ImageBox))
    return false;
  switch (event->type()) {
    case QEvent::MouseButtonDblClick:
      // The handlers read the focused (or selected) line, wherever the double-click lands.
      if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
      if (list == ImageList) ImageListDblClick();
      if (list == SortBox) SortBoxDblClick();
      if (list == ImageBox) ImageBoxDblClick();
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
      // A click below the last line keeps the selection and the focused line, so that a
      // double-click there still has a line to act on.
      return !list->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).isValid();
    default:
      return false;
  }
}

bool TMainForm::listKeyDown(QObject* list, QKeyEvent* key) {
  if (list == ImageList) {
    if (isEnterKey(key)) {
      ImageListDblClick();
      return true;
    }
    if (key->key() == Qt::Key_Delete) {
      DelBtnClick();
      return true;
    }
  } else if (list == SortBox) {
    if (isEnterKey(key)) {
      SortBoxDblClick();
      return true;
    }
  } else if (list == ImageBox) {
    if (isEnterKey(key)) {
      ImageBoxDblClick();
      return true;
    }
    ChangeImageBox();
  }
  return false;
}

void TMainForm::AddBtnClick() {
  // The bytes the file system stores, so that every added file can be opened again.
  const std::string folder = withTrailingSeparator(shellBrowser_->selectedFolderBytes());
  const std::vector<PictureEntry> before = beginAlbumEdit();
  for (const ShellBrowser::Item& item : shellBrowser_->selectedItems()) {
    album.append(folder + item.bytes);
  }
  UpdateListBox();
  recordAlbumEdit(before, {.rebuild = true});
}

void TMainForm::DelBtnClick() {
  // The selection's rows, not a question to every line: a long album stays quick.
  std::vector<int32_t> lines;
  for (const QModelIndex& index : ImageList->selectionModel()->selectedRows()) {
    lines.push_back(index.row());
  }
  const std::vector<PictureEntry> before = beginAlbumEdit();
  album.removeSeveral(std::move(lines));
  UpdateListBox();
  recordAlbumEdit(before, {.rebuild = true});
}

void TMainForm::ImageListDblClick() {
  const int line = ImageList->currentRow();
  if (line >= 0 && line < album.EntryCount()) openfilenow(album.entry(line).FilePath);
}

void TMainForm::UpNowClick() {
  const int line = selectedLine(SortBox);
  if (line < 1 || line > album.EntryCount() - 1) return;
  const std::vector<PictureEntry> before = beginAlbumEdit();
  album.swap(line, line - 1);
  UpdateListBox();
  SortBox->setCurrentRow(line - 1);
  recordAlbumEdit(before, {.rebuild = true, .sortLineAfter = line - 1, .sortLineBefore = line});
}

void TMainForm::DownNowClick() {
  const int line = selectedLine(SortBox);
  if (line < 0 || line > album.EntryCount() - 2) return;
  const std::vector<PictureEntry> before = beginAlbumEdit();
  album.swap(line, line + 1);
  UpdateListBox();
  SortBox->setCurrentRow(line + 1);
  recordAlbumEdit(before, {.rebuild = true, .sortLineAfter = line + 1, .sortLineBefore = line});
}

void TMainForm::showPreviewWindowFor(int line) {
  if (line < 0 || line >= album.EntryCount()) return;
  ImageList->setCurrentRow(line, QItemSelectionModel::NoUpdate);
  if (album.entry(line).FilePath != album.PreviewFileName) ImageListDblClick();
  if (album.entry(line).FilePath == album.PreviewFileName && PreViewForm) PreViewForm->exec();
}

void TMainForm::SortBoxDblClick() {
  showPreviewWindowFor(selectedLine(SortBox));
}

void TMainForm::ImageBoxDblClick() {
  showPreviewWindowFor(ImageBox->currentRow());
}

void TMainForm::ImageBoxClick() {
  ChangeImageBox();
}

void TMainForm::ImageBoxClickCheck() {
  const int lines = std::min<int>(album.EntryCount(), ImageBox->count());
  const std::vector<PictureEntry> before = beginAlbumEdit();
  for (int line = 0; line < lines; ++line) {
    album.setCheckMark(line, ImageBox->item(line)->checkState() == Qt::Checked);
  }
  recordAlbumEdit(before, {});
}

void TMainForm::ShowCommentClick() {
  if (album.Updating) return;
  const std::vector<PictureEntry> before = beginAlbumEdit();
  for (const QModelIndex& index : ImageBox->selectionModel()->selectedRows()) {
    album.setShowFlag(index.row(), ShowComment->isChecked());
  }
  recordAlbumEdit(before, {});
}

void TMainForm::ComMemoChange() {
  if (album.Updating) return;
  // The first change of a visit keeps the album as it was; leaving the field records the edit.
  if (!commentVisitStart_) commentVisitStart_ = album.entries();
  const std::string text = commentBytes(ComMemo->toPlainText());
  for (const QModelIndex& index : ImageBox->selectionModel()->selectedRows()) {
    // An absent comment stays absent while the field is empty: typing and taking it all back
    // again is no edit.
    const int line = index.row();
    if (line < album.EntryCount() && album.entry(line).commentText() != text) {
      album.setComment(line, text);
    }
  }
}

}  // namespace glim
