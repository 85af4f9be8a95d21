// TMainForm: album edits taken back (Ctrl+Z) and made again (Ctrl+Shift+Z, Ctrl+Y), back to the
// last New or Open. Each edit keeps only the run of entries it touched (AlbumChange); the lists
// then follow as they did after the edit itself.
#include <QAction>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QUndoStack>

#include "album_change.h"
#include "main_form.h"

namespace glim {

// One album edit on the window's history. The edit has been made when it is pushed.
class AlbumEditCommand : public QUndoCommand {
 public:
  AlbumEditCommand(TMainForm& form, AlbumChange change, AlbumEditFollow follow)
      : form_(form), change_(std::move(change)), follow_(follow) {}

  void undo() override { form_.showAlbumChange(change_, false, follow_); }
  void redo() override {
    if (pushed_) {
      pushed_ = false;  // QUndoStack::push makes the edit again, but the handler already did
      return;
    }
    form_.showAlbumChange(change_, true, follow_);
  }

 private:
  TMainForm& form_;
  AlbumChange change_;
  AlbumEditFollow follow_;
  bool pushed_ = true;
};

void TMainForm::addAlbumHistory() {
  albumHistory_ = new QUndoStack(this);
  UndoAction = new QAction(QStringLiteral("Undo"), this);
  UndoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  RedoAction = new QAction(QStringLiteral("Redo"), this);
  RedoAction->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  for (QAction* action : {UndoAction, RedoAction}) {
    action->setEnabled(false);
    addAction(action);
  }
  connect(UndoAction, &QAction::triggered, this, &TMainForm::undoAlbumEdit);
  connect(RedoAction, &QAction::triggered, this, &TMainForm::redoAlbumEdit);
  connect(albumHistory_, &QUndoStack::canUndoChanged, UndoAction, &QAction::setEnabled);
  connect(albumHistory_, &QUndoStack::canRedoChanged, RedoAction, &QAction::setEnabled);
  // Leaving the comment field ends its visit, which is one edit however much was typed.
  ComMemo->installEventFilter(this);
}

void TMainForm::undoAlbumEdit() {
  finishCommentVisit();
  albumHistory_->undo();
}

void TMainForm::redoAlbumEdit() {
  finishCommentVisit();
  albumHistory_->redo();
}

void TMainForm::clearAlbumHistory() {
  commentVisitStart_.reset();
  albumHistory_->clear();
}

std::vector<PictureEntry> TMainForm::beginAlbumEdit() {
  finishCommentVisit();
  return album.entries();
}

void TMainForm::recordAlbumEdit(const std::vector<PictureEntry>& before, AlbumEditFollow follow) {
  AlbumChange change = changeBetween(before, album.entries());
  if (change.empty() || destroyed_) return;
  albumHistory_->push(new AlbumEditCommand(*this, std::move(change), follow));
}

void TMainForm::finishCommentVisit() {
  if (!commentVisitStart_) return;
  const std::vector<PictureEntry> before = std::move(*commentVisitStart_);
  commentVisitStart_.reset();
  recordAlbumEdit(before, {});
}

void TMainForm::commentFieldEvent(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // Taken by the field, so that the window's undo never acts on the album from inside it.
    const QKeySequence keys(static_cast<QKeyEvent*>(event)->keyCombination());
    if (UndoAction->shortcuts().contains(keys) || RedoAction->shortcuts().contains(keys)) {
      event->accept();
    }
    return;
  }
  if (event->type() != QEvent::FocusOut) return;
  // Another window or the field's own menu coming up is no leaving of the field.
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) finishCommentVisit();
}

void TMainForm::showAlbumChange(const AlbumChange& change, bool forward,
                                const AlbumEditFollow& follow) {
  const bool applied = applyChange(album, change, forward);
  if (follow.rebuild || !applied || ImageBox->count() != album.EntryCount()) {
    UpdateListBox();
    const int sortLine = forward ? follow.sortLineAfter : follow.sortLineBefore;
    if (sortLine >= 0 && sortLine < SortBox->count()) SortBox->setCurrentRow(sortLine);
    return;
  }
  // Comments and flags: the lines and their selection stay, as after the edit itself.
  {
    const QSignalBlocker quiet(ImageBox);
    for (int line = 0; line < album.EntryCount(); ++line) {
      ImageBox->item(line)->setCheckState(album.entry(line).CheckMark ? Qt::Checked
                                                                      : Qt::Unchecked);
    }
  }
  ChangeImageBox();
}

}  // namespace glim
