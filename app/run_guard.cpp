#include "run_guard.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QShortcutEvent>
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

RunGuard::RunGuard(QWidget* window)
    : window_(window), dispatcher_(QAbstractEventDispatcher::instance()) {
  QCoreApplication::instance()->installEventFilter(this);
}

RunGuard::~RunGuard() {
  QCoreApplication::instance()->removeEventFilter(this);
  for (auto& [receiver, event] : held_) {
    if (receiver) QCoreApplication::postEvent(receiver.data(), event.release());
  }
  if (closeRequested_ && window_) {
    QMetaObject::invokeMethod(window_.data(), &QWidget::close, Qt::QueuedConnection);
  }
}

void RunGuard::idle() {
  // Timers and socket notifiers wait for the run's end: no handler of the window runs in
  // between. User input comes in to be held (see eventFilter), so that Escape is seen. A
  // reader's request through the accessibility bus comes as a posted event and is answered
  // as soon as it comes.
  QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers |
                                  QEventLoop::X11ExcludeTimers | QEventLoop::WaitForMoreEvents);
  if (escapePressed_ && !asking_ && !stopRequested_) {
    escapePressed_ = false;
    asking_ = true;
    stopRequested_ = askToStop && askToStop();
    asking_ = false;
  }
}

void RunGuard::wake() {
  if (dispatcher_ != nullptr) dispatcher_->wakeUp();
}

bool RunGuard::eventFilter(QObject* watched, QEvent* event) {
  if (isUserInput(event->type())) {
    if (forModalBox(watched)) return false;
    // A key taken as a shortcut would never come as a key: the override is accepted, so that
    // the key comes here (and, held, reaches its shortcut after the run).
    if (event->type() == QEvent::ShortcutOverride) event->accept();
    const bool keyEvent =
        event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    const auto* key = keyEvent ? static_cast<QKeyEvent*>(event) : nullptr;
    // Where no control has the focus, Escape may reach the window's shortcut for it directly.
    const bool escapeShortcut =
        event->type() == QEvent::Shortcut &&
        static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::Key_Escape);
    if (escapeShortcut ||
        (key != nullptr && key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier)) {
      escapePressed_ = true;
    } else if (event->spontaneous() && event->type() != QEvent::ShortcutOverride &&
               event->type() != QEvent::MouseMove &&
               !(event->type() == QEvent::KeyRelease &&
                 static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)) {
      held_.emplace_back(watched, event->clone());  // for the window once the run is over
    }
    return true;
  }
  if (event->type() == QEvent::Close && watched == window_.data()) {
    closeRequested_ = true;
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace glim
