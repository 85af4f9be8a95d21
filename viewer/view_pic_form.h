// TViewPicForm: the picture viewer. It shows a copy of the main window's current picture
// zoomed by a factor in percent, pans it when the user drags it with any mouse button, prints it
// through the print options dialog and opens its file with the desktop's application. It exists
// for the whole run and keeps its zoom, scroll positions and picture area between showings.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "picodec.h"
#include "user_dialogs.h"

class QLabel;
class QPrinter;
class QPushButton;
class QScrollArea;
class QStatusBar;

namespace glim {

class SpinField;

class TViewPicForm : public QDialog {
  Q_OBJECT
 public:
  explicit TViewPicForm(QWidget* parent = nullptr);

  // The picture shown: a copy of the caller's record, sharing its pixels; never freed here.
  DibImage Picture{};
  std::string PictureFileName;  // its file's full path, as bytes

  // What printing needs: the program's printer and the answers to message boxes and dialogs.
  std::function<QPrinter&()> printerSource;
  UserDialogs* dialogs = nullptr;

  QWidget* Panel5;
  QPushButton* ReadyBtn;
  QPushButton* PrintBrn;
  QPushButton* OpenBtn;
  QLabel* Label1;
  SpinField* ZoomEd;
  QScrollArea* ScrollBox1;
  QWidget* PaintBox1;
  QStatusBar* StatusBar1;

  // The zoom in percent as typed: a text that is no number reads as the minimum.
  int32_t zoom() const;

  void ZoomEdChange();
  // Pointer positions in the viewing area's visible region, which does not move with the
  // scroll, so that the picture follows the pointer exactly.
  void PaintBox1MouseDown(QPoint pointer);
  void PaintBox1MouseMove(QPoint pointer);
  void PaintBox1MouseUp();
  void OpenBtnClick();
  void PrintBrnClick();

  // Paint passes of the picture area: those that brought its size to the zoomed picture's and
  // those that drew.
  int sizingPasses() const { return sizingPasses_; }
  int drawingPasses() const { return drawingPasses_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PaintBox1Paint(const QRect& area);
  // An empty picture area is never painted, so it takes its new size here at once.
  void sizeEmptyArea();

  bool PaintLocked = false;
  bool Dragging = false;
  int32_t DragX = 0;
  int32_t DragY = 0;
  int32_t DragScrollX = 0;
  int32_t DragScrollY = 0;
  int sizingPasses_ = 0;
  int drawingPasses_ = 0;
};

}  // namespace glim
