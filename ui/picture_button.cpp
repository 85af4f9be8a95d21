#include "picture_button.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionFocusRect>

namespace glim {
namespace {

// The style's focus frame, drawn over the button's pictures.
class FocusFrame : public QWidget {
 public:
  explicit FocusFrame(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
};

// What a screen reader sees of a picture button: a button named by its hint, which it can
// press.
class PictureButtonAccessible : public QAccessibleWidget {
 public:
  explicit PictureButtonAccessible(QWidget* button) : QAccessibleWidget(button, QAccessible::Button) {}
  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
      return widget()->toolTip();
    return QAccessibleWidget::text(kind);
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& action) override {
    if (action == pressAction()) static_cast<PictureButton*>(widget())->press();
  }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object) {
  if (className == QLatin1String("glim::PictureButton") && object->isWidgetType())
    return new PictureButtonAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

PictureButton::PictureButton(const QPixmap& normal, const QPixmap& pressed,
                             bool pressedVisibleAtStart, QWidget* parent)
    : QWidget(parent),
      normal_(new QLabel(this)),
      pressed_(new QLabel(this)),
      focusFrame_(new FocusFrame(this)) {
  const QSize size = normal.deviceIndependentSize().toSize();
  setFixedSize(size);
  for (auto [label, pixmap] : {std::pair{pressed_, &pressed}, std::pair{normal_, &normal}}) {
    label->setPixmap(*pixmap);
    label->setGeometry(0, 0, size.width(), size.height());
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  normal_->raise();
  pressed_->setVisible(pressedVisibleAtStart);
  focusFrame_->setGeometry(0, 0, size.width(), size.height());
  focusFrame_->hide();
  focusFrame_->raise();
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  static const bool accessible = (QAccessible::installFactory(accessibleFor), true);
  static_cast<void>(accessible);
}

void PictureButton::press() {
  QPointer<PictureButton> self(this);
  emit clicked();  // as a click: the action may show a modal box or close the window
  if (self) resetImages();
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
      event->modifiers() == Qt::NoModifier && !event->isAutoRepeat()) {
    press();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PictureButton::focusInEvent(QFocusEvent* event) {
  focusFrame_->show();
  QWidget::focusInEvent(event);
}

void PictureButton::focusOutEvent(QFocusEvent* event) {
  focusFrame_->hide();
  QWidget::focusOutEvent(event);
}

void PictureButton::setHint(const QString& hint) {
  setToolTip(hint);
  normal_->setToolTip(hint);
  pressed_->setToolTip(hint);
}

void PictureButton::showPressed(bool pressed) {
  pressed_->setVisible(pressed);
  normal_->setVisible(!pressed);
}

void PictureButton::resetImages() {
  showPressed(false);
  pressedFlag_ = false;
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
  showPressed(true);
  pressedFlag_ = true;
  if (event->button() == Qt::LeftButton) leftPressed_ = true;
}

void PictureButton::mouseMoveEvent(QMouseEvent* event) {
  if (!pressedFlag_) return;
  const QPoint p = event->position().toPoint();
  const bool inside = p.x() >= 0 && p.x() < width() && p.y() >= 0 && p.y() < height();
  showPressed(inside);
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const bool click = event->button() == Qt::LeftButton && leftPressed_ && rect().contains(p);
  if (event->button() == Qt::LeftButton) leftPressed_ = false;
  if (click) {
    press();
  } else {
    resetImages();
  }
}

}  // namespace glim
