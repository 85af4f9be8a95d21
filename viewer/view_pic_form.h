// TViewPicForm: the picture viewer. It shows a copy of the main window's current picture
// zoomed by a factor in percent, pans it when the user drags it with any mouse button, prints it
// through the print options dialog and opens its file with the desktop's application. It exists
// for the whole run and keeps its zoom, scroll positions and picture area between showings.
// Beyond that it zooms by Ctrl+wheel and keys, fits the picture on F, steps through the album
// (Space, Backspace, Alt+arrows, the mouse's back and forward buttons) through `stepPicture`,
// and shows the picture alone on a black screen on F11.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "picodec.h"
#include "user_dialogs.h"

class QLabel;
class QMouseEvent;
class QWheelEvent;
class QPrinter;
class QPushButton;
class QScrollArea;
class QStatusBar;

namespace glim {

class SpinField;
struct ProgramPrinter;

class TViewPicForm : public QDialog {
  Q_OBJECT
 public:
  explicit TViewPicForm(QWidget* parent = nullptr);

  // The picture shown: a copy of the caller's record, sharing its pixels; never freed here.
  DibImage Picture{};
  std::string PictureFileName;  // its file's full path, as bytes

  // What printing needs: the program's printer and the answers to message boxes and dialogs.
  std::function<ProgramPrinter&()> printerSource;
  UserDialogs* dialogs = nullptr;
  // Asks the owner for the album's next (+1) or previous (-1) picture; it answers through
  // showPicture when there is one to show.
  std::function<void(int)> stepPicture;

  QWidget* Panel5;
  QPushButton* ReadyBtn;
  QPushButton* PrintBrn;
  QPushButton* OpenBtn;
  QLabel* Label1;
  SpinField* ZoomEd;
  QLabel* PositionLabel;  // the picture's file name and "n of N"
  QScrollArea* ScrollBox1;
  QWidget* PaintBox1;
  QStatusBar* StatusBar1;

  // The zoom in percent as typed: a text that is no number reads as the minimum.
  int32_t zoom() const;

  void ZoomEdChange();
  // Shows `picture` (a record sharing the caller's pixels) of file `fileName`, album line
  // `line` of `count`, at the current zoom, or fitted in fit mode.
  void showPicture(const DibImage& picture, const std::string& fileName, int line, int count);
  // Sets the zoom so that the picture point under `anchor` (a point of the viewing area's
  // visible region) stays under it.
  void zoomAbout(int32_t zoomPercent, QPointF anchor);
  // F: fits the picture into the viewing area; again, returns to the zoom before.
  void toggleFit();
  bool fitting() const { return fitting_; }
  void setFullScreen(bool on);
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
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PaintBox1Paint(const QRect& area);
  // An empty picture area is never painted, so it takes its new size here at once.
  void sizeEmptyArea();
  QPointF viewCentre() const;
  void fitNow();
  // Ctrl+wheel; true when the event was taken.
  bool wheelZoom(QWheelEvent* wheel, QPointF inViewport);
  // The mouse's back and forward buttons step; true when the press was one of them.
  bool stepButton(QMouseEvent* press);
  void step(int direction);
  void updatePositionLabel();
  // The tool strip, the status bar, the frame and the scroll bars, or only the picture on black.
  void showFullScreenLook(bool on);

  bool PaintLocked = false;
  bool Dragging = false;
  int32_t DragX = 0;
  int32_t DragY = 0;
  int32_t DragScrollX = 0;
  int32_t DragScrollY = 0;
  int sizingPasses_ = 0;
  int drawingPasses_ = 0;
  bool settingZoom_ = false;  // the zoom field changes by a zoom command, not by typing
  bool fitting_ = false;
  int32_t zoomBeforeFit_ = 100;
  int wheelAngle_ = 0;  // wheel angle not yet turned into a zoom step
  bool fullScreen_ = false;
  int normalFrame_ = 0;
  QString positionName_;
  QString positionCount_;
};

}  // namespace glim
