// RunGuard: keeps the window painting while a long run works, and takes no input meanwhile
// but the Escape key, which asks whether to stop the run.
// While it lives, the run's idle step lets the window system's expose events and the pending
// repaints through; keyboard, mouse and other user input from the window system is held and
// handed to the window when the run ends (as a window busy in a handler leaves it queued),
// posted input is dropped, and a request to close the window is remembered and made again
// after the run. A box the run shows and waits on (a message about a picture, the question
// whether to stop) takes input as usual.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QAbstractEventDispatcher;
class QWidget;

namespace glim {

class RunGuard : public QObject {
  Q_OBJECT
 public:
  explicit RunGuard(QWidget* window);
  ~RunGuard() override;

  // Called by the waiting run: waits for events (as the window's own loop does) until one
  // comes or wake() is called, paints what needs painting, and after an Escape asks
  // `askToStop` (a box): true makes stopRequested() true.
  void idle();
  // Safe from any thread: makes a waiting idle() return, so that the run goes on at once.
  void wake();
  std::function<bool()> askToStop;
  bool stopRequested() const { return stopRequested_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> window_;
  QAbstractEventDispatcher* dispatcher_;  // the window's thread's
  bool closeRequested_ = false;
  bool escapePressed_ = false;
  bool asking_ = false;
  bool stopRequested_ = false;
  std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

}  // namespace glim
