#include "run_guard.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWidget>
#include <QWindow>

namespace glim {
namespace {

bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// Input for the box the run waits on (a message about a picture) goes to the box; Qt's modality
// keeps it from every other window.
bool forModalBox(QObject* watched) {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr) return false;
  if (auto* widget = qobject_cast<QWidget*>(watched)) return widget->window() == modal;
  if (auto* window = qobject_cast<QWindow*>(watched)) return window == modal->windowHandle();
  return false;
}

}  // namespace

RunGuard::RunGuard(QWidget* window) : window_(window) {
  QCoreApplication::instance()->installEventFilter(this);
}

RunGuard::~RunGuard() {
  QCoreApplication::instance()->removeEventFilter(this);
  if (closeRequested_ && window_) {
    QMetaObject::invokeMethod(window_.data(), &QWidget::close, Qt::QueuedConnection);
  }
}

void RunGuard::idle() {
  // Timers and socket notifiers wait for the run's end with the user's input: no handler of
  // the window runs in between.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers |
                                  QEventLoop::X11ExcludeTimers);
}

bool RunGuard::eventFilter(QObject* watched, QEvent* event) {
  if (isUserInput(event->type())) return !forModalBox(watched);
  if (event->type() == QEvent::Close && watched == window_.data()) {
    closeRequested_ = true;
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace glim
