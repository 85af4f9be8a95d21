#include "window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace glim {
namespace {

// What a desktop's title bar and borders add to a window before it is shown, when the
// window system cannot tell yet.
constexpr QSize kUsualFrame(8, 32);

}  // namespace

QSize sizeWithin(QSize wanted, QSize available, QSize frame) {
  const QSize room = (available - frame).expandedTo(QSize(1, 1));
  return wanted.boundedTo(room).expandedTo(QSize(1, 1));
}

void openWithinScreen(QWidget& window, QSize wanted) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    window.resize(wanted);
    return;
  }
  const QRect available = screen->availableGeometry();
  const QSize frame = window.isVisible()
                          ? window.frameGeometry().size() - window.geometry().size()
                          : kUsualFrame;
  const QSize size = sizeWithin(wanted, available.size(), frame);
  if (size != wanted) {
    // The layout's own minimum would hold the window larger than the screen.
    window.setMinimumSize(window.minimumSize().boundedTo(size));
  }
  window.resize(size);
  window.move(available.center() - QPoint(size.width() / 2, size.height() / 2));
}

}  // namespace glim
