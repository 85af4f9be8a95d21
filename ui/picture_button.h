// A button made of two pictures of one size at one place: the normal picture on top and the
// pressed picture beneath. The pressed picture shows while a mouse button is held over it.
// The widget itself takes the mouse, so it keeps receiving the moves and the release while
// the normal picture is hidden; both pictures carry the same click action. It takes the
// keyboard focus too: a focus frame shows over the pictures, and Space or Enter presses it.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

namespace glim {

class PictureButton : public QWidget {
  Q_OBJECT
 public:
  // `pressedVisibleAtStart`: the pressed picture starts visible beneath the normal one
  // rather than hidden; either way the normal picture is what the user sees.
  PictureButton(const QPixmap& normal, const QPixmap& pressed, bool pressedVisibleAtStart,
                QWidget* parent = nullptr);

  QLabel* normalPicture() const { return normal_; }
  QLabel* pressedPicture() const { return pressed_; }
  // Set between a press and the release or the click.
  bool pressedFlag() const { return pressedFlag_; }
  void setHint(const QString& hint);

  // Normal picture shown, pressed picture hidden, flag cleared: how every action starts.
  void resetImages();
  // What a click does: the action, then the normal picture again. Space, Enter and a screen
  // reader's press action come here.
  void press();

 signals:
  // A left press and release over the button; emitted before the release resets the images.
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void showPressed(bool pressed);

  QLabel* normal_;
  QLabel* pressed_;
  QWidget* focusFrame_;
  bool pressedFlag_ = false;
  bool leftPressed_ = false;
};

}  // namespace glim
