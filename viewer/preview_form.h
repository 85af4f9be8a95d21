// TPreViewForm: the preview window, which shows the main window's current picture one to one
// in a scroll box. It exists for the whole run, reads the picture in place (it keeps no copy)
// and is shown modally from the sort and comments pages.
#pragma once

#include <QDialog>

#include "picodec.h"
#include "user_dialogs.h"

class QPushButton;
class QScrollArea;
class QStatusBar;

namespace glim {

class TPreViewForm : public QDialog {
  Q_OBJECT
 public:
  // `picture` is the main window's current picture; it must outlive this window.
  // `dialogs` reports what drawing the picture cannot do, as the main window's dialogs do.
  explicit TPreViewForm(const DibImage* picture, QWidget* parent = nullptr,
                        UserDialogs* dialogs = nullptr);

  QPushButton* BitBtn1;  // "Back.."
  QScrollArea* ScrollBox1;
  QWidget* PaintBox1;
  QStatusBar* StatusBar1;

  // Paint passes of PaintBox1: those that only brought its size to the picture's, and those
  // that drew the picture.
  int sizingPasses() const { return sizingPasses_; }
  int drawingPasses() const { return drawingPasses_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PaintBox1Paint(const QRect& area);

  const DibImage* picture_;
  UserDialogs* dialogs_;
  int sizingPasses_ = 0;
  int drawingPasses_ = 0;
};

}  // namespace glim
