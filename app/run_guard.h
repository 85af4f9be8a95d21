// RunGuard: keeps the window painting while a long run works, and takes no input meanwhile.
// While it lives, the run's idle step lets the window system's expose events and the pending
// repaints through; keyboard, mouse and other user input stays queued until the run ends (as a
// window busy in a handler leaves it queued), posted input is dropped, and a request to close
// the window is remembered and made again after the run. A box the run shows and waits on (a
// message about a picture) takes input as usual.
#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace glim {

class RunGuard : public QObject {
  Q_OBJECT
 public:
  explicit RunGuard(QWidget* window);
  ~RunGuard() override;

  // Called by the waiting run: paints what needs painting.
  void idle();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> window_;
  bool closeRequested_ = false;
};

}  // namespace glim
