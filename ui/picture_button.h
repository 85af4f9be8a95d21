// A button made of two pictures of one size at one place: the normal picture on top and the
// pressed picture beneath. The pressed picture shows while a mouse button is held over it;
// a left click runs the action. Space, the focus frame and a screen reader's press come from
// the button class, and Enter presses too; the button's text is the words its picture shows,
// for a screen reader, and is not drawn.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace glim {

class PictureButton : public QAbstractButton {
  Q_OBJECT
 public:
  // `pressedVisibleAtStart`: the pressed picture starts visible beneath the normal one
  // rather than hidden; either way the normal picture is what the user sees.
  PictureButton(const QPixmap& normal, const QPixmap& pressed, bool pressedVisibleAtStart,
                QWidget* parent = nullptr);

  bool normalShown() const { return normalShown_; }
  bool pressedShown() const { return pressedShown_; }
  // Set between a mouse press and the release or the click.
  bool pressedFlag() const { return pressedFlag_; }
  // The tool tip, which a screen reader reads as the button's description.
  void setHint(const QString& hint);

  // Normal picture shown, pressed picture hidden, flag cleared: how every action starts.
  void resetImages();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void showPressed(bool pressed);

  QPixmap normal_;
  QPixmap pressed_;
  bool normalShown_ = true;
  bool pressedShown_;
  bool pressedFlag_ = false;
};

}  // namespace glim
